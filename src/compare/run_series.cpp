#include "compare/run_series.h"

#include <algorithm>

#include "compare/options.h"
#include "wav/reporter.h"

namespace vemilo {
namespace {

// The first failing check's message, or nothing. Only emptiness is checked here; whether a text
// is a number is the comparison's business.
const char* failedCheck(const FileSlots& fileSlots, const OptionSource& options) {
    if (options.matchLengthText().empty() && options.matchPoint()) return "一致点のサンプル数を指定してください。";
    // The limit ends every comparison, with details on or off, so it is needed either way.
    if (options.differenceLimitText().empty()) return "相違詳細表示行を指定してください。";
    if (fileSlots[0].path.empty()) return "ファイル1が指定されていません";
    if (fileSlots[1].path.empty()) return "ファイル2が指定されていません";
    return nullptr;
}

}  // namespace

SeriesOutcome runSeries(FileSlots& fileSlots, Reporter& reporter, const OptionSource& options,
                        const SeriesSteps& steps) {
    SeriesOutcome series;
    if (const char* message = failedCheck(fileSlots, options)) {
        // A message box runs the event loop; the series ends here and touches nothing after it.
        reporter.showMessage(message);
        series.refused = true;
        return series;
    }
    reporter.clearLog();
    // One workspace serves the whole series.
    PairWorkspace workspace;
    PairFiles next;  // the first pair is the one the slots hold
    next.loaded = steps.loaded;
    for (;;) {
        const RunOutcome outcome = comparePair(fileSlots, next, reporter, options, workspace);
        series.last = outcome.result;
        series.lastMessage = outcome.message;
        series.worst = std::max(series.worst, verdictOf(outcome));
        ++series.comparisons;
        if (steps.compared) steps.compared(outcome);
        if (outcome.result == RunResult::Different || outcome.result == RunResult::OptionNotNumber ||
            reporter.stopRequested()) {
            return series;
        }
        if (!steps.continuous || !steps.continuous()) return series;
        next.paths = {steps.nextFile(0), std::nullopt};
        if (!next.paths[0]) return series;
        next.paths[1] = steps.nextFile(1);
        if (!next.paths[1]) {
            // File 1 has moved on before the end of list 2 is noticed: its slot follows its list.
            loadPairFiles(fileSlots, next, reporter, workspace);
            return series;
        }
    }
}

}  // namespace vemilo
