#include "wav/flac_md5.h"

namespace vemilo {

void updateFlacConventionMd5(md5_ctx* md5, const uint8_t* frames, uint64_t count, const SampleFormat& format,
                             uint16_t significantBits, std::vector<uint8_t>& scratch) {
    const size_t bytes = static_cast<size_t>(count * format.blockAlign);
    const uint16_t width = format.bitsPerSample;
    if (format.isFloat() || (width != 8 && (significantBits == width || significantBits == 0))) {
        md5_update(md5, bytes, frames);
        return;
    }
    if (width == 8) {
        // Unsigned as WAV stores it, signed as FLAC hashes it.
        scratch.resize(bytes);
        for (size_t i = 0; i < bytes; ++i) scratch[i] = frames[i] ^ 0x80;
        md5_update(md5, bytes, scratch.data());
        return;
    }
    // A stream narrower than its samples (20 bits in 24): FLAC hashes the value itself, not the
    // value as the wider container left-justifies it.
    const uint16_t inBytes = format.bytesPerSample();
    const uint16_t outBytes = static_cast<uint16_t>((significantBits + 7) / 8);
    const size_t samples = static_cast<size_t>(count) * format.channels;
    scratch.resize(samples * outBytes);
    for (size_t i = 0; i < samples; ++i) {
        uint32_t raw = 0;
        for (uint16_t b = 0; b < inBytes; ++b) raw |= uint32_t{frames[i * inBytes + b]} << (8 * b);
        const int32_t value = static_cast<int32_t>(raw << (32 - width)) >> (32 - significantBits);
        for (uint16_t b = 0; b < outBytes; ++b) scratch[i * outBytes + b] = static_cast<uint8_t>(value >> (8 * b));
    }
    md5_update(md5, scratch.size(), scratch.data());
}

}  // namespace vemilo
