#include "archive/pair_report.h"

#include "wav/text_format.h"

namespace vemilo::archive {
namespace {

// Why a pair is not simply identical, in the words of its log.
std::string messageOf(const RunOutcome& outcome) {
    if (!outcome.damage.empty()) {
        std::string message = outcome.damage.front();
        for (size_t i = 1; i < outcome.damage.size(); ++i) message += " " + outcome.damage[i];
        return message;
    }
    // An early exit's message names the file and the reason already.
    if (endedEarly(outcome.result)) return outcome.message;
    switch (outcome.end) {
        case ComparisonEnd::ReadError1: return "読み取りエラー 0==0";
        case ComparisonEnd::ReadError2: return "読み取りエラー 1==0";
        case ComparisonEnd::LimitExceeded: return "相違数がオーバーしました";
        case ComparisonEnd::Stopped: return "stopped";
        case ComparisonEnd::File1Ended:
        case ComparisonEnd::File2Ended: {
            const int wentOn = outcome.end == ComparisonEnd::File1Ended ? 2 : 1;
            return formatText("ファイル%dの残り%lluサンプルは比較されませんでした。", wentOn,
                              static_cast<unsigned long long>(outcome.uncompared[wentOn - 1]));
        }
        case ComparisonEnd::NotStarted:
        case ComparisonEnd::BothEnded: break;
    }
    return "";
}

}  // namespace

const char* pairVerdictName(PairVerdict verdict) {
    switch (verdict) {
        case PairVerdict::Identical: return "identical";
        case PairVerdict::Different: return "different";
        case PairVerdict::Trouble: return "trouble";
        case PairVerdict::Missing: return "missing";
        case PairVerdict::WithinTolerance: return "within_tolerance";
    }
    return "trouble";
}

PairReport reportOf(const FileSlots& slots, const RunOutcome& outcome) {
    PairReport report;
    report.file1 = slots[0].path;
    report.file2 = slots[1].path;
    report.slots = slots;
    report.outcome = outcome;
    switch (verdictOf(outcome)) {
        case Verdict::Identical: report.verdict = PairVerdict::Identical; break;
        case Verdict::Different: report.verdict = PairVerdict::Different; break;
        case Verdict::Trouble: report.verdict = PairVerdict::Trouble; break;
        case Verdict::WithinTolerance: report.verdict = PairVerdict::WithinTolerance; break;
    }
    report.message = messageOf(outcome);
    return report;
}

PairReport reportPair(const std::string& path1, const std::string& path2, const ComparisonOptions& options,
                      PairWorkspace& workspace, bool keepLog) {
    CollectingReporter reporter(keepLog);
    FileSlots slots;
    const RunOutcome outcome = comparePair(slots, {{path1, path2}, {}}, reporter, FixedOptions(options), workspace);
    PairReport report = reportOf(slots, outcome);
    report.log = std::move(reporter.lines);
    return report;
}

PairReport missingPair(const std::string& path, const std::optional<std::string>& file1,
                       const std::optional<std::string>& file2) {
    PairReport report;
    report.path = path;
    report.file1 = file1;
    report.file2 = file2;
    report.verdict = PairVerdict::Missing;
    report.message = file1 ? "only in folder 1" : "only in folder 2";
    report.compared = false;
    return report;
}

PairReport unseenPair(const std::string& path, const std::optional<std::string>& file1,
                      const std::optional<std::string>& file2, const std::string& trouble) {
    PairReport report = missingPair(path, file1, file2);
    report.verdict = PairVerdict::Trouble;
    report.message = trouble;
    return report;
}

}  // namespace vemilo::archive
