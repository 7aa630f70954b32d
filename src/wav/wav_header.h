#pragma once
// Walks the chunks of a RIFF/WAVE file (or RF64/BW64, or Sony Wave64, whose chunks carry the same
// format block and data under GUIDs and 64-bit sizes) and collects the format block and the
// position and size of the audio data.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "wav/sample_format.h"
#include "wav/wav_error.h"
#include "wav/wav_reader.h"

namespace vemilo {

enum class WavContainer : uint8_t { Riff, Rf64, Bw64, W64 };

struct WavFormatInfo {
    uint64_t dataBytes = 0;   // the data chunk's size: declared, from ds64, or to the end of the file
    uint64_t dataOffset = 0;  // file offset of the data chunk's first body byte
    SampleFormat format;      // from the last "fmt " chunk; all zero when the walk failed
    // The "fmt " fields that the format does not carry, as the file holds them.
    uint16_t formatTag = 0;
    uint32_t byteRate = 0;
    uint16_t subFormat = 0;  // WAVE_FORMAT_EXTENSIBLE: the first two bytes of the sub-format GUID
    WavContainer container = WavContainer::Riff;
    bool dataRunsToEnd = false;  // the data size was the streaming placeholder 0xFFFFFFFF
    FileIdentity identity;       // the file the walk read, as it was then
    // The MD5 of the audio data that broadcast-WAV tools embed in an "MD5 " chunk, if any.
    bool hasEmbeddedMd5 = false;
    std::array<uint8_t, 16> embeddedMd5{};
};

// Called now and then during a long walk; false stops the walk.
using KeepWalking = std::function<bool()>;

// No error when the walk reached the end of the file and found a usable format; otherwise what
// stopped it and where. A failed walk leaves the format at 0 while the data fields keep what the
// walk had found; callers read the record either way. The trace of the walk goes to the trace sink.
[[nodiscard]] WavError parseWavHeader(const std::string& path, WavFormatInfo& info,
                                      const KeepWalking& keepWalking = {});

}  // namespace vemilo
