// The WAV variants of real-world work: RF64 and BW64 with their ds64 sizes, streaming headers
// whose sizes were never filled in, IEEE float and WAVE_FORMAT_EXTENSIBLE.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <algorithm>

#include "compare/comparison_run.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"
#include "wav/choose_file.h"
#include "wav/text_format.h"
#include "wav/trace.h"
#include "wav/wav_header.h"
#include "wav_writer/wav_writer.h"

namespace vemilo {
namespace {

using namespace testing;
using namespace writer;
using Bytes = std::vector<uint8_t>;

const PcmFormat kStereo{1, 2, 48000, 24};

struct Walk {
    WavError result;
    WavFormatInfo info;
    std::string trace;
};

Walk walkBytes(const Bytes& bytes) {
    TempDir dir;
    writeFile(dir.file("f.wav"), bytes);
    Walk walk{};
    const TraceSink previous = setTraceSink([&](const std::string& line) { walk.trace += line; });
    walk.result = parseWavHeader(dir.file("f.wav"), walk.info);
    setTraceSink(previous);
    return walk;
}

TEST(WavVariants, SizesOfRf64Bw64AndStreamingHeaders) {
    const Bytes audio = noiseFrames(kStereo, 1000);   // 6000 bytes
    const Bytes odd(audio.begin(), audio.end() - 4);  // a partial last frame
    struct Case {
        const char* name;
        Bytes bytes;
        uint64_t dataBytes;
        uint64_t dataOffset;
        bool runsToEnd;
    };
    const Case cases[] = {
        {"RF64, data size in ds64",
         WavBuilder().rf64Header().ds64(0, 6000, 1000).fmt(kStereo).data(audio, 0xFFFFFFFF).bytes(), 6000, 80, false},
        {"BW64, data size in ds64",
         WavBuilder().rf64Header("BW64").ds64(0, 6000, 1000).fmt(kStereo).data(audio, 0xFFFFFFFF).bytes(), 6000, 80,
         false},
        {"RF64 with an ordinary data size", WavBuilder().rf64Header().ds64(0, 0, 0).fmt(kStereo).data(audio).bytes(),
         6000, 80, false},
        {"RF64 whose ds64 was never filled in",
         WavBuilder().rf64Header().ds64(0, 0, 0).fmt(kStereo).data(audio, 0xFFFFFFFF).bytes(), 6000, 80, true},
        {"RF64, a JUNK chunk sized in the ds64 table",
         WavBuilder()
             .rf64Header()
             .ds64(0, 6000, 1000, {{"JUNK", 10}})
             .raw({'J', 'U', 'N', 'K', 0xFF, 0xFF, 0xFF, 0xFF})
             .raw(Bytes(10, 7))
             .fmt(kStereo)
             .data(audio, 0xFFFFFFFF)
             .bytes(),
         6000, 110, false},
        {"streaming RIFF runs to the end of the file",
         WavBuilder().riffHeader().fmt(kStereo).data(odd, 0xFFFFFFFF).bytes(), 5996, 44, true},
        {"a data size of 0 stays 0", WavBuilder().riffHeader().fmt(kStereo).data(audio, 0).raw(audio).bytes(), 0, 44,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Walk walk = walkBytes(c.bytes);
        EXPECT_EQ(walk.result.problem, WavProblem::None);
        EXPECT_EQ(walk.info.dataBytes, c.dataBytes);
        EXPECT_EQ(walk.info.dataOffset, c.dataOffset);
        EXPECT_EQ(walk.info.dataRunsToEnd, c.runsToEnd);
        EXPECT_EQ(walk.info.format.sampleRate, 48000u);
    }
    const Walk rf64 = walkBytes(cases[0].bytes);
    EXPECT_EQ(rf64.info.container, WavContainer::Rf64);
    EXPECT_NE(rf64.trace.find("chunk: ds64 28\n0 ds64 riffsize\n6000 ds64 datasize\n1000 ds64 samplecount\n"),
              std::string::npos)
        << rf64.trace;
}

// Holes of a sparse file read fast from memory-backed folders.
std::string sparseFolder() { return "/dev/shm"; }

// An RF64 file of dataBytes of 16-bit mono audio: sound at both ends, a hole of silence between.
void writeSparseRf64(const std::string& path, uint64_t dataBytes, const Bytes& tailSound) {
    const PcmFormat mono{1, 1, 48000, 16};
    const Bytes header =
        WavBuilder().rf64Header().ds64(dataBytes + 72, dataBytes, dataBytes / 2).fmt(mono).data({}, 0xFFFFFFFF).bytes();
    ASSERT_EQ(header.size(), 80u);
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    const Bytes headSound = noiseFrames(mono, 10, 5);
    ASSERT_EQ(::pwrite(fd, header.data(), header.size(), 0), 80);
    ASSERT_EQ(::pwrite(fd, headSound.data(), headSound.size(), 80 + 2 * 100), 20);
    ASSERT_EQ(::pwrite(fd, tailSound.data(), tailSound.size(), static_cast<off_t>(80 + dataBytes - 2 * 300)),
              static_cast<ssize_t>(tailSound.size()));
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(80 + dataBytes)), 0);
    ::close(fd);
}

TEST(WavVariants, SparseRf64BeyondFourGigabytes) {
    TempDir dir(sparseFolder());
    const uint64_t dataBytes = (4ull << 30) + (6ull << 20);  // 4 GiB and 6 MiB
    const PcmFormat mono{1, 1, 48000, 16};
    const Bytes tail = noiseFrames(mono, 50, 9);
    Bytes changedTail = tail;
    changedTail[61] ^= 0x40;  // frame 30 of the tail
    writeSparseRf64(dir.file("1.wav"), dataBytes, tail);
    writeSparseRf64(dir.file("2.wav"), dataBytes, changedTail);

    RecordingReporter host;
    const TraceSink previous = setTraceSink({});
    FileSlots slots;
    ASSERT_EQ(chooseFile(slots[0], 0, dir.file("1.wav"), host), WavError{});
    ASSERT_EQ(chooseFile(slots[1], 1, dir.file("2.wav"), host), WavError{});
    EXPECT_EQ(slots[0].frameCount, dataBytes / 2);
    EXPECT_EQ(host.info[0][2], "再生時間 12:26:44.778");
    EXPECT_EQ(host.info[0][3], "サンプル数   2150629376");
    EXPECT_EQ(slots[0].leadingSilentFrames, 100u);
    EXPECT_EQ(slots[0].trailingSilentFrames, 250u);

    host.options.values.details = true;
    host.options.values.zeroSkip = true;
    const RunOutcome outcome = runComparison(slots, host, host.options);
    setTraceSink(previous);
    EXPECT_EQ(outcome.result, RunResult::Different);
    const uint64_t differing = dataBytes / 2 - 300 + 30;  // the frame's index in the data
    const std::vector<std::string> expected = {
        formatText("相違点 %10llu(1:%llx 2:%llx)\t1: %8d\t2: %8d", (unsigned long long)(differing - 100 + 1),
                   (unsigned long long)(80 + 2 * differing), (unsigned long long)(80 + 2 * differing),
                   int(int16_t(tail[60] | tail[61] << 8)), int(int16_t(changedTail[60] | changedTail[61] << 8))),
        "file1,file2が同時に終わりました。",
        "相違点がありました。(1)",
        "比較しなかった先頭のサンプル: ファイル1 100、ファイル2 100",
        formatText("比較サンプル(%llu)", (unsigned long long)(dataBytes / 2 - 100)),
    };
    ASSERT_GE(host.log.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(host.log.end() - 6, host.log.end() - 1), expected);
    EXPECT_NE(std::find(host.log.begin(), host.log.end(), "[debug]file1 pos 280"), host.log.end());
    ASSERT_TRUE(outcome.firstDifference.has_value());
    EXPECT_EQ((*outcome.firstDifference)[1], differing);
}

}  // namespace
}  // namespace vemilo
