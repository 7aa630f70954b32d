#pragma once
// Walks the chunks of a RIFF/WAVE file (or RF64/BW64) and collects the format block and the
// position and size of the audio data.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "wav/sample_format.h"

namespace vemilo {

// Why a file could not be read as WAV; one vocabulary for the walk, the slot and the messages.
enum class WavProblem : uint8_t {
    None,
    CannotOpen,      // the system refused the open (systemError says why) or it is not a regular file
    NotWave,         // the first bytes are not "RIFF"/"RF64"/"BW64" ... "WAVE"
    TruncatedChunk,  // the file ends inside a chunk header
    NoFormat,        // no "fmt " chunk, or one without a sample rate or frame size
    Stopped,         // the walk was stopped before its end
};

// A sentence for a problem, with the system's own text for a refused open.
std::string describeProblem(WavProblem problem, int systemError);

enum class WavContainer : uint8_t { Riff, Rf64, Bw64 };

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
    // The MD5 of the audio data that broadcast-WAV tools embed in an "MD5 " chunk, if any.
    bool hasEmbeddedMd5 = false;
    std::array<uint8_t, 16> embeddedMd5{};
    WavProblem problem = WavProblem::None;
    int systemError = 0;
};

// Called now and then during a long walk; false stops the walk.
using KeepWalking = std::function<bool()>;

// 0 when the walk reached the end of the file, 1 on failure. A failed walk leaves the format
// fields at 0 while the data fields keep what the walk had found; callers read the record either
// way. The trace of the walk goes to the trace sink.
[[nodiscard]] int parseWavHeader(const std::string& path, WavFormatInfo& info, const KeepWalking& keepWalking = {});

}  // namespace vemilo
