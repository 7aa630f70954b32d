#include "compare/run_series.h"

#include "compare/options.h"
#include "wav/reporter.h"

namespace vemilo {
namespace {

// The first failing check's message, or nothing. Only emptiness is checked here; whether a text
// is a number is the comparison's business.
const char* failedCheck(const FileSlots& fileSlots, const OptionSource& options) {
    if (options.matchLengthText().empty() && options.matchPoint()) return "一致点のサンプル数を指定してください。";
    if (options.differenceLimitText().empty() && options.detailDisplay()) return "相違詳細表示行を指定してください。";
    if (fileSlots[0].path.empty()) return "ファイル1が指定されていません";
    if (fileSlots[1].path.empty()) return "ファイル2が指定されていません";
    return nullptr;
}

}  // namespace

SeriesOutcome runSeries(const FileSlots& fileSlots, Reporter& reporter, const OptionSource& options,
                        const SeriesSteps& steps) {
    SeriesOutcome outcome;
    if (const char* message = failedCheck(fileSlots, options)) {
        reporter.showMessage(message);
        outcome.refused = true;
        return outcome;
    }
    reporter.clearLog();
    for (;;) {
        outcome.last = ComparisonRun(fileSlots, reporter, options);
        ++outcome.comparisons;
        if (steps.compared) steps.compared(outcome.last);
        if (outcome.last == RunResult::Different) return outcome;
        if (!steps.continuous || !steps.continuous()) return outcome;
        // File 1 moves on before the end of list 2 is noticed.
        if (!steps.advance(0)) return outcome;
        if (!steps.advance(1)) return outcome;
    }
}

}  // namespace vemilo
