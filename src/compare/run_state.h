#pragma once
// The working state of one comparison run, shared by its set-up and its frame comparison.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "compare/block_pipe.h"
#include "compare/comparison_run.h"
#include "compare/gap_search.h"
#include "compare/pair_measure.h"
#include "wav/file_slot.h"
#include "wav/frame_source.h"

namespace vemilo {

class OptionSource;
class Reporter;

// Each file is read this much at a time, whatever its format: large enough that reads cost little,
// small enough to stay in the processor's caches.
inline constexpr size_t kCompareBlockBytes = 2u << 20;

// The first read must hold the second of audio that the match search looks at; formats with more
// than the block per second read more the first time, up to this.
inline constexpr size_t kSearchWindowBudget = 4u << 20;

// One file's frames as the comparison takes them: a block of frames read from its source, of
// which [begin, end) (in bytes) are not compared yet. A long file is read ahead on a thread of its
// own (the pipe) while the comparison takes what was read before.
struct FrameStream {
    FileSlot slot;  // a copy: a file loaded into the window's slot meanwhile does not affect the run
    std::unique_ptr<FrameSource> source;
    uint8_t* buffer = nullptr;       // the run's storage for this file
    const uint8_t* block = nullptr;  // the frames taken last: in the buffer, or in half of it
    std::unique_ptr<BlockPipe> pipe;
    size_t capacity = 0;  // bytes of the buffer, whole frames
    size_t begin = 0;
    size_t end = 0;
    uint64_t bufferOffset = 0;  // where buffer[0] lies in the file, in bytes
    uint64_t bufferFrame = 0;   // the frame index of buffer[0], from the first frame of the data
    uint64_t nextFrame = 0;     // the frame index the source reads next
    bool exhausted = false;     // the last read came up short: the file holds nothing more
    uint64_t remaining = 0;     // frames of the data not compared yet

    uint16_t frameBytes() const { return slot.format.blockAlign; }
    uint64_t frames() const { return (end - begin) / frameBytes(); }
    uint64_t offset() const { return bufferOffset + begin; }
    uint64_t frameIndex() const { return bufferFrame + begin / frameBytes(); }
    const uint8_t* next() const { return block + begin; }
    void seekFrame(uint64_t frame) {
        pipe.reset();  // the source is the caller's again
        source->seekFrame(frame);
        nextFrame = frame;
    }
    // Reads the next buffer load from where the source stands, here and now.
    void refill() {
        bufferOffset = source->position();
        bufferFrame = nextFrame;
        const uint64_t got = source->readFrames(buffer, capacity / frameBytes());
        taken(buffer, got, got < capacity / frameBytes());
    }
    // The next block, read ahead on the pipe's thread once the file holds enough to be worth it.
    void refillAhead() {
        if (!pipe && BlockPipe::worthIt(remaining, capacity / frameBytes()))
            pipe = std::make_unique<BlockPipe>(*source, buffer, capacity / frameBytes(), frameBytes());
        if (!pipe) return refill();
        const BlockPipe::Block read = pipe->next();
        bufferOffset = read.position;
        bufferFrame = nextFrame;
        taken(read.data ? read.data : buffer, read.frames, read.frames < capacity / frameBytes() / 2);
    }
    // Ends reading ahead: what the source says of itself is then this thread's to ask.
    void stopReadingAhead() { pipe.reset(); }
    void taken(const uint8_t* frames, uint64_t count, bool last) {
        block = frames;
        nextFrame += count;
        end = static_cast<size_t>(count * frameBytes());
        begin = 0;
        exhausted = last;
    }
    void take(uint64_t frames) {
        begin += static_cast<size_t>(frames * frameBytes());
        remaining -= frames;
    }
    // Passes over frames without comparing them (a gap): from the buffer, or by moving the source.
    void skip(uint64_t count) {
        if (count <= frames()) {
            take(count);
            return;
        }
        const uint64_t target = frameIndex() + count;
        remaining -= count;
        begin = end = 0;
        exhausted = false;
        seekFrame(target);
    }
};

struct RunState {
    FrameStream files[2];
    uint64_t differenceLimit = 0;
    GapSearchSettings resync;         // windowFrames 0: no resynchronisation
    std::unique_ptr<GapSearch> gaps;  // opened at the first difference that needs it
    // Measuring: every frame compared goes through it, and the difference limit stops nothing.
    std::unique_ptr<PairMeasurer> measure;
    std::optional<uint32_t> tolerance;
};

// Compares both streams from where they stand, logs the detail lines, the end line and the
// verdict lines, and records what it found in the outcome.
void compareFrames(RunState& run, Reporter& reporter, const OptionSource& options, RunOutcome& outcome);

// The detail line of one differing frame.
std::string differenceLine(uint64_t frameNumber, uint64_t offset1, uint64_t offset2, const uint8_t* frame1,
                           const uint8_t* frame2, const SampleFormat& format);

}  // namespace vemilo
