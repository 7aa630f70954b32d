#include "wav/zero_run_scan.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "wav/frame_source.h"
#include "wav/reporter.h"
#include "wav/text_format.h"

namespace vemilo {
namespace {

// Long runs of silence are compared against a silent stretch with memcmp, which glibc runs many
// bytes at a time; only the stretch that breaks the run is looked at byte by byte.
constexpr size_t kStretchBytes = size_t{64} * 1024;

const uint8_t* silentStretch(uint8_t value) {
    static const auto zeros = [] {
        auto block = std::make_unique<uint8_t[]>(kStretchBytes);
        std::memset(block.get(), 0x00, kStretchBytes);
        return block;
    }();
    static const auto midValues = [] {
        auto block = std::make_unique<uint8_t[]>(kStretchBytes);
        std::memset(block.get(), 0x80, kStretchBytes);
        return block;
    }();
    return value == 0 ? zeros.get() : midValues.get();
}

// The index of the first byte that is not value, or size.
size_t firstByteNot(const uint8_t* data, size_t size, uint8_t value) {
    const uint8_t* silent = silentStretch(value);
    size_t at = 0;
    while (at < size) {
        const size_t length = std::min(kStretchBytes, size - at);
        if (std::memcmp(data + at, silent, length) != 0) {
            return static_cast<size_t>(
                std::find_if(data + at, data + at + length, [value](uint8_t b) { return b != value; }) - data);
        }
        at += length;
    }
    return size;
}

// The index of the last byte that is not value, or nothing.
std::optional<size_t> lastByteNot(const uint8_t* data, size_t size, uint8_t value) {
    const uint8_t* silent = silentStretch(value);
    size_t end = size;
    while (end > 0) {
        const size_t length = std::min(kStretchBytes, end);
        if (std::memcmp(data + end - length, silent, length) != 0) {
            for (size_t i = end; i-- > end - length;) {
                if (data[i] != value) return i;
            }
        }
        end -= length;
    }
    return std::nullopt;
}

enum class PassEnd { Found, NotFound, Abandoned };

struct Scan {
    const FileSlot file;  // the slot as loaded when the scan began
    FileSlot& slot;
    Reporter& reporter;
    // Frames come through the same source the comparison reads, so a decoded file scans as a WAV one.
    std::unique_ptr<FrameSource> source;
    uint64_t fileSize = 0;
    uint8_t* buffer = nullptr;
    size_t pieceBytes = 0;  // whole frames, at most kScanPieceBytes
    uint8_t silence = 0;
    // What the buffer holds: the bytes of the file at [heldStart, heldStart + heldLength).
    uint64_t heldStart = 0;
    uint64_t heldLength = 0;

    // Lets the window handle what is pending; false when the slot was loaded again meanwhile or
    // the program is ending. Handlers may overwrite the slot here, so the scan reads its own copy.
    bool yieldStillCurrent() {
        reporter.processPendingEvents();
        return slot.loadId == file.loadId && !reporter.stopRequested();
    }

    WavError whyAbandoned() const {
        return {slot.loadId != file.loadId ? WavProblem::Superseded : WavProblem::Stopped, 0,
                source ? source->position() : 0};
    }

    // The file's whole frames in bytes [start, start + length) (start at a frame of the data), read
    // unless the buffer still holds them; the number of bytes available there (fewer at the end).
    uint64_t bytesAt(uint64_t start, uint64_t length, const uint8_t*& data) {
        if (start >= heldStart && start + length <= heldStart + heldLength) {
            data = buffer + (start - heldStart);
            return length;
        }
        const uint16_t frameBytes = file.format.blockAlign;
        source->seekFrame((start - file.dataOffset) / frameBytes);
        heldStart = start;
        heldLength = source->readFrames(buffer, length / frameBytes) * frameBytes;
        data = buffer;
        return heldLength;
    }
};

PassEnd leadingPass(Scan& scan, uint64_t blockCount, uint64_t blockBytes, uint64_t& leadingSilentFrames) {
    const FileSlot& file = scan.file;
    const uint64_t pieceFrames = scan.pieceBytes / file.format.blockAlign;
    uint64_t examined = 0;
    while (examined < file.frameCount) {
        const uint64_t wanted = std::min(pieceFrames, file.frameCount - examined) * file.format.blockAlign;
        const uint8_t* data = nullptr;
        const uint64_t got = scan.bytesAt(file.dataOffset + examined * file.format.blockAlign, wanted, data);
        if (got == 0) break;
        if (!scan.yieldStillCurrent()) return PassEnd::Abandoned;
        const uint64_t frames = got / file.format.blockAlign;
        const uint64_t firstLoud =
            firstByteNot(data, frames * file.format.blockAlign, scan.silence) / file.format.blockAlign;
        if (firstLoud < frames) {
            leadingSilentFrames = examined + firstLoud;
            return PassEnd::Found;
        }
        examined += frames;
        if (got < wanted) break;
    }
    if (examined < file.frameCount) {
        // The file ends before its declared data does. Read a block at a time, the pass found
        // nothing when a whole block had nothing to read, and counted every frame otherwise.
        const uint64_t available = scan.fileSize > file.dataOffset ? scan.fileSize - file.dataOffset : 0;
        if (blockCount == 0 || available <= (blockCount - 1) * blockBytes) return PassEnd::NotFound;
    }
    leadingSilentFrames = file.frameCount;
    return PassEnd::Found;
}

PassEnd trailingPass(Scan& scan, uint64_t blockCount, uint64_t blockBytes, uint64_t& trailingSilentFrames) {
    const FileSlot& file = scan.file;
    const uint64_t dataStart = file.dataOffset;
    const uint64_t dataEnd = dataStart + file.dataBytes;
    // Blocks are aligned to the last whole frame, so that a partial frame at the end of the data
    // cannot shift every frame boundary of the pass.
    const uint64_t wholeFramesEnd = dataStart + file.frameCount * file.format.blockAlign;
    const uint64_t fileSize = scan.fileSize;

    for (uint64_t block = 1; block <= blockCount; ++block) {
        const uint64_t back = blockBytes * block;
        const uint64_t start = back >= wholeFramesEnd - dataStart ? dataStart : wholeFramesEnd - back;
        // What one block's read gives: up to a second of bytes, fewer at the end of the file.
        uint64_t got = start < fileSize ? std::min(blockBytes, fileSize - start) : 0;
        if (start + got > dataEnd) {
            const uint64_t excess = start + got - dataEnd;
            got -= std::min(got, excess);
            logFormatted(scan.reporter, "readsize %llu 修正", static_cast<unsigned long long>(excess));
        }
        if (got == 0) {
            scan.reporter.logLine("m==0");
            return PassEnd::NotFound;
        }
        const uint64_t rangeEnd =
            start + std::min(got, wholeFramesEnd - start) / file.format.blockAlign * file.format.blockAlign;
        if (rangeEnd == start) return PassEnd::NotFound;
        // The block's frames from the last backwards, a piece at a time.
        for (uint64_t pieceEnd = rangeEnd; pieceEnd > start;) {
            const uint64_t pieceStart = pieceEnd - std::min<uint64_t>(scan.pieceBytes, pieceEnd - start);
            const uint8_t* data = nullptr;
            if (scan.bytesAt(pieceStart, pieceEnd - pieceStart, data) != pieceEnd - pieceStart) {
                scan.reporter.logLine("m==0");  // the file shrank since it was measured
                return PassEnd::NotFound;
            }
            if (!scan.yieldStillCurrent()) return PassEnd::Abandoned;
            if (const auto loud = lastByteNot(data, pieceEnd - pieceStart, scan.silence)) {
                const uint64_t frame = (pieceStart - dataStart + *loud) / file.format.blockAlign;
                trailingSilentFrames = file.frameCount - 1 - frame;
                return PassEnd::Found;
            }
            pieceEnd = pieceStart;
        }
    }
    return PassEnd::NotFound;
}

}  // namespace

uint8_t* ScanBuffer::reserve(size_t bytes) {
    if (bytes > size_) {
        data_.reset(new (std::nothrow) uint8_t[bytes]);
        size_ = data_ ? bytes : 0;
    }
    return data_.get();
}

WavError scanZeroRuns(FileSlot& slot, int side, Reporter& reporter, ScanBuffer* lentBuffer) {
    // Counts left from an earlier file must never show for this one.
    slot.leadingSilentFrames = 0;
    slot.trailingSilentFrames = 0;
    slot.trailerBytes = 0;

    Scan scan{slot, slot, reporter, {}};
    const FileSlot& file = scan.file;
    const bool scannable = file.format.usable();

    ScanBuffer ownBuffer;
    ScanBuffer& buffer = lentBuffer ? *lentBuffer : ownBuffer;
    const size_t piece = std::min(kScanPieceBytes, buffer.largestPiece());
    scan.pieceBytes =
        scannable ? std::max<size_t>(piece / file.format.blockAlign * file.format.blockAlign, file.format.blockAlign)
                  : 1;
    scan.buffer = buffer.reserve(scan.pieceBytes);
    if (!scan.buffer) {
        // A message box runs the event loop: the scan touches nothing of the slot after it.
        reporter.showMessage("buf error");
        return {WavProblem::OutOfMemory, 0, 0};
    }
    // The caller names a file that cannot be opened, with the reason. Counts of another file than
    // the one whose header the slot holds would be wrong counts: that is Changed.
    OpenedSource opened = openFrameSource(file);
    if (opened.error) return opened.error;
    scan.source = std::move(opened.source);
    scan.fileSize = scan.source->fileBytes();

    uint64_t leadingSilentFrames = 0;
    uint64_t trailingSilentFrames = 0;
    uint64_t trailerBytes = 0;
    // Without a rate or a frame size there are no blocks to read: both counts stay 0.
    const uint64_t secondBytes = static_cast<uint64_t>(file.format.sampleRate) * file.format.blockAlign;
    const uint64_t secondsPerBlock = secondBytes >= kMinScanBlockBytes
                                         ? 1
                                         : (kMinScanBlockBytes + secondBytes - 1) / std::max<uint64_t>(secondBytes, 1);
    const uint64_t blockBytes = secondBytes * secondsPerBlock;
    const uint64_t framesPerBlock = static_cast<uint64_t>(file.format.sampleRate) * secondsPerBlock;
    const uint64_t blockCount = scannable ? (file.frameCount + framesPerBlock - 1) / framesPerBlock : 0;
    if (scannable) {
        scan.silence = file.format.silentByte();
        if (leadingPass(scan, blockCount, blockBytes, leadingSilentFrames) == PassEnd::Abandoned)
            return scan.whyAbandoned();
    }
    if (reporter.keepsText())
        reporter.appendInfo(side,
                            formatText("先頭ｾﾞﾛｻﾝﾌﾟﾙ %llu", static_cast<unsigned long long>(leadingSilentFrames)));

    if (scannable && leadingSilentFrames == file.frameCount) {
        trailingSilentFrames = file.frameCount;  // silent throughout: every frame is also a trailing one
    } else if (scannable) {
        const uint64_t dataEnd = file.dataOffset + file.dataBytes;
        trailerBytes = scan.fileSize > dataEnd ? scan.fileSize - dataEnd : 0;
        if (trailingPass(scan, blockCount, blockBytes, trailingSilentFrames) == PassEnd::Abandoned)
            return scan.whyAbandoned();
    }
    if (reporter.keepsText())
        reporter.appendInfo(side,
                            formatText("末尾ｾﾞﾛｻﾝﾌﾟﾙ %llu", static_cast<unsigned long long>(trailingSilentFrames)));

    slot.leadingSilentFrames = leadingSilentFrames;
    slot.trailingSilentFrames = trailingSilentFrames;
    slot.trailerBytes = trailerBytes;
    return {};
}

}  // namespace vemilo
