// Two files and random options through a whole comparison run. The input is split into an
// option byte block and two files.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "compare/comparison_run.h"
#include "compare/options.h"
#include "fuzz_support.h"
#include "wav/choose_file.h"
#include "wav/trace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool silenced = (vemilo::setTraceSink({}), true);
    (void)silenced;
    if (size < 8) return 0;
    vemilo::fuzz::SilentReporter reporter;
    vemilo::FixedOptions options;
    const uint8_t flags = data[0];
    options.values.zeroSkip = flags & 1;
    options.values.matchPoint = flags & 2;
    options.values.details = flags & 4;
    const uint16_t matchLength = static_cast<uint16_t>(data[1] | (data[2] << 8));
    options.values.matchLength = (flags & 8) ? "x" : std::to_string(matchLength);
    options.values.differenceLimit = std::to_string(static_cast<int>(data[3] | (data[4] << 8)) - 100);
    // The measured, tolerant and resynchronising runs take the same files.
    options.values.measure = flags & 32;
    if (flags & 64) options.values.tolerance = data[7] % 4;
    options.values.resyncSeconds = (flags & 128) ? 1 : 0;
    const size_t split = 8 + (size - 8) * (data[5] | (data[6] << 8)) / 65536;

    const std::string path1 = vemilo::fuzz::writeScratchFile("1.wav", data + 8, split - 8);
    const std::string path2 = vemilo::fuzz::writeScratchFile("2.wav", data + split, size - split);
    vemilo::FileSlots slots;
    vemilo::chooseFile(slots[0], 0, path1, reporter);
    vemilo::chooseFile(slots[1], 1, (flags & 16) ? path1 : path2, reporter);
    const vemilo::RunOutcome outcome = vemilo::runComparison(slots, reporter, options);
    // Only a non-numeric match length may end the run that way, where the match point or the
    // resynchronisation reads it.
    if (outcome.result == vemilo::RunResult::OptionNotNumber && !((flags & 8) && (flags & (2 | 128)))) std::abort();
    // What a report claims must be possible: never more compared than either file holds, never
    // more counted than the limit tolerates, never identical with a difference or a file left.
    const uint64_t held = std::min(slots[0].frameCount, slots[1].frameCount);
    if (outcome.comparedFrames > held || outcome.differences > 2001) std::abort();
    if (vemilo::verdictOf(outcome) == vemilo::Verdict::Identical &&
        (outcome.differences != 0 || outcome.uncompared[0] != 0 || outcome.uncompared[1] != 0 ||
         !outcome.damage.empty())) {
        std::abort();
    }
    // Within a tolerance only when one was asked for, on integer PCM measured to be within it.
    if (vemilo::verdictOf(outcome) == vemilo::Verdict::WithinTolerance &&
        (!options.values.tolerance || !outcome.measure || !outcome.measure->integerPcm ||
         outcome.measure->largest > *options.values.tolerance || outcome.differences == 0 || !outcome.gaps.empty())) {
        std::abort();
    }
    return 0;
}
