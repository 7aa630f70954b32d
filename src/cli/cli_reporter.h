#pragma once
// How the core reports in the command-line tool: the log to standard output, messages to standard
// error, the progress as a percentage on a terminal.

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "wav/reporter.h"

namespace vemilo::cli {

class CliReporter : public Reporter {
public:
    CliReporter(std::FILE* out, std::FILE* err);
    ~CliReporter() override;
    CliReporter(const CliReporter&) = delete;
    CliReporter& operator=(const CliReporter&) = delete;

    void logLine(const std::string& text) override;
    void clearLog() override {}
    void clearInfo(int side) override;
    void appendInfo(int side, const std::string& text) override;
    void showMessage(const std::string& text) override;
    void processPendingEvents() override {}
    int progress() const override { return progress_; }
    void setProgress(int percent) override;

    const std::vector<std::string>& info(int side) const { return info_[side]; }

private:
    void clearProgress();

    std::FILE* out_;
    std::FILE* err_;
    bool progressOnTerminal_;
    bool progressShown_ = false;
    int progress_ = 0;
    std::array<std::vector<std::string>, 2> info_;
};

}  // namespace vemilo::cli
