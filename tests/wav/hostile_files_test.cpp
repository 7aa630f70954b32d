// Files built to break readers: each must give the documented lines or a clear message, never a
// crash, a hang or a descriptor left open, alone and in a comparison.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>

#include "compare/comparison_run.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"
#include "support/trace_silencer.h"
#include "support/unprivileged.h"
#include "wav/choose_file.h"
#include "wav/trace.h"
#include "wav/wav_header.h"
#include "wav/zero_run_scan.h"
#include "wav_writer/wav_writer.h"

namespace vemilo {
namespace {

using namespace testing;
using namespace writer;
using Bytes = std::vector<uint8_t>;

const PcmFormat kCd{1, 2, 44100, 16};

Bytes withFormat(const PcmFormat& format, uint32_t frames = 100) {
    return canonicalWav(format, Bytes(size_t(frames) * std::max<uint16_t>(format.frameBytes(), 1), 0x35));
}

Bytes fmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t blockAlign, uint16_t bits, size_t size = 16) {
    Bytes body = {uint8_t(tag), uint8_t(tag >> 8), uint8_t(channels), uint8_t(channels >> 8)};
    for (int s = 0; s < 32; s += 8) body.push_back(uint8_t(rate >> s));
    for (int s = 0; s < 32; s += 8) body.push_back(uint8_t((rate * blockAlign) >> s));
    body.insert(body.end(), {uint8_t(blockAlign), uint8_t(blockAlign >> 8), uint8_t(bits), uint8_t(bits >> 8)});
    body.resize(size, 0);
    return body;
}

using W = WavProblem;
using V = Verdict;
using R = RunResult;

struct HostileCase {
    const char* name;
    std::function<Bytes()> bytes;
    WavProblem walk;          // what parseWavHeader finds
    Verdict againstItself;    // the file compared with itself
    RunResult againstNormal;  // the file (as file 1) against a normal file of 500 frames
    Verdict againstNormalVerdict;
};

// The same pair the other way round: the file that cannot be read is then file 2.
RunResult swapped(RunResult result) {
    if (result == RunResult::Unreadable1) return RunResult::Unreadable2;
    if (result == RunResult::Unreadable2) return RunResult::Unreadable1;
    return result;
}

// GoogleTest names each case in its output by the file it describes.
void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }

const HostileCase kCases[] = {
    {"chunk size 0x80000000",
     [] {
         return WavBuilder()
             .riffHeader()
             .fmt(kCd)
             .data(Bytes(400, 1))
             .raw({'j', 'u', 'n', 'k', 0, 0, 0, 0x80, 1})
             .bytes();
     },
     W::None, V::Identical, R::Different, V::Different},
    {"chunk size 0xFFFFFFF8",
     [] {
         return WavBuilder()
             .riffHeader()
             .fmt(kCd)
             .raw({'j', 'u', 'n', 'k', 0xF8, 0xFF, 0xFF, 0xFF})
             .data(Bytes(40, 1))
             .bytes();
     },
     W::None, V::Identical, R::Identical, V::Different},
    {"data size 0xFFFFFFFF", [] { return WavBuilder().riffHeader().fmt(kCd).data(Bytes(400, 1), 0xFFFFFFFF).bytes(); },
     W::None, V::Identical, R::Different, V::Different},
    {"blockAlign 0",
     [] { return WavBuilder().riffHeader().chunk("fmt ", fmtBody(1, 2, 44100, 0, 16)).data(Bytes(400, 1)).bytes(); },
     W::NoFormat, V::Trouble, R::Unreadable1, V::Trouble},
    {"channels 0",
     [] {
         return withFormat(PcmFormat{1, 0, 44100, 16, 4});
     },
     W::None, V::Identical, R::ChannelMismatch, V::Trouble},
    {"channels 65535",
     [] {
         return WavBuilder().riffHeader().chunk("fmt ", fmtBody(1, 65535, 44100, 2, 16)).data(Bytes(400, 1)).bytes();
     },
     W::None, V::Identical, R::BlockAlignMismatch, V::Trouble},
    {"sampleRate 0",
     [] {
         return withFormat(PcmFormat{1, 2, 0, 16});
     },
     W::NoFormat, V::Trouble, R::Unreadable1, V::Trouble},
    {"sampleRate 0xFFFFFFFF",
     [] {
         return withFormat(PcmFormat{1, 2, 0xFFFFFFFF, 16});
     },
     W::None, V::Identical, R::RateMismatch, V::Trouble},
    {"bitsPerSample 0",
     [] {
         return withFormat(PcmFormat{1, 2, 44100, 0, 4});
     },
     W::None, V::Identical, R::BitsMismatch, V::Trouble},
    {"bitsPerSample 12",
     [] {
         return withFormat(PcmFormat{1, 2, 44100, 12, 4});
     },
     W::None, V::Identical, R::BitsMismatch, V::Trouble},
    {"bitsPerSample 20",
     [] {
         return withFormat(PcmFormat{1, 2, 44100, 20, 6});
     },
     W::None, V::Identical, R::BlockAlignMismatch, V::Trouble},
    {"bitsPerSample 64",
     [] {
         return withFormat(PcmFormat{1, 2, 44100, 64, 16});
     },
     W::None, V::Identical, R::BlockAlignMismatch, V::Trouble},
    {"blockAlign 65535",
     [] {
         return WavBuilder().riffHeader().chunk("fmt ", fmtBody(1, 2, 44100, 65535, 16)).data(Bytes(70000, 1)).bytes();
     },
     W::None, V::Identical, R::BlockAlignMismatch, V::Trouble},
    {"blockAlign smaller than its samples",
     [] { return WavBuilder().riffHeader().chunk("fmt ", fmtBody(1, 2, 8000, 2, 32)).data(Bytes(400, 1)).bytes(); },
     W::None, V::Identical, R::RateMismatch, V::Trouble},
    {"fmt body of 4 bytes",
     [] {
         return WavBuilder().riffHeader().chunk("fmt ", {1, 0, 2, 0}).data(Bytes(40, 1)).bytes();
     },
     W::NoFormat, V::Trouble, R::Unreadable1, V::Trouble},
    {"fmt body of 0 bytes at the end",
     [] { return WavBuilder().riffHeader().data(Bytes(40, 1)).chunk("fmt ", {}).bytes(); }, W::NoFormat, V::Trouble,
     R::Unreadable1, V::Trouble},
    {"fmt after data", [] { return WavBuilder().riffHeader().data(Bytes(400, 1)).fmt(kCd).bytes(); }, W::None,
     V::Identical, R::Different, V::Different},
    {"two fmt chunks",
     [] {
         return WavBuilder().riffHeader().fmt(PcmFormat{1, 1, 8000, 8}).fmt(kCd).data(Bytes(400, 1)).bytes();
     },
     W::None, V::Identical, R::Different, V::Different},
    {"odd chunk without pad",
     [] {
         return WavBuilder().riffHeader().fmt(kCd).chunk("LIST", {1, 2, 3}, false).data(Bytes(400, 1)).bytes();
     },
     W::None, V::Identical, R::Different, V::Different},
    {"ends inside a chunk ID",
     [] {
         return WavBuilder().riffHeader().fmt(kCd).data(Bytes(400, 1)).raw({'L', 'I'}).bytes();
     },
     W::TruncatedChunk, V::Trouble, R::Unreadable1, V::Trouble},
    {"ends inside a chunk size",
     [] {
         return WavBuilder().riffHeader().fmt(kCd).data(Bytes(400, 1)).raw({'L', 'I', 'S', 'T', 9}).bytes();
     },
     W::None, V::Identical, R::Different, V::Different},
    {"no data chunk", [] { return WavBuilder().riffHeader().fmt(kCd).bytes(); }, W::None, V::Identical, R::Identical,
     V::Different},
    {"13-byte file", [] { return Bytes{'R', 'I', 'F', 'F', 5, 0, 0, 0, 'W', 'A', 'V', 'E', 'f'}; }, W::TruncatedChunk,
     V::Trouble, R::Unreadable1, V::Trouble},
    {"only RIFF",
     [] {
         return Bytes{'R', 'I', 'F', 'F'};
     },
     W::NotWave, V::Trouble, R::Unreadable1, V::Trouble},
    {"RIFF size 0",
     [] {
         Bytes b = WavBuilder().riffHeader().fmt(kCd).data(Bytes(400, 1)).bytes();
         std::fill(b.begin() + 4, b.begin() + 8, 0);
         return b;
     },
     W::None, V::Identical, R::Different, V::Different},
    {"empty file", [] { return Bytes{}; }, W::NotWave, V::Trouble, R::Unreadable1, V::Trouble},
    {"zeros after the header",
     [] {
         Bytes b = WavBuilder().riffHeader().fmt(kCd).data(Bytes(40, 1)).bytes();
         b.resize(b.size() + 200000, 0);
         return b;
     },
     W::None, V::Identical, R::Different, V::Different},
};

class HostileFiles : public ::testing::TestWithParam<HostileCase> {
protected:
    // Loads and scans: six pane lines, or three that say why the file could not be read.
    void choose(FileSlots& slots, int side, const std::string& path) {
        const WavError error = chooseFile(slots[side], side, path, host);
        EXPECT_EQ(host.info[side].size(), error ? 3u : 6u);
        EXPECT_LE(slots[side].leadingSilentFrames, slots[side].frameCount);
        EXPECT_LE(slots[side].trailingSilentFrames, slots[side].frameCount);
    }

    void compareAll(const std::string& path, const HostileCase& c) {
        const std::string normal = dir.file("normal.wav");
        writeCanonicalWav(normal, kCd, noiseFrames(kCd, 500));
        struct Pair {
            std::string first, second;
            RunResult result;
            Verdict verdict;
        };
        const RunResult itself = c.againstItself == Verdict::Trouble ? RunResult::Unreadable1 : RunResult::Identical;
        const Pair pairs[] = {{path, path, itself, c.againstItself},
                              {path, normal, c.againstNormal, c.againstNormalVerdict},
                              {normal, path, swapped(c.againstNormal), c.againstNormalVerdict}};
        for (const auto& [first, second, expectedResult, expectedVerdict] : pairs) {
            for (int options = 0; options < 8; ++options) {
                host.options.values.zeroSkip = options & 1;
                host.options.values.matchPoint = options & 2;
                host.options.values.details = options & 4;
                FileSlots slots;
                choose(slots, 0, first);
                choose(slots, 1, second);
                host.log.clear();
                const RunOutcome outcome = runComparison(slots, host, host.options);
                const RunResult result = outcome.result;
                SCOPED_TRACE(::testing::Message() << (first == path) << (second == path) << " options " << options);
                EXPECT_EQ(runResultName(result), std::string(runResultName(expectedResult)));
                EXPECT_EQ(verdictOf(outcome), expectedVerdict);
                if (result == RunResult::Identical || result == RunResult::Different) {
                    EXPECT_EQ(host.log.back().rfind("[debug] ", 0), 0u);
                    EXPECT_EQ(host.log[host.log.size() - 2].rfind("比較サンプル(", 0), 0u);
                }
            }
        }
    }

    TempDir dir;
    RecordingReporter host;

    TraceSilencer silencer_;
};

TEST_P(HostileFiles, DocumentedLinesOrAMessageAndNothingLeftOpen) {
    const HostileCase& c = GetParam();
    const std::string path = dir.file("hostile.wav");
    writeFile(path, c.bytes());
    const int before = openDescriptorCount();
    const auto start = std::chrono::steady_clock::now();

    WavFormatInfo info;
    EXPECT_EQ(parseWavHeader(path, info).problem, c.walk);
    compareAll(path, c);

    // A watchdog against a walk or scan that loops, not a speed limit: these take milliseconds.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_EQ(openDescriptorCount(), before);
}

INSTANTIATE_TEST_SUITE_P(Inputs, HostileFiles, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name = info.param.name;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
});

TEST(HostilePaths, FoldersFifosAndUnreadableFilesGiveTheOpenError) {
    if (runningAsRoot()) {
        const auto status =
            rerunAsNobody({"--gtest_filter=HostilePaths.FoldersFifosAndUnreadableFilesGiveTheOpenError"});
        if (!status) GTEST_SKIP() << "running as root, and runuser cannot run this test as nobody";
        EXPECT_EQ(*status, 0) << "the run as nobody failed; its output is above";
        return;
    }
    const TraceSink previous = setTraceSink({});
    TempDir dir;
    const std::string fifo = dir.file("pipe.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string locked = dir.file("locked.wav");
    writeCanonicalWav(locked, kCd, noiseFrames(kCd, 10));
    ::chmod(locked.c_str(), 0);

    const int before = openDescriptorCount();
    struct Case {
        std::string path, problem, reason;
    };
    const Case cases[] = {
        {dir.path(), "Is a directory", "フォルダです"},
        {fifo, "not a regular file", "通常のファイルではありません"},
        {locked, "Permission denied", "読み取りの権限がありません"},
        {dir.file("missing.wav"), "No such file or directory", "ファイルが見つかりません"},
    };
    for (const auto& [path, problem, reason] : cases) {
        SCOPED_TRACE(path);
        RecordingReporter host;
        FileSlot slot;
        EXPECT_EQ(chooseFile(slot, 0, path, host).problem, WavProblem::CannotOpen);
        EXPECT_TRUE(host.messages.empty());  // the caller names the file (the window, the CLI)
        EXPECT_EQ(host.info[0], (std::vector<std::string>{"ファイル1", "読めません:", reason}));
        EXPECT_EQ(describeError(slotError(slot)), problem);
        // The run names the file and why it could not be read, in a message and the log alike.
        FileSlots slots{slot, slot};
        EXPECT_EQ(runComparison(slots, host, host.options).result, RunResult::Unreadable1);
        const std::string message = "ファイル1 " + path + " を読めません: " + reason;
        EXPECT_EQ(host.messages.back(), message);
        EXPECT_EQ(host.log.back(), message);
    }
    EXPECT_EQ(openDescriptorCount(), before);
    setTraceSink(previous);
}

}  // namespace
}  // namespace vemilo
