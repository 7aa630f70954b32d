#pragma once
// Counts the silent frames at the start and at the end of a loaded file's audio data.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "wav/file_slot.h"
#include "wav/wav_error.h"

namespace vemilo {

class Reporter;

// The scan reads at most this much at a time, whatever the format: memory stays small and the
// window gets its turn often.
inline constexpr size_t kScanPieceBytes = 2u << 20;

// Formats with under this many bytes per second count their blocks in several seconds, so that an
// absurdly low rate cannot turn a large file into billions of blocks.
inline constexpr uint64_t kMinScanBlockBytes = 4096;

// A buffer that a caller scanning many files in a row lends to each scan.
class ScanBuffer {
public:
    // largestPiece: the most memory a scan may take; pieces shrink to fit it (at least a frame).
    explicit ScanBuffer(size_t largestPiece = kScanPieceBytes) : largestPiece_(largestPiece) {}

    size_t largestPiece() const { return largestPiece_; }
    // At least bytes long; nullptr when that much memory cannot be had.
    uint8_t* reserve(size_t bytes);

private:
    size_t largestPiece_;
    std::unique_ptr<uint8_t[]> data_;
    size_t size_ = 0;
};

// Scans the slot's file, yielding to the reporter after each piece it reads, appends the two count
// lines to the side's pane and stores the counts. The blocks that decide the log lines "readsize
// %d 修正" and "m==0" are one second long, aligned to the end of the data. If the slot is loaded
// again while the scan yields, or the program is ending, the scan stops and leaves slot and pane.
// No error when the counts were stored; OutOfMemory (shown as "buf error" too), CannotOpen or
// Changed; Superseded or Stopped when the scan stopped at a pause.
WavError scanZeroRuns(FileSlot& slot, int side, Reporter& reporter, ScanBuffer* buffer = nullptr);

}  // namespace vemilo
