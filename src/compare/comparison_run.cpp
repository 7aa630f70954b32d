#include "compare/comparison_run.h"

#include <algorithm>
#include <new>
#include <string>

#include "compare/local_time.h"
#include "compare/match_search.h"
#include "compare/option_text.h"
#include "compare/options.h"
#include "compare/run_state.h"
#include "wav/reporter.h"
#include "wav/text_format.h"

namespace vemilo {
namespace {

void logHeader(const RunState& run, Reporter& reporter) {
    if (!reporter.keepsText()) return;
    for (int side = 0; side < 2; ++side) {
        const FileSlot& slot = run.files[side].slot;
        reporter.logLine(formatText("ファイル%d:", side + 1) + escapeControlCharacters(slot.path));
        logFormatted(reporter, "サンプル数:%llu 先頭ゼロ:%llu 末尾ゼロ:%llu",
                     static_cast<unsigned long long>(slot.frameCount),
                     static_cast<unsigned long long>(slot.leadingSilentFrames),
                     static_cast<unsigned long long>(slot.trailingSilentFrames));
        // A decoded copy says what it was decoded from.
        if (slot.container != Container::Wav && slot.format.usable()) {
            const SampleFormat& format = slot.format;
            logFormatted(reporter, "形式:%s %uHz %ubit %s %s", containerName(slot.container), format.sampleRate,
                         static_cast<unsigned>(format.bitsPerSample), encodingName(format).c_str(),
                         channelsText(format.channels).c_str());
        }
    }
}

// The first property in which the two files differ, with its message; Identical when none does.
std::pair<RunResult, const char*> formatMismatch(const SampleFormat& a, const SampleFormat& b) {
    if (a.sampleRate != b.sampleRate) return {RunResult::RateMismatch, "サンプリングレートが違います。"};
    if (a.blockAlign != b.blockAlign) return {RunResult::BlockAlignMismatch, "ブロックサイズが違います。"};
    if (a.channels != b.channels) return {RunResult::ChannelMismatch, "チャンネルが違います。"};
    if (a.bitsPerSample != b.bitsPerSample) return {RunResult::BitsMismatch, "bit解像度が違います。"};
    // The same bytes mean other sounds as integers and as floats.
    if (a.code != b.code) return {RunResult::DataFormatMismatch, "データ形式が違います。"};
    return {RunResult::Identical, nullptr};
}

// The block size for a format: the usual block, or the second the match search needs if that is
// larger, in whole frames and within the memory the caller allows.
size_t blockCapacity(const SampleFormat& format, size_t largestBuffer) {
    const uint64_t second = static_cast<uint64_t>(format.sampleRate) * format.blockAlign;
    const uint64_t wanted = std::min<uint64_t>(
        std::max<uint64_t>(kCompareBlockBytes, std::min<uint64_t>(second, kSearchWindowBudget)), largestBuffer);
    return static_cast<size_t>(std::max<uint64_t>(wanted / format.blockAlign, 1) * format.blockAlign);
}

uint32_t searchWindow(const FrameStream& file) {
    return static_cast<uint32_t>(std::min<uint64_t>({file.frames(), file.slot.format.sampleRate, file.remaining}));
}

RunOutcome endEarly(RunResult result, const std::string& message) {
    RunOutcome outcome;
    outcome.result = result;
    outcome.message = message;
    return outcome;
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
        case RunResult::Unreadable1: return "Unreadable1";
        case RunResult::Unreadable2: return "Unreadable2";
        case RunResult::DataFormatMismatch: return "DataFormatMismatch";
        case RunResult::OptionNotNumber: return "OptionNotNumber";
        case RunResult::Changed1: return "Changed1";
        case RunResult::Changed2: return "Changed2";
    }
    return "?";
}

Verdict verdictOf(const RunOutcome& outcome) {
    if (endedEarly(outcome.result) || !outcome.damage.empty()) return Verdict::Trouble;
    switch (outcome.end) {
        case ComparisonEnd::NotStarted:
        case ComparisonEnd::ReadError1:
        case ComparisonEnd::ReadError2:
        case ComparisonEnd::Stopped: return Verdict::Trouble;
        case ComparisonEnd::File1Ended:
        case ComparisonEnd::File2Ended:
        case ComparisonEnd::LimitExceeded: return Verdict::Different;
        case ComparisonEnd::BothEnded: break;
    }
    if (outcome.differences == 0 && outcome.gaps.empty()) return Verdict::Identical;
    const bool within = outcome.tolerance && outcome.measure && outcome.measure->integerPcm && outcome.gaps.empty() &&
                        outcome.measure->largest <= *outcome.tolerance;
    return within ? Verdict::WithinTolerance : Verdict::Different;
}

std::string gapLine(const Gap& gap) {
    const bool missing = gap.kind == Gap::Kind::Missing;
    const uint64_t first = (missing ? gap.file1Frame : gap.file2Frame) + 1;
    const uint64_t last = first + gap.frames - 1;
    const std::string where = gap.frames == 1 ? formatText("%llu", static_cast<unsigned long long>(first))
                                              : formatText("%llu〜%llu", static_cast<unsigned long long>(first),
                                                           static_cast<unsigned long long>(last));
    return formatText("ファイル2: %lluサンプル%s (ファイル%dの%s)", static_cast<unsigned long long>(gap.frames),
                      missing ? "欠落" : "挿入", missing ? 1 : 2, where.c_str());
}

uint8_t* ComparisonBuffers::reserve(int side, size_t bytes) {
    if (bytes > sizes_[side]) {
        if (bytes > largestBuffer_) return nullptr;
        buffers_[side].reset(new (std::nothrow) uint8_t[bytes]);
        sizes_[side] = buffers_[side] ? bytes : 0;
    }
    return buffers_[side].get();
}

RunOutcome runComparison(const FileSlots& fileSlots, Reporter& reporter, const OptionSource& options,
                         ComparisonBuffers* lentBuffers, ResidueSink* residue) {
    RunState run;
    FrameStream& file1 = run.files[0];
    FrameStream& file2 = run.files[1];
    file1.slot = fileSlots[0];
    file2.slot = fileSlots[1];

    logHeader(run, reporter);
    // A file that cannot be read is named, with the reason, not taken for a rate that differs.
    for (int side = 0; side < 2; ++side) {
        const FileSlot& slot = run.files[side].slot;
        if (slot.format.usable()) continue;
        const std::string message = cannotReadMessage(side, slot.path, slotError(slot));
        reporter.logLine(message);
        // A message box runs the event loop: the run works on its copies of the slots.
        reporter.showMessage(message);
        return endEarly(side == 0 ? RunResult::Unreadable1 : RunResult::Unreadable2, message);
    }
    if (const auto [mismatch, message] = formatMismatch(file1.slot.format, file2.slot.format);
        mismatch != RunResult::Identical) {
        // A message box runs the event loop: the run works on its copies of the slots.
        reporter.showMessage(message);
        return endEarly(mismatch, message);
    }

    const std::string limitText = options.differenceLimitText();
    const std::optional<uint32_t> differenceLimit = convertOptionText(limitText, 1, 2000);
    if (!differenceLimit) return endEarly(RunResult::OptionNotNumber, notAWholeNumberMessage(limitText));
    run.differenceLimit = *differenceLimit;
    if (const uint32_t seconds = options.resyncWindowSeconds(); seconds != 0) {
        const std::string lengthText = options.matchLengthText();
        const std::optional<uint32_t> length = convertOptionText(lengthText, 1, 32767);
        if (!length) return endEarly(RunResult::OptionNotNumber, notAWholeNumberMessage(lengthText));
        run.resync = {uint64_t{seconds} * file1.slot.format.sampleRate, *length};
    }

    run.tolerance = options.toleranceLsb();
    if ((options.measure() || run.tolerance || residue) && PairMeasurer::measurable(file1.slot.format))
        run.measure = std::make_unique<PairMeasurer>(file1.slot.format, residue);

    ComparisonBuffers ownBuffers;
    ComparisonBuffers& buffers = lentBuffers ? *lentBuffers : ownBuffers;
    const SampleFormat& format = file1.slot.format;
    const size_t capacity = blockCapacity(format, buffers.largestBuffer());
    for (int side = 0; side < 2; ++side) {
        FrameStream& file = run.files[side];
        file.capacity = capacity;
        file.buffer = buffers.reserve(side, capacity);
        if (!file.buffer) {
            const char* line = side == 0 ? "buf0 error" : "buf1 error";
            reporter.logLine(line);
            return endEarly(side == 0 ? RunResult::Buffer1Failed : RunResult::Buffer2Failed, line);
        }
    }
    for (int side = 0; side < 2; ++side) {
        FrameStream& file = run.files[side];
        OpenedSource opened = openFrameSource(file.slot);
        if (opened.error.problem == WavProblem::Changed) {
            const std::string line = formatText("ファイル%dは読み込んだ後に変更されました。", side + 1);
            reporter.logLine(line);
            return endEarly(side == 0 ? RunResult::Changed1 : RunResult::Changed2, line);
        }
        if (opened.error) {
            // Chosen once, gone or locked since: named, with the reason.
            const std::string message = cannotReadMessage(side, file.slot.path, opened.error);
            reporter.logLine(message);
            reporter.showMessage(message);
            return endEarly(side == 0 ? RunResult::Open1Failed : RunResult::Open2Failed, message);
        }
        file.source = std::move(opened.source);
    }

    // Each file stands at its data, past its leading silent frames with zero skip. Two files silent
    // throughout have no leading silence to skip: they compare like any other pair, so that their
    // lengths still count.
    const bool zeroSkip = options.zeroSkip();
    const auto silentThroughout = [](const FileSlot& slot) { return slot.leadingSilentFrames >= slot.frameCount; };
    const bool skipSilence = zeroSkip && !(silentThroughout(file1.slot) && silentThroughout(file2.slot));
    for (FrameStream* file : {&file1, &file2}) {
        file->remaining = file->slot.frameCount;
        const uint64_t skipped = skipSilence ? std::min(file->slot.leadingSilentFrames, file->remaining) : 0;
        file->remaining -= skipped;
        file->seekFrame(skipped);
    }
    std::string optionLine = zeroSkip ? "ゼロスキップ ○" : "";

    // The first loads serve the match search and then the comparison itself.
    file1.refill();
    file2.refill();
    if (file1.end == 0) {
        reporter.logLine("0==0");
        return endEarly(RunResult::FirstRead1Empty, "0==0");
    }
    if (file2.end == 0) {
        reporter.logLine("1==0");
        return endEarly(RunResult::FirstRead2Empty, "1==0");
    }

    if (reporter.keepsText()) reporter.logLine("[debug] " + localTimeText());
    const bool matchPoint = options.matchPoint();
    uint32_t matchLength = 0;
    if (matchPoint) {
        const std::string lengthText = options.matchLengthText();
        const std::optional<uint32_t> length = convertOptionText(lengthText, 1, 32767);
        if (!length) return endEarly(RunResult::OptionNotNumber, notAWholeNumberMessage(lengthText));
        matchLength = *length;
        optionLine += formatText(",一致点検索サンプル数 %u", matchLength);
    }
    reporter.logLine(optionLine);

    MatchResult match;
    if (matchPoint) {
        const MatchWindows windows{file1.next(),        searchWindow(file1), file2.next(),
                                   searchWindow(file2), matchLength,         format.blockAlign};
        match = searchMatchPoint(windows, file1.slot.leadingSilentFrames, file2.slot.leadingSilentFrames, reporter);
    }

    RunOutcome outcome;
    const uint32_t shifts[2] = {match.shift1, match.shift2};
    for (int side = 0; side < 2; ++side) {
        FrameStream& file = run.files[side];
        const uint64_t shift = std::min<uint64_t>(shifts[side], file.remaining);
        outcome.skipped[side] = file.slot.frameCount - file.remaining + shift;
        file.take(shift);
    }
    logFormatted(reporter, "[debug]file1 pos %llu", static_cast<unsigned long long>(file1.offset()));
    logFormatted(reporter, "[debug]file2 pos %llu", static_cast<unsigned long long>(file2.offset()));

    compareFrames(run, reporter, options, outcome);
    if (reporter.keepsText()) reporter.logLine("[debug] " + localTimeText());
    outcome.result = outcome.differences == 0 ? RunResult::Identical : RunResult::Different;
    return outcome;
}

}  // namespace vemilo
