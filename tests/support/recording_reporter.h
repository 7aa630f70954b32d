#pragma once
// A reporter that records what the core reports, with the options a test sets.

#include <array>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "compare/comparison_run.h"
#include "compare/options.h"
#include "wav/reporter.h"

namespace vemilo::testing {

class RecordingReporter : public Reporter {
public:
    void logLine(const std::string& text) override { log.push_back(text); }
    void clearLog() override {
        log.clear();
        ++logClears;
    }
    void clearInfo(int side) override { info[side].clear(); }
    void appendInfo(int side, const std::string& text) override { info[side].push_back(text); }
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void processPendingEvents() override {
        ++yields;
        if (onYield) onYield();
    }
    int progress() const override { return progressValue; }
    void setProgress(int percent) override {
        progressValue = percent;
        progressHistory.push_back(percent);
    }

    std::vector<std::string> log;
    int logClears = 0;
    std::array<std::vector<std::string>, 2> info;
    std::vector<std::string> messages;
    int yields = 0;
    std::function<void()> onYield;
    int progressValue = 0;
    std::vector<int> progressHistory;

    // Every option off, so that each test turns on what it exercises.
    FixedOptions options{ComparisonOptions::exact()};
};

}  // namespace vemilo::testing

namespace vemilo {

// GoogleTest prints a RunResult by its name.
inline void PrintTo(RunResult result, std::ostream* out) { *out << runResultName(result); }

inline void PrintTo(Verdict verdict, std::ostream* out) {
    *out << (verdict == Verdict::Identical ? "Identical" : verdict == Verdict::Different ? "Different" : "Trouble");
}

}  // namespace vemilo
