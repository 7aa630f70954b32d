#pragma once
// Counts the silent frames at the start and at the end of a loaded file's audio data.

#include <cstdint>
#include <vector>

#include "wav/file_slot.h"

namespace vemilo {

class Reporter;

// One silent sample per width, in the order 8, 16, 24 and 32 bits: unsigned 8-bit audio is
// silent at its mid value, every other width at all bits zero.
inline constexpr uint8_t silenceSamples[10] = {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

// The blockAlign bytes of a silent frame, for any channel count and frame size.
std::vector<uint8_t> buildSilenceFrame(uint16_t bitsPerSample, uint16_t blockAlign);

// The largest one-second buffer a scan will allocate; larger formats are refused as "buf error".
inline constexpr uint64_t kMaxScanBufferBytes = 256ull << 20;

// Formats with under this many bytes per second are read several seconds per block, so that an
// absurdly low rate cannot turn a large file into billions of tiny reads.
inline constexpr uint64_t kMinScanBlockBytes = 4096;

// Scans the slot's file in one-second blocks, yielding to the reporter after each, appends the two
// count lines to the side's pane and stores the counts. If the slot is loaded again while the scan
// yields, the scan stops and leaves slot and pane to the newer load.
void scanZeroRuns(FileSlot& slot, int side, Reporter& reporter);

}  // namespace vemilo
