#include "wav/file_slot.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "wav/reporter.h"
#include "wav/text_format.h"

namespace vemilo {
namespace {}  // namespace

std::string formatDuration(double seconds) {
    // A time past what 64-bit seconds hold is no time a file plays for.
    if (!(seconds >= 0) || seconds >= 9.0e18) return "-";
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
    return formatText("%lld:%.2lld:%.2lld.%.3d", static_cast<long long>(hours), static_cast<long long>(minutes),
                      static_cast<long long>(secs), milliseconds);
}

std::string formatPlayingTime(uint64_t frames, uint32_t sampleRate) {
    if (sampleRate == 0) return "-";
    // Whole seconds in integers, so that no count of frames overflows; the rest as the pane always
    // showed it.
    const uint64_t seconds = frames / sampleRate;
    const double fraction = static_cast<double>(frames % sampleRate) / static_cast<double>(sampleRate);
    const std::string rest = formatDuration(fraction);  // "0:00:00.mmm"
    return formatText("%llu:%.2llu:%.2llu%s", static_cast<unsigned long long>(seconds / 3600),
                      static_cast<unsigned long long>(seconds / 60 % 60), static_cast<unsigned long long>(seconds % 60),
                      rest.substr(rest.find('.')).c_str());
}

std::string channelsText(uint16_t channels) {
    if (channels == 1) return "mono";
    if (channels == 2) return "stereo";
    return formatText("%uch", static_cast<unsigned>(channels));
}

WavError slotError(const FileSlot& slot) {
    if (slot.loadError) return slot.loadError;
    if (!slot.format.usable()) return {WavProblem::NoFormat, 0, 0};
    return {};
}

WavError loadFileSlot(FileSlot& slot, int side, const std::string& path, Reporter& reporter) {
    static std::atomic<uint64_t> nextLoadId{0};
    const uint64_t loadId = ++nextLoadId;
    slot.loadId = loadId;

    WavFormatInfo info;
    const WavError walkResult = parseWavHeader(path, info, [&] {
        // Handlers may choose another file for this side meanwhile: only the load id tells.
        reporter.processPendingEvents();
        return slot.loadId == loadId && !reporter.stopRequested();
    });
    if (slot.loadId != loadId) return {WavProblem::Superseded, 0, 0};

    slot.dataOffset = info.dataOffset;
    slot.dataBytes = info.dataBytes;
    const uint64_t dataEnd = info.dataOffset + info.dataBytes;
    slot.missingDataBytes = walkResult || dataEnd <= info.identity.size ? 0 : dataEnd - info.identity.size;
    slot.identity = info.identity;
    slot.format = info.format;
    slot.path = path;
    slot.frameCount = info.format.blockAlign != 0 ? info.dataBytes / info.format.blockAlign : 0;
    // Wave64 holds its audio as a WAV file does: read as it lies, named for what it is.
    slot.container = info.container == WavContainer::W64 ? Container::W64 : Container::Wav;
    slot.decoded = {};
    WavError walkError = walkResult;
    if (walkError.problem == WavProblem::NotWave) {
        // Not RIFF: perhaps a copy in another container, which libsndfile decodes.
        DecodedInfo decoded;
        walkError = probeDecodedFile(path, decoded);
        if (walkError.problem != WavProblem::NotWave) {
            slot.container = decoded.container;
            slot.decoded = decoded;
            slot.identity = decoded.identity;
            slot.format = walkError ? SampleFormat{} : decoded.format;
            slot.frameCount = walkError ? 0 : decoded.frameCount;
            slot.missingDataBytes = walkError ? 0 : decoded.missingBytes;
            slot.dataOffset = 0;
            slot.dataBytes = slot.frameCount * slot.format.blockAlign;
        }
    }
    slot.loadError = walkError;
    if (!reporter.keepsText()) return walkError;

    reporter.clearInfo(side);
    reporter.appendInfo(side, side == 0 ? "ファイル1" : "ファイル2");
    if (walkError) {
        // Not "0Hz 0bit" for a file that could not be read: say that, and why.
        reporter.appendInfo(side, "読めません:");
        reporter.appendInfo(side, japaneseReason(walkError));
        return walkError;
    }
    const SampleFormat& format = slot.format;
    std::string formatLine = formatText("%uHz %ubit %s", format.sampleRate, static_cast<unsigned>(format.bitsPerSample),
                                        channelsText(format.channels).c_str());
    if (slot.container != Container::Wav) formatLine += std::string(" ") + containerName(slot.container);
    reporter.appendInfo(side, formatLine);

    std::string duration = "-";
    if (format.hasPlayingTime()) duration = formatPlayingTime(slot.frameCount, format.sampleRate);
    reporter.appendInfo(side, "再生時間 " + duration);
    // A FLAC stream written to a pipe could not say how long it was: its count is what decoded.
    reporter.appendInfo(side, formatText("サンプル数 %12llu%s", static_cast<unsigned long long>(slot.frameCount),
                                         slot.decoded.frameCountDecoded ? " (ヘッダーでは不明)" : ""));
    return walkError;
}

}  // namespace vemilo
