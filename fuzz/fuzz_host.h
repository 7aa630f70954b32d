#pragma once
// Shared pieces of the fuzz targets: a host that discards everything, and a scratch file.

#include <string>

#include "wav/host.h"

namespace vemilo::fuzz {

class SilentHost : public Host {
public:
    void LogLine(const std::string&) override {}
    void clearInfo(int) override {}
    void appendInfo(int, const std::string&) override {}
    void showMessage(const std::string&) override {}
    void processPendingEvents() override {}
    int progress() const override { return progress_; }
    void setProgress(int percent) override { progress_ = percent; }
    bool zeroSkip() const override { return zeroSkipOn; }
    bool matchPoint() const override { return matchPointOn; }
    bool detailDisplay() const override { return detailsOn; }
    std::string matchLengthText() const override { return matchLength; }
    std::string differenceLimitText() const override { return differenceLimit; }

    bool zeroSkipOn = false, matchPointOn = false, detailsOn = false;
    std::string matchLength = "200", differenceLimit = "200";

private:
    int progress_ = 0;
};

// Writes bytes to a file of this process under the temporary folder and returns its path.
std::string writeScratchFile(const char* name, const uint8_t* data, size_t size);

}  // namespace vemilo::fuzz
