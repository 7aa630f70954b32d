#include "wav/file_slot.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "wav/reporter.h"
#include "wav/text_format.h"

namespace vemilo {
namespace {

constexpr uint16_t kIntegerPcm = 1;
constexpr uint16_t kIeeeFloat = 3;

}  // namespace

int formatDuration(double seconds, std::string& text) {
    const int64_t whole = static_cast<int64_t>(std::trunc(seconds));
    const int64_t hours = whole / 3600;
    const int64_t rest = whole - hours * 3600;
    const int64_t minutes = rest / 60;
    const int64_t secs = rest - minutes * 60;
    const double fraction = seconds - static_cast<double>(hours * 3600 + minutes * 60 + secs);

    // The milliseconds are the first three printed decimals, so a fraction that prints as
    // 1.000000 gives 000 and is never carried into the seconds.
    char printed[64];
    std::snprintf(printed, sizeof printed, "%f", fraction);
    int milliseconds = 0;
    if (const char* point = std::strchr(printed, '.')) {
        for (int digit = 1; digit <= 3 && point[digit] >= '0' && point[digit] <= '9'; ++digit) {
            milliseconds = milliseconds * 10 + (point[digit] - '0');
        }
    }
    text = formatText("%lld:%.2lld:%.2lld.%.3d", static_cast<long long>(hours), static_cast<long long>(minutes),
                      static_cast<long long>(secs), milliseconds);
    return 0;
}

std::string slotProblem(const FileSlot& slot) {
    if (slot.problem != WavProblem::None) return describeProblem(slot.problem, slot.systemError);
    if (!isUsable(slot)) return describeProblem(WavProblem::NoFormat, 0);
    return "";
}

LoadOutcome loadFileSlot(FileSlot& slot, int side, const std::string& path, Reporter& reporter) {
    static std::atomic<uint64_t> nextLoadId{0};
    const uint64_t loadId = ++nextLoadId;
    slot.loadId = loadId;

    WavFormatInfo info;
    (void)parseWavHeader(path, info, [&] {
        reporter.processPendingEvents();
        return slot.loadId == loadId && !reporter.stopRequested();
    });
    if (slot.loadId != loadId) return LoadOutcome::Superseded;

    slot.dataOffset = info.dataOffset;
    slot.dataBytes = info.dataBytes;
    slot.blockAlign = info.blockAlign;
    slot.path = path;
    slot.sampleCount = info.blockAlign != 0 ? info.dataBytes / info.blockAlign : 0;
    slot.sampleRate = info.sampleRate;
    slot.bitsPerSample = info.bitsPerSample;
    slot.channels = info.channels;
    slot.formatTag = info.formatTag;
    slot.dataFormat = dataFormatOf(info);
    slot.problem = info.problem;
    slot.systemError = info.systemError;

    reporter.clearInfo(side);
    reporter.appendInfo(side, side == 0 ? "ファイル1" : "ファイル2");
    reporter.appendInfo(side, formatText("%uHz %ubit %s", info.sampleRate, static_cast<unsigned>(info.bitsPerSample),
                                         info.channels == 1 ? "mono" : "stereo"));

    // The playing time is known for integer PCM and IEEE float, plain or extensible, with a
    // usable rate and frame size.
    std::string duration = "-";
    const bool timed = slot.dataFormat == kIntegerPcm || slot.dataFormat == kIeeeFloat;
    if (timed && info.sampleRate != 0 && info.blockAlign != 0) {
        formatDuration(static_cast<double>(slot.sampleCount) / static_cast<double>(info.sampleRate), duration);
    }
    reporter.appendInfo(side, "再生時間 " + duration);
    reporter.appendInfo(side, formatText("サンプル数 %12llu", static_cast<unsigned long long>(slot.sampleCount)));
    return isUsable(slot) && info.problem == WavProblem::None ? LoadOutcome::Usable : LoadOutcome::Unusable;
}

}  // namespace vemilo
