#pragma once
// Shared pieces of the fuzz targets: a reporter that discards everything, and a scratch file.

#include <string>

#include "wav/reporter.h"

namespace vemilo::fuzz {

class SilentReporter : public Reporter {
public:
    void logLine(const std::string&) override {}
    void clearLog() override {}
    void clearInfo(int) override {}
    void appendInfo(int, const std::string&) override {}
    void showMessage(const std::string&) override {}
    void processPendingEvents() override {}
    int progress() const override { return progress_; }
    void setProgress(int percent) override { progress_ = percent; }

private:
    int progress_ = 0;
};

// Writes bytes to a file of this process under the temporary folder and returns its path.
std::string writeScratchFile(const char* name, const uint8_t* data, size_t size);

}  // namespace vemilo::fuzz
