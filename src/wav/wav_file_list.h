#pragma once
// The audio files of one folder (WAV and the containers decoded beside it), as both folder lists
// and the command-line tool see them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vemilo {

// True for a name that ends in ".wav", ".flac", ".aif", ".aiff", ".aifc", ".w64" or ".caf", letter
// case ignored.
bool matchesAudioMask(const std::string& name);

// Sorts names by the bytes of their UTF-8 text, the one order both lists pair their rows by.
void sortFileNames(std::vector<std::string>& names);

// True when a comes before b in that order: byte by byte, each byte unsigned.
bool byteOrderLess(const std::string& a, const std::string& b);

struct WavFolderListing {
    std::vector<std::string> names;  // listed: not hidden, not folders; sorted
    uint32_t matchingEntries = 0;    // every matching entry that is not a folder, hidden ones included
};

// Reads a folder; nothing when it cannot be read.
std::optional<WavFolderListing> listWavFolder(const std::string& folder);

// folder + "/" (unless it already ends with one) + name.
std::string joinPath(const std::string& folder, const std::string& name);

}  // namespace vemilo
