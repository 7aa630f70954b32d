#pragma once
// The Run command's series: its checks, then one comparison, and in continuous mode the next pair
// and the next, until a pair differs or a list ends. The window and the command-line tool supply
// how the next file of each side is found.

#include <functional>
#include <optional>
#include <string>

#include "compare/compare_pair.h"
#include "compare/comparison_run.h"

namespace vemilo {

class OptionSource;
class Reporter;

struct SeriesSteps {
    // Told what each comparison found as it ends.
    std::function<void(const RunOutcome&)> compared;
    // Read after each comparison that found no difference: whether the series goes on.
    std::function<bool()> continuous;
    // Moves a side (0, then 1) on to its next file and names it; nothing when the side's list has
    // no next file, which ends the series. The series loads the file.
    std::function<std::optional<std::string>(int side)> nextFile;
    // Told after each load of a next file what went wrong with it, if anything.
    std::function<void(int side, const WavError& error)> loaded;
};

struct SeriesOutcome {
    bool refused = false;  // a check failed: nothing was cleared or compared
    int comparisons = 0;
    RunResult last = RunResult::Identical;
    std::string lastMessage;             // the last comparison's message, for an early exit
    Verdict worst = Verdict::Identical;  // trouble outranks a difference, as with diff -r
};

// Checks the options and both slots (the first failing check shows its message), clears the log
// and compares the pair the slots hold; in continuous mode goes on pair by pair until one differs,
// continuous mode is off, an option text is not a number, or a side has no next file.
[[nodiscard]] SeriesOutcome runSeries(FileSlots& fileSlots, Reporter& reporter, const OptionSource& options,
                                      const SeriesSteps& steps);

}  // namespace vemilo
