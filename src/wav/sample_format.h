#pragma once
// What a file's samples are: how they are encoded, how wide they are, how many make a frame and
// how many frames make a second. Every format code of a WAV "fmt " chunk is defined here, once.

#include <cstdint>
#include <string>

namespace vemilo {

namespace wave_format_code {
inline constexpr uint16_t kPcm = 0x0001;
inline constexpr uint16_t kIeeeFloat = 0x0003;
inline constexpr uint16_t kExtensible = 0xFFFE;  // the sub-format GUID decides
}  // namespace wave_format_code

enum class SampleEncoding : uint8_t { IntegerPcm, IeeeFloat, Other };

struct SampleFormat {
    SampleEncoding encoding = SampleEncoding::Other;
    uint16_t code = 0;        // the format code that decided the encoding (an extensible file's sub-format)
    uint32_t sampleRate = 0;  // frames per second
    uint16_t channels = 0;
    uint16_t bitsPerSample = 0;
    uint16_t blockAlign = 0;  // bytes per frame, all channels

    bool operator==(const SampleFormat&) const = default;

    // A rate and a frame size: enough to count, scan and compare frames.
    bool usable() const { return sampleRate != 0 && blockAlign != 0; }
    uint16_t bytesPerSample() const { return bitsPerSample / 8; }
    // The byte every byte of a silent frame holds: unsigned 8-bit audio rests at its mid value,
    // every other width at all bits zero (so a float of negative zero is not silent).
    uint8_t silentByte() const { return bitsPerSample == 8 ? 0x80 : 0x00; }
    // A playing time can be given for integer PCM and IEEE float with a usable rate and frame size.
    bool hasPlayingTime() const { return encoding != SampleEncoding::Other && usable(); }
    // Samples of 32 or 64 bits that are IEEE floats.
    bool isFloat() const {
        return encoding == SampleEncoding::IeeeFloat && (bitsPerSample == 32 || bitsPerSample == 64);
    }
    // Samples that decode as little-endian integers: 8 (unsigned), 16, 24 or 32 bits.
    bool hasIntegerWidth() const {
        return bitsPerSample == 8 || bitsPerSample == 16 || bitsPerSample == 24 || bitsPerSample == 32;
    }
    // Integer PCM whose every channel's sample fits in its share of the frame.
    bool isDecodableInteger() const {
        return encoding == SampleEncoding::IntegerPcm && hasIntegerWidth() && channels != 0 &&
               blockAlign % channels == 0 && bytesPerSample() <= blockAlign / channels;
    }
};

// The format of a "fmt " chunk: the format code, or an extensible file's sub-format, decides the
// encoding.
SampleFormat waveSampleFormat(uint16_t formatTag, uint16_t subFormat, uint32_t sampleRate, uint16_t channels,
                              uint16_t bitsPerSample, uint16_t blockAlign);

// "pcm", "float", or "code N" for any other format code.
std::string encodingName(const SampleFormat& format);

}  // namespace vemilo
