#pragma once
// The MD5 of audio in FLAC's convention: signed samples, little-endian, in as many bytes as their
// significant bits need; floats as their little-endian bytes. A WAV master and its copies in any
// container then have one checksum, the one FLAC stores.

#include <nettle/md5.h>

#include <cstdint>
#include <vector>

#include "wav/sample_format.h"

namespace vemilo {

// Adds count frames, laid out as a WAV file of the format holds them (8-bit unsigned), to the MD5.
// significantBits: a FLAC stream's own width where it is narrower than its container's samples.
void updateFlacConventionMd5(md5_ctx* md5, const uint8_t* frames, uint64_t count, const SampleFormat& format,
                             uint16_t significantBits, std::vector<uint8_t>& scratch);

}  // namespace vemilo
