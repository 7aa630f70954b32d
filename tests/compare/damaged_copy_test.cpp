// Damaged copies that a verification must never pass: what the log says and what the verdict is.

#include <gtest/gtest.h>
#include <unistd.h>

#include "compare/comparison_run.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"
#include "support/trace_silencer.h"
#include "wav/choose_file.h"
#include "wav_writer/wav_writer.h"

namespace vemilo {
namespace {

using namespace testing;
using namespace writer;
using Lines = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

const PcmFormat kMono{1, 1, 8000, 16};

class DamagedCopyTest : public ::testing::Test {
protected:
    // Writes both files, chooses them and runs; returns the lines from the end line on, without
    // the closing time line.
    Lines compare(const Bytes& file1, const Bytes& file2) {
        writeFile(dir.file("1.wav"), file1);
        writeFile(dir.file("2.wav"), file2);
        return compareFiles(dir.file("1.wav"), dir.file("2.wav"));
    }
    Lines compareFiles(const std::string& path1, const std::string& path2) {
        FileSlots slots;
        chooseFile(slots[0], 0, path1, host);
        chooseFile(slots[1], 1, path2, host);
        host.log.clear();
        host.messages.clear();
        outcome = runComparison(slots, host, host.options);
        if (endedEarly(outcome.result)) return host.messages;
        const auto end = std::find_if(host.log.begin(), host.log.end(), [](const std::string& line) {
            return line.find("終わりました") != std::string::npos || line.rfind("読み取りエラー", 0) == 0;
        });
        return Lines(end, host.log.end() - 1);
    }

    TempDir dir;
    RecordingReporter host;
    RunOutcome outcome;
    TraceSilencer silencer_;
};

TEST_F(DamagedCopyTest, LengthsThatDiffer) {
    const Bytes audio = noiseFrames(kMono, 24000);
    const Bytes shorter(audio.begin(), audio.end() - 8000 * 2);
    // With a chunk after the data, so that reading past the skipped silence finds bytes.
    const Bytes silentThroughout =
        WavBuilder().riffHeader().fmt(kMono).data(silentFrames(kMono, 24000)).chunk("LIST", {1, 2}).bytes();
    struct Case {
        const char* name;
        Bytes file1, file2;
        bool zeroSkip;
        Lines lines;
        Verdict verdict;
    };
    const Case cases[] = {
        {"copy missing its last second",
         canonicalWav(kMono, audio),
         canonicalWav(kMono, shorter),
         false,
         {"file2が終わりました。", "一致しました。", "ファイル1の残り8000サンプルは比較されませんでした。",
          "比較サンプル(16000)"},
         Verdict::Different},
        {"original shorter than the copy",
         canonicalWav(kMono, shorter),
         canonicalWav(kMono, audio),
         false,
         {"file1が終わりました。", "一致しました。", "ファイル2の残り8000サンプルは比較されませんでした。",
          "比較サンプル(16000)"},
         Verdict::Different},
        {"silent throughout against audio, zero skip on",
         silentThroughout,
         canonicalWav(kMono, audio),
         true,
         {"file1が終わりました。", "一致しました。", "比較しなかった先頭のサンプル: ファイル1 24000、ファイル2 0",
          "ファイル2の残り24000サンプルは比較されませんでした。", "比較サンプル(0)"},
         Verdict::Different},
        {"a true copy",
         canonicalWav(kMono, audio),
         canonicalWav(kMono, audio),
         true,
         {"file1,file2が同時に終わりました。", "一致しました。", "比較サンプル(24000)"},
         Verdict::Identical},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.options.values.zeroSkip = c.zeroSkip;
        EXPECT_EQ(compare(c.file1, c.file2), c.lines);
        EXPECT_EQ(verdictOf(outcome), c.verdict);
    }
}

TEST_F(DamagedCopyTest, FilesCutShortOfTheirDeclaredData) {
    const Bytes audio = noiseFrames(kMono, 24000);
    const Bytes whole = canonicalWav(kMono, audio);
    const Bytes half(whole.begin(), whole.begin() + 44 + 24000);  // the header still declares all of it
    const Bytes third(whole.begin(), whole.begin() + 44 + 16000);
    struct Case {
        const char* name;
        Bytes file1, file2;
        Lines lines;
    };
    const std::string cut1 = "ファイル1のデータはヘッダーが示す長さより24000バイト短く、途中で切れています。";
    const std::string cut2 = "ファイル2のデータはヘッダーが示す長さより24000バイト短く、途中で切れています。";
    const std::string cutMore2 = "ファイル2のデータはヘッダーが示す長さより32000バイト短く、途中で切れています。";
    const Case cases[] = {
        {"copy cut in half", whole, half, {"読み取りエラー 1==0", "一致しました。", cut2, "比較サンプル(12000)"}},
        {"original cut in half", half, whole, {"読み取りエラー 0==0", "一致しました。", cut1, "比較サンプル(12000)"}},
        {"both cut, the copy shorter",
         half,
         third,
         {"読み取りエラー 1==0", "一致しました。", cut1, cutMore2, "比較サンプル(8000)"}},
        {"both cut at the same frame",
         half,
         half,
         {"読み取りエラー 0==0", "一致しました。", cut1, cut2, "比較サンプル(12000)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(compare(c.file1, c.file2), c.lines);
        EXPECT_EQ(verdictOf(outcome), Verdict::Trouble);
    }
}

TEST_F(DamagedCopyTest, DataFormatsMustAgree) {
    const PcmFormat integer{1, 2, 8000, 32};
    const PcmFormat ieeeFloat{3, 2, 8000, 32};
    const PcmFormat extensible{0xFFFE, 2, 8000, 32};
    const Bytes audio = noiseFrames(integer, 500);
    const auto file = [&](const PcmFormat& format, int subFormat) {
        return WavBuilder()
            .riffHeader()
            .fmt(format, subFormat ? extensibleExtension(uint16_t(subFormat), 32) : Bytes{})
            .data(audio)
            .bytes();
    };
    struct Case {
        const char* name;
        Bytes file1, file2;
        RunResult result;
    };
    const Case cases[] = {
        {"integer against float", file(integer, 0), file(ieeeFloat, 0), RunResult::DataFormatMismatch},
        {"extensible float against integer", file(extensible, 3), file(integer, 0), RunResult::DataFormatMismatch},
        {"extensible PCM against plain PCM", file(extensible, 1), file(integer, 0), RunResult::Identical},
        {"extensible float against plain float", file(extensible, 3), file(ieeeFloat, 0), RunResult::Identical},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Lines lines = compare(c.file1, c.file2);
        EXPECT_EQ(outcome.result, c.result);
        if (c.result == RunResult::DataFormatMismatch) {
            EXPECT_EQ(lines, Lines{"データ形式が違います。"});
        }
    }
}

TEST_F(DamagedCopyTest, FilesThatAreNoWavFilesAreNamed) {
    const std::string good = dir.file("good.wav");
    writeCanonicalWav(good, kMono, noiseFrames(kMono, 100));
    const std::string text = dir.file("text.wav");
    writeFile(text, Bytes(300, 'x'));
    const std::string noFormat = dir.file("nofmt.wav");
    WavBuilder().riffHeader().data(noiseFrames(kMono, 100)).write(noFormat);
    const std::string missing = dir.file("missing.wav");
    struct Case {
        std::string file1, file2;
        RunResult result;
        std::string message;
    };
    const std::string noWav = "RIFF/WAVEファイルではありません";
    const Case cases[] = {
        {missing, good, RunResult::Unreadable1, "ファイル1 " + missing + " を読めません: ファイルが見つかりません"},
        {good, text, RunResult::Unreadable2, "ファイル2 " + text + " を読めません: " + noWav},
        {noFormat, good, RunResult::Unreadable1,
         "ファイル1 " + noFormat +
             " を読めません: fmtチャンクがないか、サンプリングレートかブロックサイズがありません"},
        {text, missing, RunResult::Unreadable1, "ファイル1 " + text + " を読めません: " + noWav},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file1 + " " + c.file2);
        EXPECT_EQ(compareFiles(c.file1, c.file2), Lines{c.message});
        EXPECT_EQ(host.log.back(), c.message);  // the log says it too
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(outcome.message, c.message);
        EXPECT_EQ(verdictOf(outcome), Verdict::Trouble);
    }
}

}  // namespace
}  // namespace vemilo
