#pragma once
// The working state of one comparison run, shared by its set-up and its frame comparison.

#include <cstddef>
#include <cstdint>
#include <string>

#include "compare/comparison_run.h"
#include "wav/file_slot.h"
#include "wav/wav_reader.h"

namespace vemilo {

class OptionSource;
class Reporter;

// Each file is read this much at a time, whatever its format: large enough that reads cost little,
// small enough to stay in the processor's caches.
inline constexpr size_t kCompareBlockBytes = 2u << 20;

// The first read must hold the second of audio that the match search looks at; formats with more
// than the block per second read more the first time, up to this.
inline constexpr size_t kSearchWindowBudget = 4u << 20;

// One file's frames as the comparison takes them: a buffer of bytes read from the file, of which
// [begin, end) are not compared yet.
struct FrameStream {
    FileSlot slot;  // a copy: a file loaded into the window's slot meanwhile does not affect the run
    WavReader reader;
    uint8_t* buffer = nullptr;
    size_t capacity = 0;       // whole frames
    size_t begin = 0;
    size_t end = 0;
    uint64_t bufferOffset = 0;  // the file offset of buffer[0]
    bool exhausted = false;     // the last read came up short: the file holds nothing more
    uint64_t remaining = 0;     // frames of the data not compared yet

    uint64_t frames() const { return (end - begin) / slot.format.blockAlign; }
    uint64_t offset() const { return bufferOffset + begin; }
    const uint8_t* next() const { return buffer + begin; }
    // Reads the next buffer load from where the reader stands; the bytes left unread are less
    // than a frame, so nothing is lost.
    void refill() {
        bufferOffset = reader.position();
        end = reader.read(buffer, static_cast<uint32_t>(capacity));
        begin = 0;
        exhausted = end < capacity;
    }
    void take(uint64_t frames) {
        begin += static_cast<size_t>(frames * slot.format.blockAlign);
        remaining -= frames;
    }
};

struct RunState {
    FrameStream files[2];
    uint64_t differenceLimit = 0;
};

// Compares both streams from where they stand, logs the detail lines, the end line and the
// verdict lines, and records what it found in the outcome.
void compareFrames(RunState& run, Reporter& reporter, const OptionSource& options, RunOutcome& outcome);

// The detail line of one differing frame.
std::string differenceLine(uint64_t frameNumber, uint64_t offset1, uint64_t offset2, const uint8_t* frame1,
                           const uint8_t* frame2, const SampleFormat& format);

}  // namespace vemilo
