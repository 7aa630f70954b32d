#pragma once
// The Run command's series: its checks, then one comparison, and in continuous mode the next pair
// and the next, until a pair differs or a list ends. The window and the command-line tool supply
// how the next file of each side is found.

#include <functional>

#include "compare/comparison_run.h"

namespace vemilo {

class OptionSource;
class Reporter;

struct SeriesSteps {
    // Told what each comparison found as it ends.
    std::function<void(const RunOutcome&)> compared;
    // Read after each comparison that found no difference: whether the series goes on.
    std::function<bool()> continuous;
    // Names the next file of a side (0, then 1) and loads it into that side's slot; false when the
    // side's list has no next file, which ends the series.
    std::function<bool(int side)> advance;
};

struct SeriesOutcome {
    bool refused = false;  // a check failed: nothing was cleared or compared
    int comparisons = 0;
    RunResult last = RunResult::Identical;
    Verdict worst = Verdict::Identical;  // trouble outranks a difference, as with diff -r
};

// Checks the options and both slots (the first failing check shows its message), clears the log
// and runs comparisons until one finds differences, continuous mode is off, or a side has no next
// file. Throws ConversionError from a comparison as ComparisonRun does.
[[nodiscard]] SeriesOutcome runSeries(const FileSlots& fileSlots, Reporter& reporter, const OptionSource& options,
                                      const SeriesSteps& steps);

}  // namespace vemilo
