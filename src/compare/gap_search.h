#pragma once
// Resynchronisation: where two files start to differ, whether frames went missing from file 2
// (or were inserted into it), and how many, so that the comparison can go on past the gap.

#include <cstdint>
#include <memory>
#include <optional>

#include "compare/comparison_run.h"
#include "wav/file_slot.h"
#include "wav/frame_source.h"

namespace vemilo {

struct GapSearchSettings {
    uint64_t windowFrames = 0;  // how far either way a gap may reach
    uint32_t matchLength = 0;   // frames that must agree exactly after the gap
};

// Reads both files on descriptors of its own, so that the comparison's streams keep their place.
class GapSearch {
public:
    GapSearch(const FileSlot& file1, const FileSlot& file2, GapSearchSettings settings);

    // The files now differ at frame1 of file 1 and frame2 of file 2 (frame indexes from the start
    // of each file's data), with remaining1 and remaining2 frames left from there. The smallest gap
    // after which at least matchLength frames agree exactly (or both files' ends, when fewer are
    // left) and the frames in place do not already agree; nothing when there is none within the
    // window. Its position is moved back to the earliest at which the data is consistent with it
    // (frames dropped inside silence could have been dropped anywhere in it), but not before
    // earliest1 of file 1.
    std::optional<Gap> find(uint64_t frame1, uint64_t frame2, uint64_t remaining1, uint64_t remaining2,
                            uint64_t earliest1);

    bool usable() const { return sources_[0] && sources_[1]; }
    // Why a side's file could not be opened again (replaced since its header was read, say).
    const WavError& openError(int side) const { return openErrors_[side]; }

private:
    // Frames [first, first + count) of a side into bytes; false when the file holds fewer.
    bool read(int side, uint64_t first, uint64_t count, uint8_t* out);
    bool sameFrames(int side1, uint64_t first1, int side2, uint64_t first2, uint64_t count);
    // The smallest shift (1 to the window) at which pattern's frames [patternFirst, +length)
    // reappear in text from textFirst + shift; nothing when they do not, or only past limit.
    std::optional<uint64_t> smallestShift(int patternSide, uint64_t patternFirst, int textSide, uint64_t textFirst,
                                          uint64_t length, uint64_t limit);

    std::unique_ptr<FrameSource> sources_[2];
    WavError openErrors_[2];
    uint16_t frameBytes_;
    GapSearchSettings settings_;
    std::unique_ptr<uint8_t[]> scratch_[2];
    uint64_t scratchFrames_;
};

}  // namespace vemilo
