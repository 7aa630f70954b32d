#include "wav/file_slot.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "wav/reporter.h"
#include "wav/text_format.h"
#include "wav/wav_header.h"

namespace vemilo {

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

bool loadFileSlot(FileSlot& slot, int side, const std::string& path, Reporter& reporter) {
    static uint64_t nextLoadId = 0;

    WavFormatInfo info;
    const int walk = parseWavHeader(path, info);

    slot.dataOffset = info.dataOffset;
    slot.dataBytes = info.dataBytes;
    slot.blockAlign = info.blockAlign;
    slot.path = path;
    slot.sampleCount = info.blockAlign != 0 ? info.dataBytes / info.blockAlign : 0;
    slot.sampleRate = info.sampleRate;
    slot.bitsPerSample = info.bitsPerSample;
    slot.channels = info.channels;
    slot.loadId = ++nextLoadId;

    reporter.clearInfo(side);
    reporter.appendInfo(side, side == 0 ? "ファイル1" : "ファイル2");
    reporter.appendInfo(side, formatText("%uHz %ubit %s", info.sampleRate, static_cast<unsigned>(info.bitsPerSample),
                                     info.channels == 1 ? "mono" : "stereo"));

    // The playing time is known only for PCM with a usable rate and frame size.
    std::string duration = "-";
    if (info.formatTag == 1 && info.sampleRate != 0 && info.blockAlign != 0) {
        formatDuration(static_cast<double>(slot.sampleCount) / static_cast<double>(info.sampleRate), duration);
    }
    reporter.appendInfo(side, "再生時間 " + duration);
    reporter.appendInfo(side, formatText("サンプル数 %12u", slot.sampleCount));
    return walk == 0 && info.sampleRate != 0 && info.blockAlign != 0;
}

}  // namespace vemilo
