#pragma once
// The working state of one comparison run, shared by its set-up and its frame comparison.

#include <cstdint>
#include <memory>

#include "wav/file_slot.h"
#include "wav/wav_reader.h"

namespace vemilo {

// The largest block buffer a run allocates; larger formats are refused like a failed allocation.
inline constexpr uint64_t kMaxBlockBufferBytes = 1ull << 30;

// Formats with under this many bytes per block read several blocks' worth at once, so that an
// absurdly low rate cannot turn a large file into millions of tiny reads and yields.
inline constexpr uint64_t kMinBlockBufferBytes = 64 * 1024;

struct RunFile {
    FileSlot slot;  // a copy: a file loaded into the window's slot meanwhile does not affect the run
    WavReader reader;
    std::unique_ptr<uint8_t[]> buffer;
    uint32_t remaining = 0;  // frames not yet compared
};

struct RunState {
    RunFile files[2];
    uint32_t blockBytes = 0;
    uint32_t differenceLimit = 0;
};

struct ComparisonCounts {
    uint32_t differenceCount = 0;
    uint32_t comparedCount = 0;
};

class OptionSource;
class Reporter;

// Compares both files block by block from their current positions, logs the detail lines, the
// end line and the verdict lines, and returns the counts.
ComparisonCounts compareFrames(RunState& run, Reporter& reporter, const OptionSource& options);

// The detail line of one differing frame.
std::string differenceLine(uint32_t frameNumber, uint64_t offset1, uint64_t offset2, const uint8_t* frame1,
                           const uint8_t* frame2, uint16_t bitsPerSample, uint16_t channels, uint16_t blockAlign);

}  // namespace vemilo
