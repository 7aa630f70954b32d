#pragma once
// Builds WAV files byte by byte for the demo files, the fuzz corpus and the tests, including
// malformed ones: every field can be set by hand and chunks can be added in any order.

#include <cstdint>
#include <string>
#include <vector>

namespace vemilo::writer {

struct PcmFormat {
    uint16_t formatTag = 1;
    uint16_t channels = 2;
    uint32_t sampleRate = 44100;
    uint16_t bitsPerSample = 16;
    uint16_t blockAlign = 0;  // 0: channels * bitsPerSample / 8
    uint32_t byteRate = 0;    // 0: sampleRate * blockAlign

    uint16_t frameBytes() const;
};

class WavBuilder {
public:
    WavBuilder& riffHeader(uint32_t riffSize = 0);  // 0: filled in by bytes()
    // "RF64" or "BW64", its RIFF size the placeholder 0xFFFFFFFF, then "WAVE".
    WavBuilder& rf64Header(const std::string& id = "RF64");
    // The ds64 chunk of an RF64/BW64 file, with optional table entries for other chunks.
    WavBuilder& ds64(uint64_t riffSize, uint64_t dataSize, uint64_t frameCount,
                     const std::vector<std::pair<std::string, uint64_t>>& table = {});
    WavBuilder& fmt(const PcmFormat& format, std::vector<uint8_t> extension = {});
    // A data chunk holding audio; declaredSize overrides the size field (over- or under-declared).
    WavBuilder& data(const std::vector<uint8_t>& audio, int64_t declaredSize = -1);
    // Any chunk; a body of odd size gets its pad byte unless pad is false.
    WavBuilder& chunk(const std::string& id, const std::vector<uint8_t>& body, bool pad = true);
    WavBuilder& raw(const std::vector<uint8_t>& bytes);

    std::vector<uint8_t> bytes() const;
    void write(const std::string& path) const;

private:
    std::vector<uint8_t> bytes_;
    bool fixRiffSize_ = false;
};

// The 24 extension bytes of a WAVE_FORMAT_EXTENSIBLE "fmt " body: cbSize 22, the valid bits, the
// channel mask and the sub-format GUID whose first two bytes are subFormat (1 PCM, 3 IEEE float).
std::vector<uint8_t> extensibleExtension(uint16_t subFormat, uint16_t validBits, uint32_t channelMask = 0);

// A canonical file: "RIFF", "fmt ", "data".
std::vector<uint8_t> canonicalWav(const PcmFormat& format, const std::vector<uint8_t>& audio);
void writeCanonicalWav(const std::string& path, const PcmFormat& format, const std::vector<uint8_t>& audio);

// frameCount frames of a repeatable pseudo-random signal, with no silent frame.
std::vector<uint8_t> noiseFrames(const PcmFormat& format, uint32_t frameCount, uint32_t seed = 1);
// frameCount silent frames (0x80 bytes for 8-bit, zero otherwise).
std::vector<uint8_t> silentFrames(const PcmFormat& format, uint32_t frameCount);

void appendBytes(std::vector<uint8_t>& to, const std::vector<uint8_t>& from);
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace vemilo::writer
