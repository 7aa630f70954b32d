#include "cli/cli_host.h"

#include <unistd.h>

namespace vemilo::cli {

CliHost::CliHost(const CliOptions& options, std::FILE* out, std::FILE* err)
    : options_(options), out_(out), err_(err), progressOnTerminal_(::isatty(::fileno(err)) == 1) {}

CliHost::~CliHost() { clearProgress(); }

void CliHost::LogLine(const std::string& text) {
    clearProgress();
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fputc('\n', out_);
}

void CliHost::clearInfo(int side) { info_[side].clear(); }

void CliHost::appendInfo(int side, const std::string& text) { info_[side].push_back(text); }

void CliHost::showMessage(const std::string& text) {
    clearProgress();
    ++messagesShown_;
    std::fflush(out_);
    std::fprintf(err_, "%s\n", text.c_str());
}

void CliHost::setProgress(int percent) {
    progress_ = percent;
    if (!progressOnTerminal_) return;
    std::fflush(out_);
    std::fprintf(err_, "\r%3d%%", percent);
    std::fflush(err_);
    progressShown_ = true;
}

void CliHost::clearProgress() {
    if (!progressShown_) return;
    std::fprintf(err_, "\r    \r");
    std::fflush(err_);
    progressShown_ = false;
}

}  // namespace vemilo::cli
