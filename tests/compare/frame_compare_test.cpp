#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "compare/comparison_run.h"
#include "compare/run_state.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"
#include "wav/text_format.h"
#include "wav/trace.h"
#include "wav/zero_run_scan.h"
#include "wav_writer/wav_writer.h"

namespace vemilo {
namespace {

using namespace testing;
using namespace writer;

SampleFormat formatOf(uint16_t bits, uint16_t channels, uint16_t blockAlign,
                      uint16_t formatCode = wave_format_code::kPcm) {
    return waveSampleFormat(formatCode, 0, 44100, channels, bits, blockAlign);
}

TEST(DifferenceLine, SampleValuesByWidthAndChannels) {
    const uint8_t a8[] = {0x80};
    const uint8_t b8[] = {0x81};
    EXPECT_EQ(differenceLine(1, 0x2c, 0x2c, a8, b8, formatOf(8, 1, 1)),
              "相違点          1(1:2c 2:2c)\t1:      128\t2:      129");

    const uint8_t a16[] = {0xFF, 0x7F, 0x00, 0x80};
    const uint8_t b16[] = {0x01, 0x00, 0xFF, 0xFF};
    EXPECT_EQ(differenceLine(1234567, 0xabc, 0x10, a16, b16, formatOf(16, 2, 4)),
              "相違点    1234567(1:abc 2:10)\t1:    32767,  -32768\t2:        1,      -1");

    const uint8_t a24[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F};
    const uint8_t b24[] = {0x00, 0x00, 0x80, 0x01, 0x00, 0x00};
    EXPECT_EQ(differenceLine(2, 1, 2, a24, b24, formatOf(24, 2, 6)),
              "相違点          2(1:1 2:2)\t1:       -1, 8388607\t2: -8388608,       1");

    const uint8_t a32[] = {0x00, 0x00, 0x00, 0x80};
    const uint8_t b32[] = {0xFF, 0xFF, 0xFF, 0x7F};
    EXPECT_EQ(differenceLine(3, 0, 0, a32, b32, formatOf(32, 1, 4)),
              "相違点          3(1:0 2:0)\t1: -2147483648\t2: 2147483647");

    // IEEE float, plain or extensible, shows decimal values in the same columns.
    const float f1[] = {0.5f, -0.25f};
    const float f2[] = {0.5f, 1.0e-7f};
    uint8_t floats1[8], floats2[8];
    std::memcpy(floats1, f1, 8);
    std::memcpy(floats2, f2, 8);
    EXPECT_EQ(differenceLine(7, 0x50, 0x50, floats1, floats2, formatOf(32, 2, 8, 3)),
              "相違点          7(1:50 2:50)\t1:      0.5,   -0.25\t2:      0.5,1.00000001e-07");
    const double d1 = -1.0 / 3, d2 = 0.1;
    uint8_t double1[8], double2[8];
    std::memcpy(double1, &d1, 8);
    std::memcpy(double2, &d2, 8);
    EXPECT_EQ(differenceLine(8, 0, 8, double1, double2, formatOf(64, 1, 8, 3)),
              "相違点          8(1:0 2:8)\t1: -0.33333333333333331\t2: 0.10000000000000001");
    // The same bits as integers when the data is integer PCM.
    EXPECT_EQ(differenceLine(9, 0, 0, floats1, floats2, formatOf(32, 1, 4, 1)),
              "相違点          9(1:0 2:0)\t1: 1056964608\t2: 1056964608");

    // Four channels, or a frame too small for its declared samples: the line ends after the tab.
    const uint8_t four[8] = {};
    EXPECT_EQ(differenceLine(4, 8, 8, four, four, formatOf(16, 4, 8)), "相違点          4(1:8 2:8)\t");
    EXPECT_EQ(differenceLine(5, 8, 8, four, four, formatOf(32, 2, 4)), "相違点          5(1:8 2:8)\t");
    EXPECT_EQ(differenceLine(6, 8, 8, four, four, formatOf(12, 1, 2)), "相違点          6(1:8 2:8)\t");
}

struct Pair {
    PcmFormat format;
    std::vector<uint8_t> audio1, audio2;
    std::vector<uint8_t> trailer1, trailer2;
    int64_t declared1 = -1, declared2 = -1;
};

// The comparison as written, frame by frame, over the bytes after each data start: a file whose
// bytes end while frames are still declared ends the comparison with a read error naming it.
std::vector<std::string> compareByFrames(const Pair& pair, uint32_t limit) {
    std::vector<uint8_t> stream[2] = {pair.audio1, pair.audio2};
    appendBytes(stream[0], pair.trailer1);
    appendBytes(stream[1], pair.trailer2);
    const uint16_t ba = pair.format.frameBytes();
    const SampleFormat format = formatOf(pair.format.bitsPerSample, pair.format.channels, ba);
    const uint64_t declared[2] = {pair.declared1 >= 0 ? uint64_t(pair.declared1) : pair.audio1.size(),
                                  pair.declared2 >= 0 ? uint64_t(pair.declared2) : pair.audio2.size()};
    uint64_t remaining[2] = {declared[0] / ba, declared[1] / ba};
    const uint64_t available[2] = {stream[0].size() / ba, stream[1].size() / ba};
    std::vector<std::string> lines;
    uint64_t differences = 0, compared = 0;
    const auto endLine = [&] {
        if (remaining[0] == 0 && remaining[1] == 0)
            lines.push_back("file1,file2が同時に終わりました。");
        else if (remaining[0] == 0)
            lines.push_back("file1が終わりました。");
        else if (remaining[1] == 0)
            lines.push_back("file2が終わりました。");
        return remaining[0] == 0 || remaining[1] == 0;
    };
    bool finished = endLine();
    for (uint64_t idx = 0; !finished; ++idx) {
        if (idx >= available[0]) {
            lines.push_back("読み取りエラー 0==0");
            break;
        }
        if (idx >= available[1]) {
            lines.push_back("読み取りエラー 1==0");
            break;
        }
        const uint8_t* f1 = stream[0].data() + idx * ba;
        const uint8_t* f2 = stream[1].data() + idx * ba;
        if (std::memcmp(f1, f2, ba) != 0) {
            if (++differences > limit) {
                lines.push_back("相違数がオーバーしました");
                break;
            }
            lines.push_back(differenceLine(compared + 1, 44 + idx * ba, 44 + idx * ba, f1, f2, format));
        }
        --remaining[0];
        --remaining[1];
        ++compared;
        finished = endLine();
    }
    lines.push_back(differences == 0 ? "一致しました。"
                                     : formatText("相違点がありました。(%llu)", (unsigned long long)differences));
    if (finished && (remaining[0] == 0) != (remaining[1] == 0)) {
        const int wentOn = remaining[0] == 0 ? 2 : 1;
        lines.push_back(formatText("ファイル%dの残り%lluサンプルは比較されませんでした。", wentOn,
                                   (unsigned long long)remaining[wentOn - 1]));
    }
    // A data chunk declaring more than the file holds (after it, any trailer) is a copy cut short.
    for (int side = 0; side < 2; ++side) {
        if (declared[side] > stream[side].size()) {
            lines.push_back(formatText("ファイル%dのデータはヘッダーが示す長さより%lluバイト短く、途中で切れています。",
                                       side + 1, (unsigned long long)(declared[side] - stream[side].size())));
        }
    }
    lines.push_back(formatText("比較サンプル(%llu)", (unsigned long long)compared));
    return lines;
}

std::vector<uint8_t> fileBytes(const PcmFormat& format, const std::vector<uint8_t>& audio,
                               const std::vector<uint8_t>& trailer, int64_t declared) {
    std::vector<uint8_t> bytes = WavBuilder().riffHeader().fmt(format).bytes();
    const std::vector<uint8_t> header = WavBuilder().data({}, declared >= 0 ? declared : int64_t(audio.size())).bytes();
    appendBytes(bytes, header);
    appendBytes(bytes, audio);
    appendBytes(bytes, trailer);
    return bytes;
}

TEST(FrameComparison, BulkComparisonAgreesWithFrameByFrameOnRandomPairs) {
    std::mt19937 random(1234);
    const TraceSink previous = setTraceSink({});
    TempDir dir;
    const PcmFormat formats[] = {{1, 1, 10, 8}, {1, 2, 10, 16}, {1, 2, 7, 24},
                                 {1, 4, 5, 16}, {1, 1, 9, 32},  {1, 3, 4, 8}};
    for (int trial = 0; trial < 600; ++trial) {
        Pair pair;
        pair.format = formats[random() % std::size(formats)];
        const uint16_t ba = pair.format.frameBytes();
        const uint32_t frames1 = random() % 500;
        pair.audio1 = noiseFrames(pair.format, frames1, trial);
        pair.audio2 = pair.audio1;
        pair.audio2.resize(size_t(std::max<int64_t>(0, int64_t(frames1) + int(random() % 21) - 10)) * ba, 0x11);
        const int density = 1 + int(random() % 60);
        for (size_t at = 0; at < pair.audio2.size(); ++at) {
            if (int(random() % (density * ba * 4)) == 0) pair.audio2[at] ^= uint8_t(1 + random() % 255);
        }
        if (random() % 4 == 0) pair.trailer1 = {'L', 'I', 'S', 'T', 2, 0, 0, 0, 7, 7};
        if (random() % 4 == 0) pair.audio2.resize(pair.audio2.size() + random() % ba, 0x33);  // a partial last frame
        if (random() % 8 == 0) pair.declared2 = int64_t(pair.audio2.size() + ba * (1 + random() % 200));
        const uint32_t limit = 1 + random() % 40;

        writeFile(dir.file("1.wav"), fileBytes(pair.format, pair.audio1, pair.trailer1, pair.declared1));
        writeFile(dir.file("2.wav"), fileBytes(pair.format, pair.audio2, pair.trailer2, pair.declared2));
        RecordingReporter host;
        host.options.values.details = true;
        host.options.values.differenceLimit = std::to_string(limit);
        FileSlots slots;
        loadFileSlot(slots[0], 0, dir.file("1.wav"), host);
        loadFileSlot(slots[1], 1, dir.file("2.wav"), host);
        // Blocks as small as one frame, so that runs of equal frames and differences cross them.
        ComparisonBuffers blocks(size_t(ba) * (1 + random() % 9));
        const RunResult result = runComparison(slots, host, host.options, &blocks).result;
        const std::vector<std::string> expected = compareByFrames(pair, limit);
        if (host.log.size() < 9 || endedEarly(result)) {
            // An empty first read ends the run before the comparison.
            ASSERT_TRUE(result == RunResult::FirstRead1Empty || result == RunResult::FirstRead2Empty)
                << "trial " << trial << " result " << runResultName(result) << " log "
                << ::testing::PrintToString(host.log);
            continue;
        }
        const std::vector<std::string> compared(host.log.begin() + 8, host.log.end() - 1);
        ASSERT_EQ(compared, expected) << "trial " << trial;
        ASSERT_EQ(result, std::find(expected.begin(), expected.end(), "一致しました。") != expected.end()
                              ? RunResult::Identical
                              : RunResult::Different);
    }
    setTraceSink(previous);
}

}  // namespace
}  // namespace vemilo
