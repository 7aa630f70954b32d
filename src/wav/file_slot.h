#pragma once
// What the system knows of file 1 and file 2, and the summary lines of a loaded file.

#include <array>
#include <cstdint>
#include <string>

namespace vemilo {

class Reporter;

struct FileSlot {
    std::string path;  // empty: no file chosen for this side
    uint32_t dataBytes = 0;
    uint32_t sampleCount = 0;
    uint32_t leadingZeros = 0;
    uint32_t trailingZeros = 0;
    uint32_t sampleRate = 0;
    uint32_t dataOffset = 0;
    uint16_t bitsPerSample = 0;
    uint16_t channels = 0;
    uint16_t blockAlign = 0;
    uint64_t trailerBytes = 0;
    // Changes with every load, so that a scan interrupted by another load can tell.
    uint64_t loadId = 0;
};

using FileSlots = std::array<FileSlot, 2>;

// Reads the header of the file at path into the slot and writes the four summary lines to
// the side's information pane. Leaves the zero counts to the zero-run scan that follows.
// True when the file was read as a WAV file with a usable format (the window ignores it).
bool loadFileSlot(FileSlot& slot, int side, const std::string& path, Reporter& reporter);

// Writes h:mm:ss.mmm for a playing time in seconds into text; returns 0.
int formatDuration(double seconds, std::string& text);

}  // namespace vemilo
