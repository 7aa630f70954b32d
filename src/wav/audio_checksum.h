#pragma once
// The MD5 of a file's audio data: the bytes of its data chunk that the file holds. For 16- and
// 24-bit integer PCM it equals the MD5 that FLAC stores for the same audio.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace vemilo {

struct AudioChecksum {
    std::optional<std::array<uint8_t, 16>> md5;  // nothing when the file could not be read as WAV
    std::string problem;                         // why not, as a short sentence
    bool hasEmbeddedMd5 = false;                 // the file carries an "MD5 " chunk
    bool embeddedMatches = false;
};

AudioChecksum audioChecksum(const std::string& path);

// 32 lower-case hexadecimal digits, as md5sum prints them.
std::string hexDigest(const std::array<uint8_t, 16>& digest);

}  // namespace vemilo
