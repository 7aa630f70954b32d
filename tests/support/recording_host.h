#pragma once
// A host that records what the core reports, with options the test sets.

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "wav/host.h"

namespace vemilo::testing {

class RecordingHost : public Host {
public:
    void LogLine(const std::string& text) override { log.push_back(text); }
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
    bool zeroSkip() const override { return zeroSkipOn; }
    bool matchPoint() const override { return matchPointOn; }
    bool detailDisplay() const override { return detailsOn; }
    std::string matchLengthText() const override { return matchLength; }
    std::string differenceLimitText() const override { return differenceLimit; }

    std::vector<std::string> log;
    std::array<std::vector<std::string>, 2> info;
    std::vector<std::string> messages;
    int yields = 0;
    std::function<void()> onYield;
    int progressValue = 0;
    std::vector<int> progressHistory;

    bool zeroSkipOn = false;
    bool matchPointOn = false;
    bool detailsOn = false;
    std::string matchLength = "200";
    std::string differenceLimit = "200";
};

}  // namespace vemilo::testing
