#pragma once
// One pair as the folder check and the JSON report see it: both files, the verdict, what the
// comparison found, and its log kept aside.

#include <optional>
#include <string>
#include <vector>

#include "compare/compare_pair.h"
#include "compare/comparison_run.h"
#include "compare/options.h"
#include "wav/file_slot.h"
#include "wav/reporter.h"
#include "wav/zero_run_scan.h"

namespace vemilo::archive {

enum class PairVerdict { Identical, Different, Trouble, Missing, WithinTolerance };

// "identical", "different", "trouble", "missing", "within_tolerance".
const char* pairVerdictName(PairVerdict verdict);

struct PairReport {
    // Relative to both folders in a folder run ("" for the folders themselves); nothing for a pair
    // named alone.
    std::optional<std::string> path;
    std::optional<std::string> file1;  // nothing: the file is missing on that side
    std::optional<std::string> file2;
    PairVerdict verdict = PairVerdict::Trouble;
    std::string message;  // empty: none
    FileSlots slots;
    RunOutcome outcome;
    bool compared = true;          // false: missing, or trouble found by the walk; no format
    std::vector<std::string> log;  // the comparison's log, and messages, as they came
};

// Keeps what the core reports instead of showing it (the log only when asked: most runs never show it).
class CollectingReporter : public Reporter {
public:
    explicit CollectingReporter(bool keepLog = true) : keepLog_(keepLog) {}
    void logLine(const std::string& text) override {
        if (keepLog_) lines.push_back(text);
    }
    void clearLog() override {}
    void clearInfo(int) override {}
    void appendInfo(int, const std::string&) override {}
    void showMessage(const std::string& text) override {
        if (keepLog_) lines.push_back(text);
    }
    void processPendingEvents() override {}
    bool keepsText() const override { return keepLog_; }
    int progress() const override { return progress_; }
    void setProgress(int percent) override { progress_ = percent; }

    std::vector<std::string> lines;

private:
    bool keepLog_;
    int progress_ = 0;
};

// Compares the files at both paths with the options and, with keepLog, keeps the log aside;
// nothing is printed.
PairReport reportPair(const std::string& path1, const std::string& path2, const ComparisonOptions& options,
                      PairWorkspace& workspace, bool keepLog = true);

// A report for a pair compared elsewhere (a single pair, a step of a series).
PairReport reportOf(const FileSlots& slots, const RunOutcome& outcome);

// A file present on one side only.
PairReport missingPair(const std::string& path, const std::optional<std::string>& file1,
                       const std::optional<std::string>& file2);

// A path the folder walk could not compare (an unreadable folder, a FIFO, a dangling link, ...).
PairReport unseenPair(const std::string& path, const std::optional<std::string>& file1,
                      const std::optional<std::string>& file2, const std::string& trouble);

}  // namespace vemilo::archive
