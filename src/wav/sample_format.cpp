#include "wav/sample_format.h"

namespace vemilo {

SampleFormat waveSampleFormat(uint16_t formatTag, uint16_t subFormat, uint32_t sampleRate, uint16_t channels,
                              uint16_t bitsPerSample, uint16_t blockAlign) {
    SampleFormat format;
    format.code = formatTag == wave_format_code::kExtensible ? subFormat : formatTag;
    if (format.code == wave_format_code::kPcm) format.encoding = SampleEncoding::IntegerPcm;
    if (format.code == wave_format_code::kIeeeFloat) format.encoding = SampleEncoding::IeeeFloat;
    format.sampleRate = sampleRate;
    format.channels = channels;
    format.bitsPerSample = bitsPerSample;
    format.blockAlign = blockAlign;
    return format;
}

std::string encodingName(const SampleFormat& format) {
    switch (format.encoding) {
        case SampleEncoding::IntegerPcm: return "pcm";
        case SampleEncoding::IeeeFloat: return "float";
        case SampleEncoding::Other: break;
    }
    return "code " + std::to_string(format.code);
}

}  // namespace vemilo
