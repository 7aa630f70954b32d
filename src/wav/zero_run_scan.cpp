#include "wav/zero_run_scan.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "wav/reporter.h"
#include "wav/text_format.h"
#include "wav/wav_reader.h"

namespace vemilo {

std::vector<uint8_t> buildSilenceFrame(uint16_t bitsPerSample, uint16_t blockAlign) {
    return std::vector<uint8_t>(blockAlign, bitsPerSample == 8 ? silenceSamples[0] : silenceSamples[1]);
}

namespace {

struct ScanState {
    const FileSlot file;  // the slot as loaded when the scan began
    FileSlot& slot;
    Reporter& reporter;
    WavReader reader;
    std::unique_ptr<uint8_t[]> buffer;
    uint32_t bufferBytes = 0;
    std::vector<uint8_t> silence;

    bool isSilent(const uint8_t* frame) const { return std::memcmp(frame, silence.data(), silence.size()) == 0; }

    // Lets the window handle what is pending; false when the slot was loaded again meanwhile.
    bool yieldStillCurrent() {
        reporter.processPendingEvents();
        return slot.loadId == file.loadId;
    }
};

enum class PassEnd { Found, NotFound, Abandoned };

PassEnd leadingPass(ScanState& scan, uint64_t blockCount, uint32_t& leadingZeros) {
    const FileSlot& file = scan.file;
    scan.reader.seek(file.dataOffset, SeekOrigin::Begin);
    uint64_t framesBefore = 0;
    for (uint64_t block = 1; block <= blockCount; ++block) {
        const uint32_t got = scan.reader.read(scan.buffer.get(), scan.bufferBytes);
        if (got == 0) return PassEnd::NotFound;
        if (!scan.yieldStillCurrent()) return PassEnd::Abandoned;
        const uint64_t framesInLoad =
            std::min<uint64_t>(got / file.blockAlign, file.sampleCount - std::min<uint64_t>(framesBefore, file.sampleCount));
        for (uint64_t k = 0; k < framesInLoad; ++k) {
            if (!scan.isSilent(scan.buffer.get() + k * file.blockAlign)) {
                leadingZeros = static_cast<uint32_t>(framesBefore + k);
                return PassEnd::Found;
            }
        }
        framesBefore += framesInLoad;
    }
    leadingZeros = file.sampleCount;
    return PassEnd::Found;
}

PassEnd trailingPass(ScanState& scan, uint64_t blockCount, uint32_t& trailingZeros) {
    const FileSlot& file = scan.file;
    const uint64_t dataStart = file.dataOffset;
    const uint64_t dataEnd = dataStart + file.dataBytes;
    // Blocks are aligned to the last whole frame, so that a partial frame at the end of the data
    // cannot shift every frame boundary of the pass.
    const uint64_t wholeFramesEnd = dataStart + static_cast<uint64_t>(file.sampleCount) * file.blockAlign;
    const uint64_t blockSpan = scan.bufferBytes;

    for (uint64_t block = 1; block <= blockCount; ++block) {
        const uint64_t back = blockSpan * block;
        const uint64_t start = back >= wholeFramesEnd - dataStart ? dataStart : wholeFramesEnd - back;
        scan.reader.seek(static_cast<int64_t>(start), SeekOrigin::Begin);
        uint64_t got = scan.reader.read(scan.buffer.get(), scan.bufferBytes);
        if (scan.reader.position() > dataEnd) {
            const uint64_t excess = scan.reader.position() - dataEnd;
            got -= std::min(got, excess);
            scan.reporter.logLine(formatText("readsize %llu 修正", static_cast<unsigned long long>(excess)));
        }
        if (got == 0) {
            scan.reporter.logLine("m==0");
            return PassEnd::NotFound;
        }
        if (!scan.yieldStillCurrent()) return PassEnd::Abandoned;
        const uint64_t wholeFrames = std::min(got, wholeFramesEnd - start) / file.blockAlign;
        const uint64_t firstFrame = (start - dataStart) / file.blockAlign;
        for (uint64_t k = wholeFrames; k-- > 0;) {
            if (!scan.isSilent(scan.buffer.get() + k * file.blockAlign)) {
                trailingZeros = static_cast<uint32_t>(file.sampleCount - 1 - (firstFrame + k));
                return PassEnd::Found;
            }
        }
        if (wholeFrames == 0) return PassEnd::NotFound;
    }
    return PassEnd::NotFound;
}

}  // namespace

void scanZeroRuns(FileSlot& slot, int side, Reporter& reporter) {
    // Counts left from an earlier file must never show for this one.
    slot.leadingZeros = 0;
    slot.trailingZeros = 0;
    slot.trailerBytes = 0;

    ScanState scan{slot, slot, reporter, {}, {}, 0, {}};
    const FileSlot& file = scan.file;

    const uint64_t secondBytes = static_cast<uint64_t>(file.sampleRate) * file.blockAlign;
    const uint64_t secondsPerBlock = secondBytes == 0 || secondBytes >= kMinScanBlockBytes ? 1 : (kMinScanBlockBytes + secondBytes - 1) / secondBytes;
    const uint64_t bufferBytes = secondBytes * secondsPerBlock;
    if (bufferBytes > kMaxScanBufferBytes) {
        reporter.showMessage("buf error");
        return;
    }
    scan.bufferBytes = static_cast<uint32_t>(bufferBytes);
    scan.buffer.reset(new (std::nothrow) uint8_t[std::max<uint64_t>(bufferBytes, 1)]);
    if (!scan.buffer) {
        reporter.showMessage("buf error");
        return;
    }
    if (scan.reader.open(file.path) != 0) {
        reporter.showMessage("open error");
        return;
    }

    uint32_t leadingZeros = 0;
    uint32_t trailingZeros = 0;
    uint64_t trailerBytes = 0;
    // Without a rate or a frame size there are no blocks to read: both counts stay 0.
    const bool scannable = file.sampleRate != 0 && file.blockAlign != 0;
    const uint64_t framesPerBlock = static_cast<uint64_t>(file.sampleRate) * secondsPerBlock;
    const uint64_t blockCount = scannable ? (file.sampleCount + framesPerBlock - 1) / framesPerBlock : 0;
    if (scannable) {
        scan.silence = buildSilenceFrame(file.bitsPerSample, file.blockAlign);
        if (leadingPass(scan, blockCount, leadingZeros) == PassEnd::Abandoned) return;
    }
    reporter.appendInfo(side, formatText("先頭ｾﾞﾛｻﾝﾌﾟﾙ %u", leadingZeros));

    if (scannable && leadingZeros == file.sampleCount) {
        trailingZeros = file.sampleCount;  // silent throughout: every frame is also a trailing one
    } else if (scannable) {
        const uint64_t dataEnd = static_cast<uint64_t>(file.dataOffset) + file.dataBytes;
        trailerBytes = scan.reader.size() > dataEnd ? scan.reader.size() - dataEnd : 0;
        if (trailingPass(scan, blockCount, trailingZeros) == PassEnd::Abandoned) return;
    }
    reporter.appendInfo(side, formatText("末尾ｾﾞﾛｻﾝﾌﾟﾙ %u", trailingZeros));

    slot.leadingZeros = leadingZeros;
    slot.trailingZeros = trailingZeros;
    slot.trailerBytes = trailerBytes;
}

}  // namespace vemilo
