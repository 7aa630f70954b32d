#pragma once
// The one way into the comparison engine: name the files of a pair (or keep those the slots hold),
// load and scan them, compare, and return what the comparison found. The window, the single pair,
// continuous mode and the folder check all come through here.

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "compare/comparison_run.h"
#include "wav/file_slot.h"
#include "wav/wav_error.h"
#include "wav/zero_run_scan.h"

namespace vemilo {

class OptionSource;
class Reporter;

// The buffers one caller uses for every pair it compares: a scan buffer and two block buffers.
struct PairWorkspace {
    ScanBuffer scanBuffer;
    ComparisonBuffers comparisonBuffers;
    ResidueSink* residue = nullptr;  // where a measured pair's residue goes, if anywhere
};

struct PairFiles {
    // A path loads and scans that file into the side's slot first; nothing keeps what the slot
    // holds (the window loads a file the moment it is chosen).
    std::array<std::optional<std::string>, 2> paths;
    // Told after each load what went wrong with it, if anything.
    std::function<void(int side, const WavError& error)> loaded;
};

// Loads the files named, file 1 first, each through the same step as a user's choice.
void loadPairFiles(FileSlots& slots, const PairFiles& files, Reporter& reporter, PairWorkspace& workspace);

// Loads the files named, then compares both slots with the options.
[[nodiscard]] RunOutcome comparePair(FileSlots& slots, const PairFiles& files, Reporter& reporter,
                                     const OptionSource& options, PairWorkspace& workspace);

}  // namespace vemilo
