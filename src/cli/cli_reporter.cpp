#include "cli/cli_reporter.h"

#include <unistd.h>

namespace vemilo::cli {

CliReporter::CliReporter(std::FILE* out, std::FILE* err)
    : out_(out), err_(err), progressOnTerminal_(::isatty(::fileno(err)) == 1) {}

CliReporter::~CliReporter() { clearProgress(); }

void CliReporter::logLine(const std::string& text) {
    clearProgress();
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fputc('\n', out_);
}

void CliReporter::clearInfo(int side) { info_[side].clear(); }

void CliReporter::appendInfo(int side, const std::string& text) { info_[side].push_back(text); }

void CliReporter::showMessage(const std::string& text) {
    clearProgress();
    std::fflush(out_);
    std::fprintf(err_, "%s\n", text.c_str());
}

void CliReporter::setProgress(int percent) {
    progress_ = percent;
    if (!progressOnTerminal_) return;
    std::fflush(out_);
    std::fprintf(err_, "\r%3d%%", percent);
    std::fflush(err_);
    progressShown_ = true;
}

void CliReporter::clearProgress() {
    if (!progressShown_) return;
    std::fprintf(err_, "\r    \r");
    std::fflush(err_);
    progressShown_ = false;
}

}  // namespace vemilo::cli
