#include "compare/comparison_run.h"

#include <algorithm>
#include <new>
#include <string>

#include "compare/local_time.h"
#include "compare/match_search.h"
#include "compare/option_text.h"
#include "compare/run_state.h"
#include "compare/options.h"
#include "wav/reporter.h"
#include "wav/text_format.h"

namespace vemilo {
namespace {

constexpr uint32_t kBlockSeconds = 15;

void logHeader(const RunState& run, Reporter& reporter) {
    for (int side = 0; side < 2; ++side) {
        const FileSlot& slot = run.files[side].slot;
        reporter.logLine(formatText("ファイル%d:", side + 1) + slot.path);
        reporter.logLine(formatText("サンプル数:%u 先頭ゼロ:%u 末尾ゼロ:%u", slot.sampleCount, slot.leadingZeros, slot.trailingZeros));
    }
}

RunResult checkFormats(const FileSlot& a, const FileSlot& b, Reporter& reporter) {
    if (a.sampleRate != b.sampleRate) {
        reporter.showMessage("サンプリングレートが違います。");
        return RunResult::RateMismatch;
    }
    if (a.blockAlign != b.blockAlign) {
        reporter.showMessage("ブロックサイズが違います。");
        return RunResult::BlockAlignMismatch;
    }
    if (a.channels != b.channels) {
        reporter.showMessage("チャンネルが違います。");
        return RunResult::ChannelMismatch;
    }
    if (a.bitsPerSample != b.bitsPerSample) {
        reporter.showMessage("bit解像度が違います。");
        return RunResult::BitsMismatch;
    }
    return RunResult::Identical;
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

const char* runResultName(RunResult result) {
    switch (result) {
        case RunResult::Identical: return "Identical";
        case RunResult::Different: return "Different";
        case RunResult::RateMismatch: return "RateMismatch";
        case RunResult::BlockAlignMismatch: return "BlockAlignMismatch";
        case RunResult::ChannelMismatch: return "ChannelMismatch";
        case RunResult::BitsMismatch: return "BitsMismatch";
        case RunResult::Buffer1Failed: return "Buffer1Failed";
        case RunResult::Buffer2Failed: return "Buffer2Failed";
        case RunResult::Open1Failed: return "Open1Failed";
        case RunResult::Open2Failed: return "Open2Failed";
        case RunResult::FirstRead1Empty: return "FirstRead1Empty";
        case RunResult::FirstRead2Empty: return "FirstRead2Empty";
    }
    return "?";
}

RunResult ComparisonRun(const FileSlots& fileSlots, Reporter& reporter, const OptionSource& options) {
    RunState run;
    run.files[0].slot = fileSlots[0];
    run.files[1].slot = fileSlots[1];
    RunFile& file1 = run.files[0];
    RunFile& file2 = run.files[1];

    logHeader(run, reporter);
    if (const RunResult mismatch = checkFormats(file1.slot, file2.slot, reporter); mismatch != RunResult::Identical) return mismatch;

    run.differenceLimit = convertOptionText(options.differenceLimitText(), 1, 2000);

    const FileSlot& format = file1.slot;
    const uint64_t standardBlockBytes = static_cast<uint64_t>(format.sampleRate) * format.blockAlign * kBlockSeconds;
    const uint64_t blocksPerRead = standardBlockBytes == 0 || standardBlockBytes >= kMinBlockBufferBytes
                                       ? 1
                                       : (kMinBlockBufferBytes + standardBlockBytes - 1) / standardBlockBytes;
    const uint64_t blockBytes = standardBlockBytes * blocksPerRead;
    if (blockBytes > kMaxBlockBufferBytes) {
        reporter.logLine("buf0 error");
        return RunResult::Buffer1Failed;
    }
    run.blockBytes = static_cast<uint32_t>(blockBytes);
    const size_t allocation = blockBytes == 0 ? 1 : static_cast<size_t>(blockBytes);
    file1.buffer.reset(new (std::nothrow) uint8_t[allocation]);
    if (!file1.buffer) {
        reporter.logLine("buf0 error");
        return RunResult::Buffer1Failed;
    }
    file2.buffer.reset(new (std::nothrow) uint8_t[allocation]);
    if (!file2.buffer) {
        reporter.logLine("buf1 error");
        return RunResult::Buffer2Failed;
    }
    if (file1.reader.open(file1.slot.path) != 0) {
        reporter.logLine("open error(0)");
        return RunResult::Open1Failed;
    }
    if (file2.reader.open(file2.slot.path) != 0) {
        reporter.logLine("open error(1)");
        return RunResult::Open2Failed;
    }

    const bool zeroSkip = options.zeroSkip();
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
        reporter.logLine("0==0");
        return RunResult::FirstRead1Empty;
    }
    if (firstBytes2 == 0) {
        reporter.logLine("1==0");
        return RunResult::FirstRead2Empty;
    }

    reporter.logLine("[debug] " + localTimeText());
    const bool matchPoint = options.matchPoint();
    uint32_t matchLength = 0;
    if (matchPoint) {
        matchLength = convertOptionText(options.matchLengthText(), 1, 32767);
        optionLine += formatText(",一致点検索サンプル数 %u", matchLength);
    }
    reporter.logLine(optionLine);

    MatchResult match;
    if (matchPoint) {
        const MatchWindows windows{file1.buffer.get(), searchWindow(firstBytes1, file1), file2.buffer.get(),
                                   searchWindow(firstBytes2, file2), matchLength, format.blockAlign};
        match = MatchSearch(windows, file1.slot.leadingZeros, file2.slot.leadingZeros, reporter);
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
    reporter.logLine(formatText("[debug]file1 pos %llu", static_cast<unsigned long long>(file1.reader.position())));
    reporter.logLine(formatText("[debug]file2 pos %llu", static_cast<unsigned long long>(file2.reader.position())));

    const ComparisonCounts counts = compareFrames(run, reporter, options);
    reporter.logLine("[debug] " + localTimeText());
    return counts.differenceCount == 0 ? RunResult::Identical : RunResult::Different;
}

}  // namespace vemilo
