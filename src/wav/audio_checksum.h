#pragma once
// The MD5 of a file's audio in FLAC's convention (signed samples, little-endian, at the file's bit
// depth; floats as their little-endian bytes): a WAV master and its FLAC, AIFF, W64 or CAF copies
// have the same one, and it equals the MD5 a FLAC file stores.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace vemilo {

struct AudioChecksum {
    std::optional<std::array<uint8_t, 16>> md5;  // nothing when the audio could not be read whole
    std::string problem;                         // why not, as a short sentence
    bool hasEmbeddedMd5 = false;                 // the file carries an "MD5 " chunk
    bool embeddedMatches = false;
    std::string remark;  // worth saying though no fault: a FLAC file without a stored MD5
};

AudioChecksum audioChecksum(const std::string& path);

// 32 lower-case hexadecimal digits, as md5sum prints them.
std::string hexDigest(const std::array<uint8_t, 16>& digest);

}  // namespace vemilo
