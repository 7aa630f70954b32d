#pragma once
// Where the audio of an AIFF, AIFF-C or CAF file lies and how long its header says it is, read
// from the chunks themselves: libsndfile decodes the samples, but says nothing of a copy cut short,
// and refuses a CAF file whose data size was left at -1 by a writer that could not seek back.

#include <cstdint>
#include <optional>

#include "wav/wav_reader.h"

namespace vemilo {

struct ContainerExtent {
    uint64_t audioStart = 0;     // file offset of the first audio byte
    uint64_t declaredBytes = 0;  // the audio bytes the header declares (to the end, when it runs there)
    bool runsToEnd = false;      // CAF's -1: the audio runs to the end of the file
    uint64_t sizeField = 0;      // CAF: file offset of the data chunk's 8-byte size
    // Bytes declared beyond the end of the file: a copy cut short.
    uint64_t missingBytes(uint64_t fileSize) const {
        const uint64_t end = audioStart + declaredBytes;
        return end > fileSize ? end - fileSize : 0;
    }
};

// The "SSND" chunk of a FORM/AIFF or FORM/AIFC file; nothing when there is none.
std::optional<ContainerExtent> aiffExtent(WavReader& reader);
// The "data" chunk of a CAF file; nothing when there is none.
std::optional<ContainerExtent> cafExtent(WavReader& reader);

}  // namespace vemilo
