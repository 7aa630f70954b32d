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

SeriesOutcome runSeries(const FileSlots& fileSlots, Reporter& reporter, const OptionSource& options,
                        const SeriesSteps& steps) {
    SeriesOutcome series;
    if (const char* message = failedCheck(fileSlots, options)) {
        reporter.showMessage(message);
        series.refused = true;
        return series;
    }
    reporter.clearLog();
    // One pair of buffers serves the whole series.
    ComparisonBuffers buffers;
    for (;;) {
        const RunOutcome outcome = ComparisonRun(fileSlots, reporter, options, &buffers);
        series.last = outcome.result;
        series.worst = std::max(series.worst, verdictOf(outcome));
        ++series.comparisons;
        if (steps.compared) steps.compared(outcome);
        if (outcome.result == RunResult::Different || reporter.stopRequested()) return series;
        if (!steps.continuous || !steps.continuous()) return series;
        // File 1 moves on before the end of list 2 is noticed.
        if (!steps.advance(0)) return series;
        if (!steps.advance(1)) return series;
    }
}

}  // namespace vemilo
