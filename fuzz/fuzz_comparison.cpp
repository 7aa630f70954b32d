// Two files and random options through a whole comparison run. The input is split into an
// option byte block and two files.

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "compare/comparison_run.h"
#include "compare/option_text.h"
#include "fuzz_host.h"
#include "wav/trace.h"
#include "wav/zero_run_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool silenced = (vemilo::setTraceSink({}), true);
    (void)silenced;
    if (size < 8) return 0;
    vemilo::fuzz::SilentHost host;
    const uint8_t flags = data[0];
    host.zeroSkipOn = flags & 1;
    host.matchPointOn = flags & 2;
    host.detailsOn = flags & 4;
    const uint16_t matchLength = static_cast<uint16_t>(data[1] | (data[2] << 8));
    host.matchLength = (flags & 8) ? "x" : std::to_string(matchLength);
    host.differenceLimit = std::to_string(static_cast<int>(data[3] | (data[4] << 8)) - 100);
    const size_t split = 8 + (size - 8) * (data[5] | (data[6] << 8)) / 65536;

    const std::string path1 = vemilo::fuzz::writeScratchFile("1.wav", data + 8, split - 8);
    const std::string path2 = vemilo::fuzz::writeScratchFile("2.wav", data + split, size - split);
    vemilo::FileSlots slots;
    vemilo::loadFileSlot(slots[0], 0, path1, host);
    vemilo::scanZeroRuns(slots[0], 0, host);
    vemilo::loadFileSlot(slots[1], 1, (flags & 16) ? path1 : path2, host);
    vemilo::scanZeroRuns(slots[1], 1, host);
    try {
        const vemilo::RunResult result = vemilo::ComparisonRun(slots, host);
        if (result < -1 || result > 10) std::abort();
    } catch (const vemilo::ConversionError&) {
        if (!(flags & 8) || !(flags & 2)) std::abort();  // only a non-numeric match length may throw
    }
    return 0;
}
