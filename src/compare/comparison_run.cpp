#include "compare/comparison_run.h"

#include <algorithm>
#include <new>
#include <string>

#include "compare/local_time.h"
#include "compare/match_search.h"
#include "compare/option_text.h"
#include "compare/run_state.h"
#include "wav/host.h"
#include "wav/text_format.h"

namespace vemilo {
namespace {

constexpr uint32_t kBlockSeconds = 15;

void logHeader(const RunState& run, Host& host) {
    for (int side = 0; side < 2; ++side) {
        const FileSlot& slot = run.files[side].slot;
        host.LogLine(formatText("ファイル%d:", side + 1) + slot.path);
        host.LogLine(formatText("サンプル数:%u 先頭ゼロ:%u 末尾ゼロ:%u", slot.sampleCount, slot.leadingZeros, slot.trailingZeros));
    }
}

RunResult checkFormats(const FileSlot& a, const FileSlot& b, Host& host) {
    if (a.sampleRate != b.sampleRate) {
        host.showMessage("サンプリングレートが違います。");
        return RateMismatch;
    }
    if (a.blockAlign != b.blockAlign) {
        host.showMessage("ブロックサイズが違います。");
        return BlockAlignMismatch;
    }
    if (a.channels != b.channels) {
        host.showMessage("チャンネルが違います。");
        return ChannelMismatch;
    }
    if (a.bitsPerSample != b.bitsPerSample) {
        host.showMessage("bit解像度が違います。");
        return BitsMismatch;
    }
    return Identical;
}

uint64_t frameBytes(uint32_t frames, uint16_t blockAlign) { return static_cast<uint64_t>(frames) * blockAlign; }

// Positions a file at its first compared frame: past its leading zeros with zero skip.
void seekToComparedStream(RunFile& file, bool zeroSkip) {
    file.reader.seek(file.slot.dataOffset, SeekOrigin::Begin);
    if (zeroSkip) file.reader.seek(static_cast<int64_t>(frameBytes(file.slot.leadingZeros, file.slot.blockAlign)), SeekOrigin::Current);
}

uint32_t searchWindow(uint32_t bytesRead, const RunFile& file) {
    uint32_t frames = bytesRead / file.slot.blockAlign;
    if (frames > file.slot.sampleRate) frames = file.slot.sampleRate;
    if (frames > file.remaining) frames = file.remaining;  // bytes after the data never take part
    return frames;
}

}  // namespace

RunResult ComparisonRun(const FileSlots& fileSlots, Host& host) {
    RunState run;
    run.files[0].slot = fileSlots[0];
    run.files[1].slot = fileSlots[1];
    RunFile& file1 = run.files[0];
    RunFile& file2 = run.files[1];

    logHeader(run, host);
    if (const RunResult mismatch = checkFormats(file1.slot, file2.slot, host); mismatch != Identical) return mismatch;

    run.differenceLimit = convertOptionText(host.differenceLimitText(), 1, 2000);

    const FileSlot& format = file1.slot;
    const uint64_t standardBlockBytes = static_cast<uint64_t>(format.sampleRate) * format.blockAlign * kBlockSeconds;
    const uint64_t blocksPerRead = standardBlockBytes == 0 || standardBlockBytes >= kMinBlockBufferBytes
                                       ? 1
                                       : (kMinBlockBufferBytes + standardBlockBytes - 1) / standardBlockBytes;
    const uint64_t blockBytes = standardBlockBytes * blocksPerRead;
    if (blockBytes > kMaxBlockBufferBytes) {
        host.LogLine("buf0 error");
        return Buffer1Failed;
    }
    run.blockBytes = static_cast<uint32_t>(blockBytes);
    const size_t allocation = blockBytes == 0 ? 1 : static_cast<size_t>(blockBytes);
    file1.buffer.reset(new (std::nothrow) uint8_t[allocation]);
    if (!file1.buffer) {
        host.LogLine("buf0 error");
        return Buffer1Failed;
    }
    file2.buffer.reset(new (std::nothrow) uint8_t[allocation]);
    if (!file2.buffer) {
        host.LogLine("buf1 error");
        return Buffer2Failed;
    }
    if (file1.reader.open(file1.slot.path) != 0) {
        host.LogLine("open error(0)");
        return Open1Failed;
    }
    if (file2.reader.open(file2.slot.path) != 0) {
        host.LogLine("open error(1)");
        return Open2Failed;
    }

    const bool zeroSkip = host.zeroSkip();
    std::string optionLine;
    for (RunFile* file : {&file1, &file2}) {
        file->remaining = file->slot.sampleCount;
        if (zeroSkip) file->remaining -= std::min(file->slot.leadingZeros, file->remaining);
        seekToComparedStream(*file, zeroSkip);
    }
    if (zeroSkip) optionLine = "ゼロスキップ ○";

    // Zero bytes read also covers a format without rate or frame size (blockBytes 0).
    const uint32_t firstBytes1 = file1.reader.read(file1.buffer.get(), run.blockBytes);
    const uint32_t firstBytes2 = file2.reader.read(file2.buffer.get(), run.blockBytes);
    if (firstBytes1 == 0) {
        host.LogLine("0==0");
        return FirstRead1Empty;
    }
    if (firstBytes2 == 0) {
        host.LogLine("1==0");
        return FirstRead2Empty;
    }

    host.LogLine("[debug] " + localTimeText());
    const bool matchPoint = host.matchPoint();
    uint32_t matchLength = 0;
    if (matchPoint) {
        matchLength = convertOptionText(host.matchLengthText(), 1, 32767);
        optionLine += formatText(",一致点検索サンプル数 %u", matchLength);
    }
    host.LogLine(optionLine);

    MatchResult match;
    if (matchPoint) {
        const MatchWindows windows{file1.buffer.get(), searchWindow(firstBytes1, file1), file2.buffer.get(),
                                   searchWindow(firstBytes2, file2), matchLength, format.blockAlign};
        match = MatchSearch(windows, file1.slot.leadingZeros, file2.slot.leadingZeros, host);
    }

    const uint32_t shifts[2] = {match.shift1, match.shift2};
    for (int side = 0; side < 2; ++side) {
        RunFile& file = run.files[side];
        seekToComparedStream(file, zeroSkip);
        if (shifts[side] != 0) {
            file.reader.seek(static_cast<int64_t>(frameBytes(shifts[side], format.blockAlign)), SeekOrigin::Current);
        }
        file.remaining -= std::min(shifts[side], file.remaining);
    }
    host.LogLine(formatText("[debug]file1 pos %llu", static_cast<unsigned long long>(file1.reader.filePosition)));
    host.LogLine(formatText("[debug]file2 pos %llu", static_cast<unsigned long long>(file2.reader.filePosition)));

    const ComparisonCounts counts = compareFrames(run, host);
    host.LogLine("[debug] " + localTimeText());
    return counts.differenceCount == 0 ? Identical : Different;
}

}  // namespace vemilo
