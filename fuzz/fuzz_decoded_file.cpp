// One file in another container through libsndfile: the load, the zero-run scan, a comparison
// with itself that decodes it to its end, and its checksum.

#include <cstdint>
#include <cstdlib>

#include "compare/comparison_run.h"
#include "compare/options.h"
#include "fuzz_support.h"
#include "wav/audio_checksum.h"
#include "wav/choose_file.h"
#include "wav/trace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool silenced = (vemilo::setTraceSink({}), true);
    (void)silenced;
    const std::string path = vemilo::fuzz::writeScratchFile("decoded", data, size);
    vemilo::fuzz::SilentReporter reporter;
    vemilo::FileSlots slots;
    for (int side = 0; side < 2; ++side) {
        if (vemilo::chooseFile(slots[side], side, path, reporter)) return 0;
    }
    const vemilo::FileSlot& slot = slots[0];
    if (slot.leadingSilentFrames > slot.frameCount || slot.trailingSilentFrames > slot.frameCount) std::abort();
    const vemilo::FixedOptions options(vemilo::ComparisonOptions{.zeroSkip = (size & 1) != 0, .matchPoint = false});
    const vemilo::RunOutcome outcome = vemilo::runComparison(slots, reporter, options);
    // A file against itself can have trouble, never a difference.
    if (outcome.differences != 0) std::abort();
    const vemilo::AudioChecksum checksum = vemilo::audioChecksum(path);
    if (!checksum.md5 && checksum.problem.empty()) std::abort();
    return 0;
}
