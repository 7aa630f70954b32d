#include "wav/file_slot.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <filesystem>

#include "support/recording_reporter.h"
#include "support/temp_dir.h"
#include "support/trace_silencer.h"
#include "wav/trace.h"
#include "wav_writer/wav_writer.h"

namespace vemilo {
namespace {

using namespace testing;
using namespace writer;

class FileSlotTest : public ::testing::Test {
protected:
    TempDir dir;
    RecordingReporter host;
    FileSlot slot;

    TraceSilencer silencer_;
};

TEST(FormatDuration, Examples) {
    const std::pair<double, const char*> cases[] = {
        {185.25, "0:03:05.250"}, {3725.5, "1:02:05.500"}, {36000.123, "10:00:00.123"}, {2.9999996, "0:00:02.000"},
        {0.0, "0:00:00.000"},    {10.0, "0:00:10.000"},   {360000.0, "100:00:00.000"},
    };
    for (const auto& [seconds, expected] : cases) {
        EXPECT_EQ(formatDuration(seconds), expected) << seconds;
    }
}

TEST_F(FileSlotTest, TenSecondsOfCdAudio) {
    const std::string path = dir.file("a.wav");
    writeCanonicalWav(path, PcmFormat{1, 2, 44100, 16}, std::vector<uint8_t>(1764000, 1));
    EXPECT_EQ(loadFileSlot(slot, 0, path, host), WavError{});
    EXPECT_EQ(slot.frameCount, 441000u);
    EXPECT_EQ(slot.path, path);
    EXPECT_EQ(slot.dataOffset, 44u);
    EXPECT_EQ(host.info[0], (std::vector<std::string>{"ファイル1", "44100Hz 16bit stereo", "再生時間 0:00:10.000",
                                                      "サンプル数       441000"}));
}

TEST_F(FileSlotTest, ChannelWordsDroppedBytesAndSideNames) {
    const std::string mono = dir.file("m.wav");
    const std::string six = dir.file("s.wav");
    writeCanonicalWav(mono, PcmFormat{1, 1, 8000, 8}, std::vector<uint8_t>(8000, 0x80));
    writeCanonicalWav(six, PcmFormat{1, 6, 48000, 24}, std::vector<uint8_t>(18 * 10, 0));
    loadFileSlot(slot, 1, mono, host);
    EXPECT_EQ(host.info[1][0], "ファイル2");
    EXPECT_EQ(host.info[1][1], "8000Hz 8bit mono");
    EXPECT_EQ(host.info[1][2], "再生時間 0:00:01.000");
    loadFileSlot(slot, 1, six, host);
    EXPECT_EQ(host.info[1].size(), 4u);               // the pane was cleared first
    EXPECT_EQ(host.info[1][1], "48000Hz 24bit 6ch");  // more than two channels are counted

    // 176,403 bytes of 4-byte frames: the 3 extra bytes are dropped.
    const std::string odd = dir.file("o.wav");
    writeCanonicalWav(odd, PcmFormat{1, 2, 44100, 16}, std::vector<uint8_t>(176403, 1));
    loadFileSlot(slot, 0, odd, host);
    EXPECT_EQ(slot.frameCount, 44100u);
}

TEST_F(FileSlotTest, PlayingTimeForIntegerAndFloatOnly) {
    struct Case {
        const char* name;
        uint16_t code;
        std::vector<uint8_t> extension;
        bool timed;
    };
    const Case cases[] = {
        {"integer PCM", 1, {}, true},
        {"IEEE float", 3, {}, true},
        {"extensible PCM", 0xFFFE, extensibleExtension(1, 32), true},
        {"extensible float", 0xFFFE, extensibleExtension(3, 32), true},
        {"extensible without its sub-format", 0xFFFE, {}, false},
        {"extensible ADPCM", 0xFFFE, extensibleExtension(2, 32), false},
        {"A-law", 6, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file("f.wav");
        WavBuilder()
            .riffHeader()
            .fmt(PcmFormat{c.code, 2, 44100, 32}, c.extension)
            .data(std::vector<uint8_t>(8 * 22050, 1))
            .write(path);
        loadFileSlot(slot, 0, path, host);
        EXPECT_EQ(slot.frameCount, 22050u);
        EXPECT_EQ(host.info[0][1], "44100Hz 32bit stereo");
        EXPECT_EQ(host.info[0][2], c.timed ? "再生時間 0:00:00.500" : "再生時間 -");
    }
}

TEST_F(FileSlotTest, UnreadableFilesDivideByNothing) {
    const std::string notWav = dir.file("n.wav");
    writeFile(notWav, std::vector<uint8_t>(100, 'x'));
    const std::string zeroRate = dir.file("z.wav");
    writeCanonicalWav(zeroRate, PcmFormat{1, 2, 0, 16}, std::vector<uint8_t>(40, 1));
    const std::pair<std::string, WavProblem> cases[] = {{dir.file("missing.wav"), WavProblem::CannotOpen},
                                                        {notWav, WavProblem::NotWave},
                                                        {zeroRate, WavProblem::NoFormat}};
    for (const auto& [path, problem] : cases) {
        SCOPED_TRACE(path);
        const WavError error = loadFileSlot(slot, 0, path, host);
        EXPECT_EQ(error.problem, problem);
        EXPECT_EQ(slot.path, path);
        // The pane says the file could not be read, and why, not "0Hz 0bit stereo".
        EXPECT_EQ(host.info[0], (std::vector<std::string>{"ファイル1", "読めません:", japaneseReason(error)}));
    }
    EXPECT_EQ(slot.frameCount, 10u);  // the zero-rate file still has frames
    EXPECT_EQ(japaneseReason({WavProblem::CannotOpen, ENOENT, 0}), "ファイルが見つかりません");
    EXPECT_EQ(japaneseReason({WavProblem::NotWave, 0, 0}), "RIFF/WAVEファイルではありません");
    EXPECT_EQ(cannotReadMessage(1, "/a\nb.wav", {WavProblem::CannotOpen, EACCES, 0}),
              "ファイル2 /a\\nb.wav を読めません: 読み取りの権限がありません");
}

TEST_F(FileSlotTest, LongPathsAreKeptWhole) {
    std::string folder = dir.path();
    while (folder.size() < 1100) {
        folder += "/" + std::string(200, 'd');
        std::filesystem::create_directory(folder);
    }
    const std::string path = folder + "/a.wav";
    writeCanonicalWav(path, PcmFormat{}, std::vector<uint8_t>(400, 1));
    EXPECT_EQ(loadFileSlot(slot, 0, path, host), WavError{});
    EXPECT_EQ(slot.path, path);
    EXPECT_EQ(slot.frameCount, 100u);
}

TEST_F(FileSlotTest, ReloadKeepsZeroCountsUntilTheNextScan) {
    const std::string path = dir.file("a.wav");
    writeCanonicalWav(path, PcmFormat{}, std::vector<uint8_t>(400, 1));
    slot.leadingSilentFrames = 7;
    slot.trailingSilentFrames = 8;
    slot.trailerBytes = 9;
    const uint64_t before = slot.loadId;
    loadFileSlot(slot, 0, path, host);
    EXPECT_EQ(slot.leadingSilentFrames, 7u);
    EXPECT_EQ(slot.trailingSilentFrames, 8u);
    EXPECT_EQ(slot.trailerBytes, 9u);
    EXPECT_NE(slot.loadId, before);
}

}  // namespace
}  // namespace vemilo
