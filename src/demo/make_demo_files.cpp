// Writes pairs of demo WAV files into DIR/folder1 and DIR/folder2 (same names in both), sorted so
// that a continuous run across the folders shows every kind of outcome before it stops.

#include <cstdio>
#include <filesystem>
#include <string>

#include "wav_writer/wav_writer.h"

using namespace vemilo::writer;

namespace {

std::vector<uint8_t> withSilence(const PcmFormat& format, uint32_t leading, std::vector<uint8_t> audio,
                                 uint32_t trailing) {
    std::vector<uint8_t> out = silentFrames(format, leading);
    appendBytes(out, audio);
    appendBytes(out, silentFrames(format, trailing));
    return out;
}

void writePair(const std::filesystem::path& root, const std::string& name, const PcmFormat& format1,
               const std::vector<uint8_t>& audio1, const PcmFormat& format2, const std::vector<uint8_t>& audio2) {
    writeCanonicalWav((root / "folder1" / name).string(), format1, audio1);
    writeCanonicalWav((root / "folder2" / name).string(), format2, audio2);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vemilo-make-demo DIR\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    std::filesystem::create_directories(root / "folder1");
    std::filesystem::create_directories(root / "folder2");

    const PcmFormat cd{1, 2, 44100, 16};
    const std::vector<uint8_t> music = withSilence(cd, 500, noiseFrames(cd, 3 * 44100, 7), 300);

    // 1: identical copies.
    writePair(root, "1_identical.wav", cd, music, cd, music);

    // 2: 8-bit mono, identical; its silence is the byte 0x80.
    const PcmFormat eightBit{1, 1, 22050, 8};
    const std::vector<uint8_t> eight = withSilence(eightBit, 1000, noiseFrames(eightBit, 22050 * 2, 3), 250);
    writePair(root, "2_8bit_mono.wav", eightBit, eight, eightBit, eight);

    // 3: file 2 has 100 extra non-silent frames before the common audio; the match point aligns them.
    std::vector<uint8_t> leadIn = noiseFrames(cd, 100, 11);
    appendBytes(leadIn, noiseFrames(cd, 2 * 44100, 5));
    writePair(root, "3_lead_in.wav", cd, noiseFrames(cd, 2 * 44100, 5), cd, leadIn);

    // 4: the sample rates differ; the run refuses the pair and a series goes on.
    const PcmFormat dat{1, 2, 48000, 16};
    writePair(root, "4_rate_differs.wav", cd, noiseFrames(cd, 44100, 9), dat, noiseFrames(dat, 48000, 9));

    // 5: a few frames differ; a series stops here.
    std::vector<uint8_t> changed = music;
    for (uint32_t frame : {1000u, 1001u, 50000u, 90000u, 120000u}) changed[size_t{frame} * 4] ^= 0x01;
    writePair(root, "5_few_frames_differ.wav", cd, music, cd, changed);

    // 6: 24-bit stereo, two frames differ (one of them holding -1 in file 2).
    const PcmFormat hiRes{1, 2, 96000, 24};
    std::vector<uint8_t> high = withSilence(hiRes, 200, noiseFrames(hiRes, 96000, 13), 100);
    std::vector<uint8_t> high2 = high;
    for (size_t i = 0; i < 3; ++i) high2[size_t{500} * 6 + i] = 0xFF;
    high2[size_t{70000} * 6 + 5] ^= 0x40;
    writePair(root, "6_24bit.wav", hiRes, high, hiRes, high2);

    std::printf("demo files written to %s\n", root.string().c_str());
    return 0;
}
