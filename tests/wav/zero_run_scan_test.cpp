#include "wav/zero_run_scan.h"
#include "wav/choose_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <unistd.h>
#include <cerrno>

#include <random>

#include "support/recording_reporter.h"
#include "support/temp_dir.h"
#include "support/trace_silencer.h"
#include "wav/trace.h"
#include "wav_writer/wav_writer.h"

namespace vemilo {
namespace {

using namespace testing;
using namespace writer;

class ZeroRunScanTest : public ::testing::Test {
protected:
    // Loads and scans a file; returns the slot.
    FileSlot scanFile(const std::string& path, int side = 0) {
        FileSlot slot;
        chooseFile(slot, side, path, host);
        return slot;
    }

    FileSlot scanBytes(const std::vector<uint8_t>& bytes) {
        const std::string path = dir.file("f.wav");
        writeFile(path, bytes);
        return scanFile(path);
    }

    FileSlot scanAudio(const PcmFormat& format, uint32_t leading, uint32_t audio, uint32_t trailing) {
        std::vector<uint8_t> frames = silentFrames(format, leading);
        appendBytes(frames, noiseFrames(format, audio));
        appendBytes(frames, silentFrames(format, trailing));
        return scanBytes(canonicalWav(format, frames));
    }

    TempDir dir;
    RecordingReporter host;

    TraceSilencer silencer_;
};

TEST_F(ZeroRunScanTest, CountsSilenceAtBothEndsAndAppendsTwoLines) {
    const FileSlot slot = scanAudio(PcmFormat{1, 2, 44100, 16}, 1000, 3 * 44100, 250);
    EXPECT_EQ(slot.leadingSilentFrames, 1000u);
    EXPECT_EQ(slot.trailingSilentFrames, 250u);
    EXPECT_EQ(slot.trailerBytes, 0u);
    ASSERT_EQ(host.info[0].size(), 6u);
    EXPECT_EQ(host.info[0][4], "先頭ｾﾞﾛｻﾝﾌﾟﾙ 1000");
    EXPECT_EQ(host.info[0][5], "末尾ｾﾞﾛｻﾝﾌﾟﾙ 250");
    EXPECT_TRUE(host.log.empty());
    // One yield per block read: the leading pass reads one block, the trailing pass one.
    EXPECT_EQ(host.yields, 2);
}

TEST_F(ZeroRunScanTest, EightBitSilenceIsTheMidValue) {
    const PcmFormat mono8{1, 1, 8000, 8};
    const FileSlot silent = scanBytes(canonicalWav(mono8, std::vector<uint8_t>(4000, 0x80)));
    EXPECT_EQ(silent.leadingSilentFrames, 4000u);
    const FileSlot zeros = scanBytes(canonicalWav(mono8, std::vector<uint8_t>(4000, 0x00)));
    EXPECT_EQ(zeros.leadingSilentFrames, 0u);
    EXPECT_EQ(zeros.trailingSilentFrames, 0u);
}

TEST_F(ZeroRunScanTest, HalfSecondFiles) {
    const PcmFormat cd{1, 2, 44100, 16};
    EXPECT_EQ(scanAudio(cd, 0, 22050, 0).trailingSilentFrames, 0u);
    EXPECT_EQ(scanAudio(cd, 0, 22040, 10).trailingSilentFrames, 10u);
}

TEST_F(ZeroRunScanTest, LastSoundAtTheEndOfTheSecondBlockFromTheEnd) {
    const PcmFormat format{1, 2, 1000, 16};
    const FileSlot slot = scanAudio(format, 0, 2500, 1000);  // 3.5 seconds
    EXPECT_EQ(slot.trailingSilentFrames, 1000u);
}

TEST_F(ZeroRunScanTest, SilentThroughoutAndEmpty) {
    const PcmFormat cd{1, 2, 44100, 16};
    const FileSlot silent = scanAudio(cd, 50000, 0, 0);
    EXPECT_EQ(silent.leadingSilentFrames, 50000u);
    EXPECT_EQ(silent.trailingSilentFrames, 50000u);  // every frame is also a trailing silent frame
    EXPECT_EQ(host.info[0].size(), 6u);
    EXPECT_EQ(host.yields, 1);  // one piece of the leading pass, no trailing pass

    const FileSlot empty = scanAudio(cd, 0, 0, 0);
    EXPECT_EQ(empty.leadingSilentFrames, 0u);
    EXPECT_EQ(empty.trailingSilentFrames, 0u);
    EXPECT_EQ(host.info[0][4], "先頭ｾﾞﾛｻﾝﾌﾟﾙ 0");
    EXPECT_EQ(host.info[0][5], "末尾ｾﾞﾛｻﾝﾌﾟﾙ 0");
}

TEST_F(ZeroRunScanTest, TrailerAfterTheDataIsNeverExamined) {
    const PcmFormat cd{1, 2, 44100, 16};
    std::vector<uint8_t> frames = noiseFrames(cd, 1000);
    appendBytes(frames, silentFrames(cd, 20));
    // The LIST chunk's bytes are not silent; they must not hide the 20 silent frames.
    const FileSlot slot = scanBytes(WavBuilder().riffHeader().fmt(cd).data(frames).chunk("LIST", {1, 2, 3, 4}).bytes());
    EXPECT_EQ(slot.trailingSilentFrames, 20u);
    EXPECT_EQ(slot.trailerBytes, 12u);
    EXPECT_EQ(host.log, std::vector<std::string>{"readsize 12 修正"});
}

TEST_F(ZeroRunScanTest, OverDeclaredDataEndsTheTrailingPass) {
    const PcmFormat cd{1, 2, 44100, 16};
    std::vector<uint8_t> frames = silentFrames(cd, 10);
    appendBytes(frames, noiseFrames(cd, 100));
    const FileSlot slot = scanBytes(WavBuilder().riffHeader().fmt(cd).data(frames, 440 + 2 * 176400).bytes());
    EXPECT_EQ(slot.leadingSilentFrames, 10u);
    EXPECT_EQ(slot.trailingSilentFrames, 0u);
    EXPECT_EQ(host.log, std::vector<std::string>{"m==0"});
}

// The trailing count of every layout and length against a direct count.
TEST_F(ZeroRunScanTest, AgreesWithADirectCountForAnyLayout) {
    std::mt19937 random(42);
    const PcmFormat formats[] = {{1, 1, 100, 8}, {1, 2, 100, 16}, {1, 1, 70, 24}, {1, 2, 50, 32},
                                 {1, 6, 40, 24}, {1, 4, 30, 32},  {1, 3, 25, 8},  {1, 2, 60, 12, 4}};
    for (const PcmFormat& format : formats) {
        for (int round = 0; round < 25; ++round) {
            const uint32_t frameCount = random() % 400;
            const uint16_t frameBytes = format.frameBytes();
            std::vector<uint8_t> frames = silentFrames(format, frameCount);
            // A few non-silent bytes anywhere in a frame, in any channel.
            const int marks = frameCount == 0 ? 0 : static_cast<int>(random() % 3);
            std::vector<uint32_t> marked;
            for (int m = 0; m < marks; ++m) {
                const uint32_t frame = random() % frameCount;
                frames[frame * frameBytes + random() % frameBytes] ^= 0x01;
                marked.push_back(frame);
            }
            uint32_t expectedLeading = frameCount;
            uint32_t expectedTrailing = frameCount;
            if (!marked.empty()) {
                expectedLeading = *std::min_element(marked.begin(), marked.end());
                expectedTrailing = frameCount - 1 - *std::max_element(marked.begin(), marked.end());
            }
            // Pieces as small as one frame, so that a run of silence crosses many of them.
            ScanBuffer pieces(frameBytes * (1 + random() % 9));
            std::vector<uint8_t> bytes = WavBuilder().riffHeader().fmt(format).data(frames).bytes();
            if (random() % 3 == 0) appendBytes(bytes, WavBuilder().chunk("LIST", {1, 2, 3, 4, 5}).bytes());
            SCOPED_TRACE(::testing::Message() << format.channels << "ch " << format.bitsPerSample
                                              << "bit frames=" << frameCount << " piece=" << pieces.largestPiece());
            writeFile(dir.file("f.wav"), bytes);
            FileSlot slot;
            chooseFile(slot, 0, dir.file("f.wav"), host, &pieces);
            EXPECT_EQ(slot.leadingSilentFrames, expectedLeading);
            EXPECT_EQ(slot.trailingSilentFrames, expectedTrailing);
        }
    }
}

TEST_F(ZeroRunScanTest, PartialLastFrameDoesNotShiftTheTrailingBlocks) {
    const PcmFormat cd{1, 2, 100, 16};
    std::vector<uint8_t> frames = noiseFrames(cd, 250);
    appendBytes(frames, silentFrames(cd, 30));
    frames.insert(frames.end(), {7, 7, 7});  // three stray bytes, not a whole frame
    const FileSlot slot = scanBytes(canonicalWav(cd, frames));
    EXPECT_EQ(slot.frameCount, 280u);
    EXPECT_EQ(slot.trailingSilentFrames, 30u);
}

TEST_F(ZeroRunScanTest, FailuresShowTheirMessageAndNeverOldCounts) {
    const std::string path = dir.file("a.wav");
    writeCanonicalWav(path, PcmFormat{}, noiseFrames(PcmFormat{}, 100));
    FileSlot slot;
    loadFileSlot(slot, 0, path, host);
    slot.leadingSilentFrames = 5;
    slot.trailingSilentFrames = 6;
    ::unlink(path.c_str());
    const int before = openDescriptorCount();
    EXPECT_EQ(scanZeroRuns(slot, 0, host), (WavError{WavProblem::CannotOpen, ENOENT, 0}));
    EXPECT_TRUE(host.messages.empty());  // the caller names the file
    EXPECT_EQ(slot.leadingSilentFrames, 0u);
    EXPECT_EQ(slot.trailingSilentFrames, 0u);
    EXPECT_EQ(host.info[0].size(), 4u);
    EXPECT_EQ(openDescriptorCount(), before);

    // A second far beyond any sane size is still scanned a piece at a time.
    const PcmFormat absurd{1, 2, 0xFFFFFFFF, 16};
    std::vector<uint8_t> audio(40, 1);
    appendBytes(audio, silentFrames(absurd, 5));
    writeCanonicalWav(path, absurd, audio);
    const size_t messages = host.messages.size();
    const FileSlot scanned = scanFile(path);
    EXPECT_EQ(host.messages.size(), messages);
    EXPECT_EQ(scanned.leadingSilentFrames, 0u);
    EXPECT_EQ(scanned.trailingSilentFrames, 5u);
}

TEST_F(ZeroRunScanTest, NoRateOrFrameSizeGivesZeroCounts) {
    // Files that could not be read are not scanned: their panes say why instead.
    const FileSlot notWav = scanBytes(std::vector<uint8_t>(1000, 'x'));
    EXPECT_EQ(notWav.leadingSilentFrames, 0u);
    EXPECT_EQ(host.info[0].size(), 3u);
    const FileSlot zeroRate = scanBytes(canonicalWav(PcmFormat{1, 2, 0, 16}, noiseFrames(PcmFormat{}, 10)));
    EXPECT_EQ(zeroRate.frameCount, 10u);
    EXPECT_EQ(zeroRate.leadingSilentFrames, 0u);
    EXPECT_EQ(host.info[0].back(), japaneseReason({WavProblem::NoFormat, 0, 0}));
}

TEST_F(ZeroRunScanTest, ALoadDuringTheScanWins) {
    const PcmFormat format{1, 2, 1000, 16};
    const std::string first = dir.file("first.wav");
    const std::string second = dir.file("second.wav");
    std::vector<uint8_t> long1 = silentFrames(format, 5000);
    appendBytes(long1, noiseFrames(format, 10));
    writeCanonicalWav(first, format, long1);
    std::vector<uint8_t> short2 = silentFrames(format, 3);
    appendBytes(short2, noiseFrames(format, 10));
    writeCanonicalWav(second, format, short2);

    FileSlot slot;
    loadFileSlot(slot, 0, first, host);
    bool reloaded = false;
    host.onYield = [&] {
        if (reloaded) return;
        reloaded = true;
        chooseFile(slot, 0, second, host);
    };
    scanZeroRuns(slot, 0, host);
    EXPECT_EQ(slot.path, second);
    EXPECT_EQ(slot.leadingSilentFrames, 3u);
    EXPECT_EQ(host.info[0].size(), 6u);
    EXPECT_EQ(host.info[0][4], "先頭ｾﾞﾛｻﾝﾌﾟﾙ 3");
}

TEST_F(ZeroRunScanTest, FilesBeyondTwoGigabytes) {
    // A sparse 2.5 GiB file: 1000 silent frames, a little audio, silence, audio, 250 silent frames.
    const PcmFormat cd{1, 2, 44100, 16};
    const uint64_t dataBytes = 2684354560ull;  // 2.5 GiB, whole frames
    const std::string path = dir.file("big.wav");
    {
        std::vector<uint8_t> header = WavBuilder().riffHeader(static_cast<uint32_t>(dataBytes + 36)).fmt(cd).bytes();
        const std::vector<uint8_t> dataHeader = {'d', 'a', 't', 'a', 0, 0, 0, 0xA0};
        appendBytes(header, dataHeader);
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, header.data(), header.size(), 0), static_cast<ssize_t>(header.size()));
        const std::vector<uint8_t> sound = noiseFrames(cd, 10);
        ASSERT_EQ(::pwrite(fd, sound.data(), sound.size(), 44 + 1000 * 4), 40);
        ASSERT_EQ(::pwrite(fd, sound.data(), sound.size(), static_cast<off_t>(44 + dataBytes - 260 * 4)), 40);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(44 + dataBytes)), 0);
        ::close(fd);
    }
    const FileSlot slot = scanFile(path);
    EXPECT_EQ(slot.frameCount, dataBytes / 4);
    EXPECT_EQ(slot.leadingSilentFrames, 1000u);
    EXPECT_EQ(slot.trailingSilentFrames, 250u);
}

}  // namespace
}  // namespace vemilo
