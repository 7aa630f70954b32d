// One file through the header walk, the slot load and the zero-run scan.

#include <cstdint>
#include <cstdlib>

#include "fuzz_host.h"
#include "wav/file_slot.h"
#include "wav/trace.h"
#include "wav/wav_header.h"
#include "wav/zero_run_scan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool silenced = (vemilo::setTraceSink({}), true);
    (void)silenced;
    const std::string path = vemilo::fuzz::writeScratchFile("one.wav", data, size);
    vemilo::WavFormatInfo info;
    vemilo::parseWavHeader(path, info);
    vemilo::fuzz::SilentHost host;
    vemilo::FileSlot slot;
    vemilo::loadFileSlot(slot, 0, path, host);
    vemilo::scanZeroRuns(slot, 0, host);
    if (slot.leadingZeros > slot.sampleCount || slot.trailingZeros > slot.sampleCount) std::abort();
    return 0;
}
