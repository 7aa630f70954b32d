#include "compare/comparison_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "compare/option_text.h"
#include "compare/run_state.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"
#include "support/trace_silencer.h"
#include "wav/choose_file.h"
#include "wav/text_format.h"
#include "wav/trace.h"
#include "wav/zero_run_scan.h"
#include "wav_writer/wav_writer.h"

namespace vemilo {
namespace {

using namespace testing;
using namespace writer;
using Lines = std::vector<std::string>;

const PcmFormat kCd{1, 2, 44100, 16};

class ComparisonRunTest : public ::testing::Test {
protected:
    void choose(int side, const std::string& name, const std::vector<uint8_t>& bytes) {
        writeFile(dir.file(name), bytes);
        chooseExisting(side, name);
    }
    void chooseExisting(int side, const std::string& name) { chooseFile(slots[side], side, dir.file(name), host); }
    void choosePair(const PcmFormat& format1, const std::vector<uint8_t>& audio1, const PcmFormat& format2,
                    const std::vector<uint8_t>& audio2) {
        choose(0, "1.wav", canonicalWav(format1, audio1));
        choose(1, "2.wav", canonicalWav(format2, audio2));
    }

    // Runs and returns the result, checking that nothing stays open; the outcome is kept.
    RunResult run(ComparisonBuffers* buffers = nullptr) {
        host.log.clear();
        host.yields = 0;
        host.progressHistory.clear();
        const int before = openDescriptorCount();
        outcome = runComparison(slots, host, host.options, buffers);
        EXPECT_EQ(openDescriptorCount(), before);
        return outcome.result;
    }

    // The lines from the position lines on, without the closing time line.
    Lines tail(size_t fromLine = 8) const { return Lines(host.log.begin() + fromLine, host.log.end() - 1); }
    // The log's last lines before the end-time line.
    Lines closing(size_t count) const {
        return Lines(host.log.end() - 1 - static_cast<std::ptrdiff_t>(count), host.log.end() - 1);
    }

    TempDir dir;
    RecordingReporter host;
    FileSlots slots;
    RunOutcome outcome;

    TraceSilencer silencer_;
};

TEST_F(ComparisonRunTest, FormatCheckOrderShowsOnlyTheFirstMismatch) {
    struct Case {
        PcmFormat a, b;
        RunResult result;
        const char* message;
    };
    const Case cases[] = {
        {{1, 2, 44100, 16}, {1, 1, 48000, 16}, RunResult::RateMismatch, "サンプリングレートが違います。"},
        {{1, 2, 44100, 16}, {1, 2, 44100, 24}, RunResult::BlockAlignMismatch, "ブロックサイズが違います。"},
        {{1, 2, 44100, 16}, {1, 1, 44100, 32}, RunResult::ChannelMismatch, "チャンネルが違います。"},
        {{1, 2, 44100, 16}, {1, 2, 44100, 12, 4}, RunResult::BitsMismatch, "bit解像度が違います。"},
    };
    for (const Case& c : cases) {
        host.messages.clear();
        choosePair(c.a, noiseFrames(c.a, 100), c.b, noiseFrames(c.b, 100));
        EXPECT_EQ(run(), c.result);
        EXPECT_EQ(host.messages, Lines{c.message});
        ASSERT_EQ(host.log.size(), 4u);
        EXPECT_EQ(host.log[0], "ファイル1:" + dir.file("1.wav"));
        EXPECT_EQ(host.log[1], "サンプル数:100 先頭ゼロ:0 末尾ゼロ:0");
        EXPECT_EQ(host.log[2], "ファイル2:" + dir.file("2.wav"));
    }
}

TEST_F(ComparisonRunTest, IdenticalTenSecondFilesWithoutOptions) {
    const std::vector<uint8_t> audio = noiseFrames(kCd, 441000);
    choosePair(kCd, audio, kCd, audio);
    EXPECT_EQ(run(), RunResult::Identical);
    EXPECT_EQ(host.log[5], "");  // the option line with neither option
    EXPECT_EQ(host.log[6], "[debug]file1 pos 44");
    EXPECT_EQ(host.log[7], "[debug]file2 pos 44");
    EXPECT_EQ(tail(), (Lines{"file1,file2が同時に終わりました。", "一致しました。", "比較サンプル(441000)"}));
    EXPECT_EQ(host.log[4].rfind("[debug] ", 0), 0u);
    EXPECT_EQ(host.log.back().rfind("[debug] ", 0), 0u);
}

TEST_F(ComparisonRunTest, DifferentLengthsAndTheFirstFrame) {
    std::vector<uint8_t> audio = noiseFrames(kCd, 1000);
    std::vector<uint8_t> longer = audio;
    appendBytes(longer, noiseFrames(kCd, 1, 99));
    choosePair(kCd, audio, kCd, longer);
    EXPECT_EQ(run(), RunResult::Identical);
    EXPECT_EQ(tail(), (Lines{"file1が終わりました。", "一致しました。",
                             "ファイル2の残り1サンプルは比較されませんでした。", "比較サンプル(1000)"}));
    EXPECT_EQ(verdictOf(outcome), Verdict::Different);

    choosePair(kCd, longer, kCd, audio);
    EXPECT_EQ(run(), RunResult::Identical);
    EXPECT_EQ(tail(), (Lines{"file2が終わりました。", "一致しました。",
                             "ファイル1の残り1サンプルは比較されませんでした。", "比較サンプル(1000)"}));

    // A difference in the very first frame, with zero skip shifting both starts.
    std::vector<uint8_t> skipped = silentFrames(kCd, 10);
    appendBytes(skipped, audio);
    std::vector<uint8_t> changed = skipped;
    changed[10 * 4] ^= 1;
    choosePair(kCd, skipped, kCd, changed);
    host.options.values.zeroSkip = true;
    host.options.values.details = true;
    EXPECT_EQ(run(), RunResult::Different);
    EXPECT_EQ(host.log[5], "ゼロスキップ ○");
    EXPECT_EQ(host.log[6], "[debug]file1 pos 84");
    EXPECT_EQ(host.log[8].substr(0, std::string("相違点          1(1:54 2:54)\t").size()),
              "相違点          1(1:54 2:54)\t");
}

TEST_F(ComparisonRunTest, DifferenceLimitWithAndWithoutDetails) {
    const PcmFormat mono{1, 1, 8000, 16};
    const std::vector<uint8_t> audio = noiseFrames(mono, 1000);
    std::vector<uint8_t> changed = audio;
    for (int frame = 0; frame < 500; ++frame) changed[frame * 2] ^= 0x10;
    choosePair(mono, audio, mono, changed);
    for (bool details : {true, false}) {
        host.options.values.details = details;
        EXPECT_EQ(run(), RunResult::Different);
        const Lines lines = tail();
        ASSERT_EQ(lines.size(), (details ? 200u : 0u) + 3u);
        EXPECT_EQ(Lines(lines.end() - 3, lines.end()),
                  (Lines{"相違数がオーバーしました", "相違点がありました。(201)", "比較サンプル(200)"}));
    }
}

TEST_F(ComparisonRunTest, DetailDisplayIsReadAtEachDifference) {
    const PcmFormat slow{1, 1, 8000, 8};
    const uint32_t blockFrames = kCompareBlockBytes;  // one byte per frame
    const std::vector<uint8_t> audio = noiseFrames(slow, blockFrames * 2 + blockFrames / 2);
    std::vector<uint8_t> changed = audio;
    changed[5] ^= 1;                     // block 1
    changed[blockFrames + 40] ^= 1;      // block 2
    changed[2 * blockFrames + 20] ^= 1;  // block 3
    choosePair(slow, audio, slow, changed);
    // The first block was read before the match search; the first yield comes before the second.
    host.onYield = [&] { host.options.values.details = host.yields == 1; };
    EXPECT_EQ(run(), RunResult::Different);
    const Lines lines = tail();
    ASSERT_EQ(lines.size(), 4u);
    // Frames of the second block are numbered on from the first block's.
    EXPECT_EQ(lines[0].substr(0, 20), formatText("相違点 %10u", blockFrames + 41));
    EXPECT_EQ(lines[0].substr(20, 19), formatText("(1:%x 2:%x)", 44 + blockFrames + 40, 44 + blockFrames + 40));
    EXPECT_EQ(lines[2], "相違点がありました。(3)");
    // Percent of file 1 read before each later block, set only when it changes, then 100.
    const uint64_t fileSize = 44 + audio.size();
    EXPECT_EQ(host.progressHistory, (std::vector<int>{int((44 + blockFrames) * 100 / fileSize),
                                                      int((44 + 2ull * blockFrames) * 100 / fileSize), 100}));
}

// A data chunk that declares more than the file holds is a copy cut short: trouble, naming the
// file, even when the other file ends first and every frame present agrees.
TEST_F(ComparisonRunTest, DataDeclaredBeyondTheEndIsTrouble) {
    const std::vector<uint8_t> audio = noiseFrames(kCd, 1000);
    choose(0, "1.wav", canonicalWav(kCd, audio));
    choose(1, "2.wav", WavBuilder().riffHeader().fmt(kCd).data(audio, 4000 + 8 * 176400 * 15).bytes());
    EXPECT_EQ(slots[1].missingDataBytes, 8u * 176400 * 15);
    EXPECT_EQ(run(), RunResult::Identical);
    EXPECT_EQ(tail(), (Lines{"file1が終わりました。", "一致しました。",
                             "ファイル2の残り5292000サンプルは比較されませんでした。",
                             "ファイル2のデータはヘッダーが示す長さより21168000バイト短く、途中で切れています。",
                             "比較サンプル(1000)"}));
    EXPECT_EQ(verdictOf(outcome), Verdict::Trouble);

    choose(0, "1.wav", WavBuilder().riffHeader().fmt(kCd).data(audio, 4000 + 8 * 176400 * 15).bytes());
    choose(1, "2.wav", WavBuilder().riffHeader().fmt(kCd).data(audio, 4000 + 8 * 176400 * 15).bytes());
    EXPECT_EQ(run(), RunResult::Identical);
    EXPECT_EQ(tail(), (Lines{"読み取りエラー 0==0", "一致しました。",
                             "ファイル1のデータはヘッダーが示す長さより21168000バイト短く、途中で切れています。",
                             "ファイル2のデータはヘッダーが示す長さより21168000バイト短く、途中で切れています。",
                             "比較サンプル(1000)"}));
    EXPECT_EQ(verdictOf(outcome), Verdict::Trouble);

    // One frame more than the file holds, the other file ending first: still trouble.
    choose(0, "1.wav", canonicalWav(kCd, noiseFrames(kCd, 500)));
    choose(1, "2.wav", WavBuilder().riffHeader().fmt(kCd).data(audio, 4004).bytes());
    EXPECT_EQ(run(), RunResult::Identical);  // the first 500 frames agree
    EXPECT_EQ(tail().back(), "比較サンプル(500)");
    EXPECT_EQ(verdictOf(outcome), Verdict::Trouble);
    EXPECT_EQ(outcome.damage, (Lines{"ファイル2のデータはヘッダーが示す長さより4バイト短く、途中で切れています。"}));
}

TEST_F(ComparisonRunTest, EarlyExitsReleaseWhatTheyHold) {
    const std::vector<uint8_t> audio = noiseFrames(kCd, 100);
    choosePair(kCd, audio, kCd, audio);
    ::unlink(dir.file("2.wav").c_str());
    // Gone since chosen: named, with the reason, in the log and in a message.
    EXPECT_EQ(run(), RunResult::Open2Failed);
    EXPECT_EQ(host.log.back(), "ファイル2 " + dir.file("2.wav") + " を読めません: ファイルが見つかりません");
    EXPECT_EQ(host.messages.back(), host.log.back());
    ::unlink(dir.file("1.wav").c_str());
    EXPECT_EQ(run(), RunResult::Open1Failed);
    EXPECT_EQ(host.log.back(), "ファイル1 " + dir.file("1.wav") + " を読めません: ファイルが見つかりません");

    // An empty data chunk at the end of the file: the first read gives nothing.
    choosePair(kCd, {}, kCd, audio);
    EXPECT_EQ(run(), RunResult::FirstRead1Empty);
    EXPECT_EQ(host.log.back(), "0==0");
    choosePair(kCd, audio, kCd, {});
    EXPECT_EQ(run(), RunResult::FirstRead2Empty);
    EXPECT_EQ(host.log.back(), "1==0");
    EXPECT_EQ(host.log.size(), 5u);

    // Block buffers that cannot be had end the run with the side's line.
    choosePair(kCd, audio, kCd, audio);
    ComparisonBuffers none(0);
    EXPECT_EQ(run(&none), RunResult::Buffer1Failed);
    EXPECT_EQ(host.log.back(), "buf0 error");
    ComparisonBuffers oneOnly(kCompareBlockBytes);
    ASSERT_NE(oneOnly.reserve(0, kCompareBlockBytes), nullptr);
    EXPECT_EQ(run(&oneOnly), RunResult::Identical);  // a block never needs more than it holds

    // Files with no usable format at all compare nothing and divide by nothing.
    choose(0, "1.wav", std::vector<uint8_t>(100, 'x'));
    choose(1, "2.wav", std::vector<uint8_t>(100, 'y'));
    EXPECT_EQ(run(), RunResult::Unreadable1);
}

TEST_F(ComparisonRunTest, OptionTextsThatAreNotNumbers) {
    const std::vector<uint8_t> audio = noiseFrames(kCd, 100);
    choosePair(kCd, audio, kCd, audio);
    host.options.values.matchPoint = true;
    host.options.values.matchLength = "abc";
    const int before = openDescriptorCount();
    RunOutcome outcome = runComparison(slots, host, host.options);
    EXPECT_EQ(outcome.result, RunResult::OptionNotNumber);
    EXPECT_EQ(outcome.message, "'abc' は整数ではありません");
    EXPECT_EQ(verdictOf(outcome), Verdict::Trouble);
    EXPECT_EQ(openDescriptorCount(), before);

    host.options.values.differenceLimit = "";
    outcome = runComparison(slots, host, host.options);
    EXPECT_EQ(outcome.result, RunResult::OptionNotNumber);
    EXPECT_EQ(outcome.message, "'' は整数ではありません");

    // Out of range: clamped.
    host.options.values.differenceLimit = "0";
    host.options.values.matchLength = "99999";
    EXPECT_EQ(run(), RunResult::Identical);
    EXPECT_EQ(host.log[5], ",一致点検索サンプル数 32767");
    EXPECT_EQ(host.log[6], "ファイル1:比較サンプル数が足りません。(1)");
}

TEST_F(ComparisonRunTest, MatchPointAlignsALeadIn) {
    const std::vector<uint8_t> common = noiseFrames(kCd, 44100, 5);
    std::vector<uint8_t> leadIn = noiseFrames(kCd, 100, 77);
    appendBytes(leadIn, common);
    host.options.values.zeroSkip = true;
    host.options.values.matchPoint = true;

    choosePair(kCd, common, kCd, leadIn);
    EXPECT_EQ(run(), RunResult::Identical);
    EXPECT_EQ(host.log[5], "ゼロスキップ ○,一致点検索サンプル数 200");
    EXPECT_EQ(host.log[6], "[debug] 一致点pos 0:0 1:100 (side)1");
    EXPECT_EQ(host.log[7], "ファイル2: 一致点がありました(0→100)");
    EXPECT_EQ(host.log[9], "[debug]file2 pos 444");
    EXPECT_EQ(tail(10), (Lines{"file1,file2が同時に終わりました。", "一致しました。",
                               "比較しなかった先頭のサンプル: ファイル1 0、ファイル2 100", "比較サンプル(44100)"}));

    choosePair(kCd, leadIn, kCd, common);
    EXPECT_EQ(run(), RunResult::Identical);
    EXPECT_EQ(host.log[7], "ファイル1: 一致点がありました(0→100)");
    EXPECT_EQ(host.log[8], "[debug]file1 pos 444");

    // With match point alone, the option line starts with its comma.
    host.options.values.zeroSkip = false;
    choosePair(kCd, common, kCd, common);
    EXPECT_EQ(run(), RunResult::Identical);
    EXPECT_EQ(host.log[5], ",一致点検索サンプル数 200");
    EXPECT_EQ(host.log[6], "[debug] 一致点pos 0:0 1:0 (side)0");
}

TEST_F(ComparisonRunTest, NoMatchPointStartsBothFilesUnshiftedEvenWithoutZeroSkip) {
    const PcmFormat slow{1, 1, 1000, 16};
    const std::vector<uint8_t> a = noiseFrames(slow, 3000, 1);
    std::vector<uint8_t> b = noiseFrames(slow, 3000, 2);
    choosePair(slow, a, slow, b);
    host.options.values.matchPoint = true;
    host.options.values.zeroSkip = false;
    EXPECT_EQ(run(), RunResult::Different);
    EXPECT_EQ(host.log[6], "[debug] 一致点pos 0:801 1:801 (side)2");
    EXPECT_EQ(host.log[7], "一致点が見つかりませんでした");
    EXPECT_EQ(host.log[8], "[debug]file1 pos 44");
    EXPECT_EQ(host.log[9], "[debug]file2 pos 44");
}

TEST_F(ComparisonRunTest, SilentTracksCompareLikeAnyOtherPair) {
    // Two files silent throughout: with zero skip there is no leading silence to skip, so they
    // compare whole, and only their lengths can tell them apart.
    const std::vector<uint8_t> silent = silentFrames(kCd, 500);
    for (const bool trailer : {false, true}) {
        SCOPED_TRACE(trailer ? "with a chunk after the data" : "data last");
        const auto withTrailer = [&](const std::vector<uint8_t>& frames) {
            WavBuilder builder;
            builder.riffHeader().fmt(kCd).data(frames);
            if (trailer) builder.chunk("LIST", {1, 2, 3, 4});
            return builder.bytes();
        };
        for (const bool zeroSkip : {false, true}) {
            host.options.values.zeroSkip = zeroSkip;
            host.options.values.matchPoint = zeroSkip;
            choose(0, "1.wav", withTrailer(silent));
            choose(1, "2.wav", withTrailer(silent));
            EXPECT_EQ(run(), RunResult::Identical);
            EXPECT_EQ(closing(3), (Lines{"file1,file2が同時に終わりました。", "一致しました。", "比較サンプル(500)"}));
            EXPECT_EQ(verdictOf(outcome), Verdict::Identical);
            choose(1, "2.wav", withTrailer(silentFrames(kCd, 800)));
            EXPECT_EQ(run(), RunResult::Identical);
            EXPECT_EQ(closing(4), (Lines{"file1が終わりました。", "一致しました。",
                                         "ファイル2の残り300サンプルは比較されませんでした。", "比較サンプル(500)"}));
            EXPECT_EQ(verdictOf(outcome), Verdict::Different);
        }
    }

    // Silent throughout, with a trailer so that the first read is not empty.
    choose(0, "1.wav", WavBuilder().riffHeader().fmt(kCd).data(silent).chunk("LIST", {1, 2, 3, 4}).bytes());
    host.options.values.zeroSkip = true;
    host.options.values.matchPoint = false;

    // Silent throughout against audio: nothing was compared, and the log says so.
    choose(1, "3.wav", canonicalWav(kCd, noiseFrames(kCd, 50)));
    EXPECT_EQ(run(), RunResult::Identical);
    EXPECT_EQ(tail(), (Lines{"file1が終わりました。", "一致しました。",
                             "比較しなかった先頭のサンプル: ファイル1 500、ファイル2 0",
                             "ファイル2の残り50サンプルは比較されませんでした。", "比較サンプル(0)"}));
    EXPECT_EQ(verdictOf(outcome), Verdict::Different);
}

TEST_F(ComparisonRunTest, TheRunKeepsTheSlotsItStartedWith) {
    const PcmFormat slow{1, 1, 8000, 8};
    const uint32_t frames = kCompareBlockBytes + 5000;  // two blocks, one yield between them
    const std::vector<uint8_t> audio = noiseFrames(slow, frames);
    choosePair(slow, audio, slow, audio);
    writeFile(dir.file("other.wav"), canonicalWav(PcmFormat{1, 1, 8000, 8}, noiseFrames(PcmFormat{1, 1, 8000, 8}, 9)));
    bool reloaded = false;
    host.onYield = [&] {
        if (reloaded) return;
        reloaded = true;
        chooseExisting(0, "other.wav");
    };
    EXPECT_EQ(run(), RunResult::Identical);
    // The scan of the file loaded meanwhile logs its own line; the run's closing lines are unchanged.
    EXPECT_EQ(Lines(host.log.end() - 4, host.log.end() - 1),
              (Lines{"file1,file2が同時に終わりました。", "一致しました。", formatText("比較サンプル(%u)", frames)}));
    EXPECT_EQ(slots[0].frameCount, 9u);  // the window's slot did change
}

// The frames compared must be those of the file whose header was read.
TEST_F(ComparisonRunTest, AFileReplacedAfterItWasChosenIsTrouble) {
    const std::vector<uint8_t> audio = noiseFrames(kCd, 1000);
    choosePair(kCd, audio, kCd, audio);
    writeFile(dir.file("other.wav"), canonicalWav(kCd, audio));
    ASSERT_EQ(::rename(dir.file("other.wav").c_str(), dir.file("1.wav").c_str()), 0);
    EXPECT_EQ(run(), RunResult::Changed1);
    EXPECT_EQ(host.log.back(), "ファイル1は読み込んだ後に変更されました。");
    EXPECT_EQ(verdictOf(outcome), Verdict::Trouble);
    chooseExisting(0, "1.wav");  // chosen again: the same frames compare as they should
    EXPECT_EQ(run(), RunResult::Identical);
    EXPECT_EQ(verdictOf(outcome), Verdict::Identical);
}

TEST_F(ComparisonRunTest, FileTruncatedBetweenBlocks) {
    const PcmFormat slow{1, 1, 8000, 8};
    const uint32_t blockFrames = kCompareBlockBytes;
    const std::vector<uint8_t> audio = noiseFrames(slow, blockFrames * 2 + 1000);
    choosePair(slow, audio, slow, audio);
    // Cut while the window had its turn after the second blocks were read: the third is missing.
    host.onYield = [&] {
        if (host.yields == 1) {
            ASSERT_EQ(::truncate(dir.file("2.wav").c_str(), 44 + blockFrames), 0);
        }
    };
    EXPECT_EQ(run(), RunResult::Identical);
    EXPECT_EQ(tail(), (Lines{"読み取りエラー 1==0", "一致しました。", "ファイル2は比較中に変更されました。",
                             formatText("比較サンプル(%u)", 2 * blockFrames)}));
    EXPECT_EQ(verdictOf(outcome), Verdict::Trouble);
}

// Written in place with its modification time put back: only the status change time tells.
TEST_F(ComparisonRunTest, AFileRewrittenInPlaceUnderAnOldModificationTimeIsTrouble) {
    const PcmFormat slow{1, 1, 8000, 8};
    const std::vector<uint8_t> audio = noiseFrames(slow, kCompareBlockBytes * 2 + 1000);
    choosePair(slow, audio, slow, audio);
    host.onYield = [&] {
        if (host.yields != 1) return;
        struct stat before {};
        ASSERT_EQ(::stat(dir.file("2.wav").c_str(), &before), 0);
        const int fd = ::open(dir.file("2.wav").c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, audio.data() + 100, 1, 44 + 100), 1);  // the same byte again
        ::close(fd);
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, dir.file("2.wav").c_str(), times, 0), 0);
    };
    EXPECT_EQ(run(), RunResult::Identical);
    EXPECT_EQ(closing(3)[1], "ファイル2は比較中に変更されました。");
    EXPECT_EQ(verdictOf(outcome), Verdict::Trouble);
}

// The gap search opens both files again: one renamed over meanwhile is not the file compared.
TEST_F(ComparisonRunTest, AFileReplacedBeforeTheGapSearchOpensItIsTrouble) {
    const PcmFormat slow{1, 1, 8000, 8};
    const uint64_t blockFrames = kCompareBlockBytes;
    std::vector<uint8_t> audio = noiseFrames(slow, blockFrames * 2 + 20000);
    std::vector<uint8_t> dropped = audio;
    dropped.erase(dropped.begin() + static_cast<std::ptrdiff_t>(blockFrames + 500),
                  dropped.begin() + static_cast<std::ptrdiff_t>(blockFrames + 600));
    choosePair(slow, audio, slow, dropped);
    host.options.values.resyncSeconds = 1;
    host.onYield = [&] {
        if (host.yields != 1) return;
        writeFile(dir.file("other.wav"), canonicalWav(slow, dropped));
        ASSERT_EQ(::rename(dir.file("other.wav").c_str(), dir.file("2.wav").c_str()), 0);
    };
    EXPECT_EQ(run(), RunResult::Different);
    EXPECT_NE(std::find(host.log.begin(), host.log.end(), "ファイル2は比較中に変更されました。"), host.log.end());
    EXPECT_EQ(verdictOf(outcome), Verdict::Trouble);
    // Left alone, the same pair resynchronises past its gap.
    host.onYield = nullptr;
    chooseExisting(1, "2.wav");
    EXPECT_EQ(run(), RunResult::Identical);  // every frame compared agreed, past the gap
    ASSERT_EQ(outcome.gaps.size(), 1u);
    EXPECT_EQ(verdictOf(outcome), Verdict::Different);
}

// Long files are read ahead on threads of their own: every frame still compared once, in order,
// each difference at its frame and byte offset, a gap passed over, a file cut mid-run trouble.
TEST_F(ComparisonRunTest, FilesReadAheadCompareAsFilesReadInTurn) {
    const PcmFormat slow{1, 1, 8000, 8};
    const uint32_t frames = 12 * kCompareBlockBytes + 777;  // well past what is worth reading ahead
    const std::vector<uint8_t> audio = noiseFrames(slow, frames, 4);
    std::vector<uint8_t> changed = audio;
    changed[5 * kCompareBlockBytes + 12345] ^= 0x21;
    changed[frames - 3] ^= 0x01;
    choosePair(slow, audio, slow, changed);
    host.options.values.details = true;
    EXPECT_EQ(run(), RunResult::Different);
    EXPECT_EQ(outcome.comparedFrames, frames);
    ASSERT_TRUE(outcome.firstDifference);
    EXPECT_EQ((*outcome.firstDifference)[0], 5 * kCompareBlockBytes + 12345);
    EXPECT_EQ((*outcome.lastDifference)[1], frames - 3u);
    const auto at = static_cast<unsigned long long>(5 * kCompareBlockBytes + 12345);
    const std::string first = formatText("相違点 %10llu(1:%llx 2:%llx)", at + 1, 44 + at, 44 + at);
    EXPECT_NE(std::find_if(host.log.begin(), host.log.end(),
                           [&](const std::string& line) { return line.rfind(first, 0) == 0; }),
              host.log.end())
        << first;

    // 300 frames dropped in the middle: found, passed over, the rest agrees.
    std::vector<uint8_t> dropped = audio;
    dropped.erase(dropped.begin() + 7 * kCompareBlockBytes, dropped.begin() + 7 * kCompareBlockBytes + 300);
    choose(1, "2.wav", canonicalWav(slow, dropped));
    host.options.values.details = false;
    host.options.values.resyncSeconds = 1;
    EXPECT_EQ(run(), RunResult::Identical);
    ASSERT_EQ(outcome.gaps.size(), 1u);
    EXPECT_EQ(outcome.gaps[0].file1Frame, 7 * kCompareBlockBytes);
    EXPECT_EQ(outcome.comparedFrames, frames - 300u);

    // Cut while the readers run ahead: trouble, and the run ends.
    host.options.values.resyncSeconds = 0;
    choose(1, "2.wav", canonicalWav(slow, audio));
    host.onYield = [&] {
        if (host.yields == 3) {
            ASSERT_EQ(::truncate(dir.file("2.wav").c_str(), 44 + 4 * kCompareBlockBytes), 0);
        }
    };
    (void)run();
    EXPECT_EQ(verdictOf(outcome), Verdict::Trouble);
    EXPECT_LE(outcome.comparedFrames, 6 * kCompareBlockBytes);
}

TEST_F(ComparisonRunTest, BuffersStayWithinTheirBudgetWhateverTheHeaderSays) {
    // A second of this format would be 68 GB; the run reads it a few MiB at a time.
    const PcmFormat absurd{1, 8, 0x7FFFFFFF, 32};
    const std::vector<uint8_t> audio = noiseFrames(absurd, 300);
    choosePair(absurd, audio, absurd, audio);
    ComparisonBuffers budget(kSearchWindowBudget);
    EXPECT_EQ(run(&budget), RunResult::Identical);
    EXPECT_EQ(tail(), (Lines{"file1,file2が同時に終わりました。", "一致しました。", "比較サンプル(300)"}));
}

TEST_F(ComparisonRunTest, AbsurdlyLowRatesReadLargeBlocks) {
    // One frame per second: 15-byte blocks would mean a read and a yield per 15 frames.
    const PcmFormat crawl{1, 1, 1, 8};
    const std::vector<uint8_t> audio = noiseFrames(crawl, 200000);
    choosePair(crawl, audio, crawl, audio);
    EXPECT_EQ(run(), RunResult::Identical);
    EXPECT_LE(host.yields, 4);
    EXPECT_EQ(tail(), (Lines{"file1,file2が同時に終わりました。", "一致しました。", "比較サンプル(200000)"}));
}

}  // namespace
}  // namespace vemilo
