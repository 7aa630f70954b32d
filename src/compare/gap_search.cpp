#include "compare/gap_search.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vemilo {
namespace {

// The scratch buffers hold this much of each file at a time, whatever the format.
constexpr uint64_t kScratchBytes = uint64_t{1} << 20;
constexpr uint64_t kRollingBase = 0x100000001B3ull;  // odd: every power is invertible modulo 2^64

uint64_t frameHash(const uint8_t* frame, uint16_t bytes) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a, then a final mix so that nearby frames spread
    for (uint16_t i = 0; i < bytes; ++i) {
        hash ^= frame[i];
        hash *= 1099511628211ull;
    }
    hash ^= hash >> 29;
    hash *= 0xBF58476D1CE4E5B9ull;
    return hash ^ (hash >> 32);
}

}  // namespace

GapSearch::GapSearch(const FileSlot& file1, const FileSlot& file2, GapSearchSettings settings)
    : frameBytes_(file1.format.blockAlign), settings_(settings) {
    const FileSlot* slots[2] = {&file1, &file2};
    for (int side = 0; side < 2; ++side) {
        OpenedSource opened = openFrameSource(*slots[side]);
        sources_[side] = std::move(opened.source);
        openErrors_[side] = opened.error;
    }
    scratchFrames_ = std::max<uint64_t>(1, kScratchBytes / frameBytes_);
    for (auto& scratch : scratch_) scratch = std::make_unique<uint8_t[]>(scratchFrames_ * frameBytes_);
}

bool GapSearch::read(int side, uint64_t first, uint64_t count, uint8_t* out) {
    FrameSource& source = *sources_[side];
    source.seekFrame(first);
    return source.readFrames(out, count) == count;
}

bool GapSearch::sameFrames(int side1, uint64_t first1, int side2, uint64_t first2, uint64_t count) {
    for (uint64_t done = 0; done < count;) {
        const uint64_t piece = std::min(scratchFrames_, count - done);
        if (!read(side1, first1 + done, piece, scratch_[0].get()) ||
            !read(side2, first2 + done, piece, scratch_[1].get()) ||
            std::memcmp(scratch_[0].get(), scratch_[1].get(), piece * frameBytes_) != 0) {
            return false;
        }
        done += piece;
    }
    return true;
}

std::optional<uint64_t> GapSearch::smallestShift(int patternSide, uint64_t patternFirst, int textSide,
                                                 uint64_t textFirst, uint64_t length, uint64_t limit) {
    if (length == 0 || limit == 0) return std::nullopt;
    // The pattern's rolling hash, and the text's over a sliding window of length frames (as rsync
    // finds blocks at any offset): each shift costs one frame's hash, whatever the length.
    uint64_t power = 1;  // kRollingBase^(length - 1)
    for (uint64_t i = 1; i < length; ++i) power *= kRollingBase;
    uint64_t patternHash = 0;
    for (uint64_t done = 0; done < length;) {
        const uint64_t piece = std::min(scratchFrames_, length - done);
        if (!read(patternSide, patternFirst + done, piece, scratch_[0].get())) return std::nullopt;
        for (uint64_t i = 0; i < piece; ++i)
            patternHash = patternHash * kRollingBase + frameHash(scratch_[0].get() + i * frameBytes_, frameBytes_);
        done += piece;
    }
    std::vector<uint64_t> window(length);  // the text's frame hashes in the window, as a ring
    uint64_t windowHash = 0;
    const uint64_t textEnd = limit + length;  // frames [textFirst + 1, textFirst + textEnd) are looked at
    uint64_t position = 1;
    while (position < textEnd) {
        const uint64_t piece = std::min(scratchFrames_, textEnd - position);
        if (!read(textSide, textFirst + position, piece, scratch_[1].get())) return std::nullopt;
        for (uint64_t i = 0; i < piece; ++i, ++position) {
            const uint64_t hash = frameHash(scratch_[1].get() + i * frameBytes_, frameBytes_);
            uint64_t& slot = window[(position - 1) % length];
            if (position > length) windowHash -= slot * power;
            windowHash = windowHash * kRollingBase + hash;
            slot = hash;
            if (position < length) continue;
            const uint64_t shift = position + 1 - length;
            if (windowHash == patternHash &&
                sameFrames(patternSide, patternFirst, textSide, textFirst + shift, length)) {
                return shift;
            }
        }
    }
    return std::nullopt;
}

std::optional<Gap> GapSearch::find(uint64_t frame1, uint64_t frame2, uint64_t remaining1, uint64_t remaining2,
                                   uint64_t earliest1) {
    if (!usable() || remaining1 == 0 || remaining2 == 0) return std::nullopt;
    const uint64_t m = settings_.matchLength;
    // A change in place: the frames after this one agree where they stand.
    const uint64_t after = std::min({m, remaining1 - 1, remaining2 - 1});
    if (after != 0 && sameFrames(0, frame1 + 1, 1, frame2 + 1, after)) return std::nullopt;

    // Frames missing from file 2: file 2's frames from here reappear later in file 1, and the
    // other way round for frames inserted into file 2. Near the end, where fewer than the match
    // length are left, both files must then end together.
    const auto shiftFor = [&](int patternSide, uint64_t patternFirst, uint64_t patternLeft, uint64_t textFirst,
                              uint64_t textLeft, uint64_t limit) -> std::optional<uint64_t> {
        const uint64_t length = std::min<uint64_t>(m, patternLeft);
        if (length < m) {
            if (textLeft <= patternLeft) return std::nullopt;
            const uint64_t shift = textLeft - patternLeft;  // the only one at which both ends meet
            if (shift > limit) return std::nullopt;
            if (sameFrames(patternSide, patternFirst, 1 - patternSide, textFirst + shift, length)) return shift;
            return std::nullopt;
        }
        if (textLeft <= length) return std::nullopt;
        return smallestShift(patternSide, patternFirst, 1 - patternSide, textFirst, length,
                             std::min(limit, textLeft - length));
    };
    const std::optional<uint64_t> missing = shiftFor(1, frame2, remaining2, frame1, remaining1, settings_.windowFrames);
    const uint64_t insertedLimit = missing ? *missing - 1 : settings_.windowFrames;  // the smaller gap wins
    const std::optional<uint64_t> inserted = shiftFor(0, frame1, remaining1, frame2, remaining2, insertedLimit);
    if (!missing && !inserted) return std::nullopt;

    Gap gap;
    gap.kind = inserted ? Gap::Kind::Inserted : Gap::Kind::Missing;
    gap.frames = inserted ? *inserted : *missing;
    // Frames dropped inside a stretch that repeats (silence) could have gone anywhere in it: the
    // gap moves back while the frame before it equals the gap's last frame.
    const int side = gap.kind == Gap::Kind::Missing ? 0 : 1;
    uint64_t start = side == 0 ? frame1 : frame2;
    const uint64_t lowest = side == 0 ? earliest1 : frame2 - std::min(frame2, frame1 - earliest1);
    while (start > lowest) {
        const uint64_t piece = std::min(scratchFrames_, start - lowest);
        if (!read(side, start - piece, piece, scratch_[0].get()) ||
            !read(side, start - piece + gap.frames, piece, scratch_[1].get())) {
            break;
        }
        uint64_t equal = 0;  // frames at the end of the piece that equal their partners a gap later
        while (equal < piece && std::memcmp(scratch_[0].get() + (piece - 1 - equal) * frameBytes_,
                                            scratch_[1].get() + (piece - 1 - equal) * frameBytes_, frameBytes_) == 0) {
            ++equal;
        }
        start -= equal;
        if (equal < piece) break;
    }
    const uint64_t back = (side == 0 ? frame1 : frame2) - start;
    gap.file1Frame = frame1 - back;
    gap.file2Frame = frame2 - back;
    return gap;
}

}  // namespace vemilo
