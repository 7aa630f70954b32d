// One file through the header walk, the slot load and the zero-run scan.

#include <cstdint>
#include <cstdlib>

#include "fuzz_support.h"
#include "wav/choose_file.h"
#include "wav/trace.h"
#include "wav/wav_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool silenced = (vemilo::setTraceSink({}), true);
    (void)silenced;
    const std::string path = vemilo::fuzz::writeScratchFile("one.wav", data, size);
    vemilo::WavFormatInfo info;
    (void)vemilo::parseWavHeader(path, info);
    vemilo::fuzz::SilentReporter reporter;
    vemilo::FileSlot slot;
    vemilo::chooseFile(slot, 0, path, reporter);
    if (slot.leadingSilentFrames > slot.frameCount || slot.trailingSilentFrames > slot.frameCount) std::abort();
    return 0;
}
