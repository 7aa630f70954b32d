#pragma once
// The host of the command-line tool: the log to standard output, messages to standard error.

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "wav/host.h"

namespace vemilo::cli {

class CliHost : public Host {
public:
    CliHost(const CliOptions& options, std::FILE* out, std::FILE* err);
    ~CliHost() override;

    void LogLine(const std::string& text) override;
    void clearInfo(int side) override;
    void appendInfo(int side, const std::string& text) override;
    void showMessage(const std::string& text) override;
    void processPendingEvents() override {}
    int progress() const override { return progress_; }
    void setProgress(int percent) override;
    bool zeroSkip() const override { return options_.zeroSkip; }
    bool matchPoint() const override { return options_.matchPoint; }
    bool detailDisplay() const override { return options_.details; }
    std::string matchLengthText() const override { return std::to_string(options_.matchSamples); }
    std::string differenceLimitText() const override { return std::to_string(options_.maxLines); }

    const std::vector<std::string>& info(int side) const { return info_[side]; }
    int messagesShown() const { return messagesShown_; }

private:
    void clearProgress();

    CliOptions options_;
    std::FILE* out_;
    std::FILE* err_;
    bool progressOnTerminal_;
    bool progressShown_ = false;
    int progress_ = 0;
    int messagesShown_ = 0;
    std::array<std::vector<std::string>, 2> info_;
};

}  // namespace vemilo::cli
