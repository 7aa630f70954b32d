#pragma once
// Walks the chunks of a RIFF/WAVE file and collects the format block and the data position.

#include <cstdint>
#include <string>

namespace vemilo {

struct WavFormatInfo {
    uint32_t dataBytes = 0;
    uint32_t dataOffset = 0;
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t byteRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
};

// 0 when the walk reached the end of the file, 1 on failure. A failed walk leaves the format
// fields at 0 while the data fields keep what the walk had found; callers read the record either way.
int parseWavHeader(const std::string& path, WavFormatInfo& info);

}  // namespace vemilo
