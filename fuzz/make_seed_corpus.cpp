// Writes the seed corpus of the fuzz targets: WAV files from the test writer (canonical files,
// extensible headers, LIST/bext/fact chunks, odd sizes, 8/16/24/32-bit and 1 to 6 channels), and
// small files in the other containers, written by libsndfile.

#include <sndfile.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "wav_writer/wav_writer.h"

using namespace vemilo::writer;

namespace {

// Small files in every container libsndfile decodes for Vemilo, written by libsndfile itself.
void writeDecodedSeeds(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    const int formats[] = {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_24,
                           SF_FORMAT_FLAC | SF_FORMAT_PCM_S8, SF_FORMAT_AIFF | SF_FORMAT_PCM_16,
                           SF_FORMAT_AIFF | SF_FORMAT_FLOAT,  SF_FORMAT_AIFF | SF_ENDIAN_LITTLE | SF_FORMAT_PCM_24,
                           SF_FORMAT_W64 | SF_FORMAT_PCM_16,  SF_FORMAT_W64 | SF_FORMAT_DOUBLE,
                           SF_FORMAT_CAF | SF_FORMAT_PCM_16,  SF_FORMAT_CAF | SF_FORMAT_FLOAT};
    int n = 0;
    for (const int format : formats) {
        for (const int channels : {1, 2}) {
            SF_INFO info{};
            info.samplerate = 8000;
            info.channels = channels;
            info.format = format;
            const std::string path = (folder / ("seed" + std::to_string(n++))).string();
            SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
            if (!file) continue;
            std::vector<int> samples(static_cast<size_t>(300 * channels));
            for (size_t i = 0; i < samples.size(); ++i)
                samples[i] = i < 40 ? 0 : static_cast<int>((i * 2654435761u) & 0xFFFF0000u);
            sf_writef_int(file, samples.data(), 300);
            sf_close(file);
        }
    }
    // Found by this target once: a STREAMINFO with no total and a rate of 1 Hz, whose playing time
    // overflowed when it was converted.
    const std::vector<uint8_t> unknownTotalAtOneHertz = {
        0x66, 0x4C, 0x61, 0x43, 0x00, 0x00, 0x00, 0x22, 0x10, 0x00, 0x10, 0x01, 0x0C, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x16, 0x70, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x1E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x31, 0x66, 0xA6};
    writeFile((folder / ("seed" + std::to_string(n))).string(), unknownTotalAtOneHertz);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seed_corpus DIR\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    std::filesystem::create_directories(root / "one_file");
    std::filesystem::create_directories(root / "comparison");
    std::vector<std::vector<uint8_t>> files;
    int n = 0;
    for (uint16_t bits : {8, 16, 24, 32}) {
        for (uint16_t channels : {1, 2, 3, 6}) {
            const PcmFormat format{1, channels, 200u * bits, bits};
            std::vector<uint8_t> audio = silentFrames(format, 7);
            appendBytes(audio, noiseFrames(format, 40, ++n));
            appendBytes(audio, silentFrames(format, 5));
            files.push_back(canonicalWav(format, audio));
        }
    }
    const PcmFormat cd{1, 2, 8000, 16};
    const std::vector<uint8_t> audio = noiseFrames(cd, 30);
    std::vector<uint8_t> ext22 = {22, 0};
    ext22.resize(24, 0);
    files.push_back(WavBuilder()
                        .riffHeader()
                        .fmt(PcmFormat{0xFFFE, 2, 8000, 16}, ext22)
                        .chunk("fact", {30, 0, 0, 0})
                        .data(audio)
                        .bytes());
    files.push_back(
        WavBuilder().riffHeader().fmt(cd, {0, 0}).data(audio).chunk("LIST", {'I', 'N', 'F', 'O', 'I'}).bytes());
    files.push_back(WavBuilder().riffHeader().chunk("bext", std::vector<uint8_t>(33, 'b')).fmt(cd).data(audio).bytes());
    files.push_back(
        WavBuilder().riffHeader().fmt(PcmFormat{1, 1, 8000, 8}).data(std::vector<uint8_t>(7, 0x80), 7).bytes());
    files.push_back(WavBuilder().riffHeader().fmt(cd).data(audio, 100000).bytes());
    files.push_back(WavBuilder().riffHeader().data(audio).fmt(cd).raw({0x41, 0x42}).bytes());

    for (size_t i = 0; i < files.size(); ++i) {
        writeFile((root / "one_file" / ("seed" + std::to_string(i))).string(), files[i]);
        // A comparison input: options, then the file twice, once with a frame changed.
        std::vector<uint8_t> pair = {static_cast<uint8_t>(i % 32), 10, 0, 50, 0, 0, 128, 0};
        std::vector<uint8_t> second = files[i];
        second[second.size() - 3] ^= 0x21;
        appendBytes(pair, files[i]);
        appendBytes(pair, second);
        writeFile((root / "comparison" / ("seed" + std::to_string(i))).string(), pair);
    }
    writeDecodedSeeds(root / "decoded_file");
    std::printf("%zu seeds per target in %s\n", files.size(), root.string().c_str());
    return 0;
}
