#pragma once
// The six comparison options: where the engine reads them, and a fixed set for callers without
// option controls (the command-line tool, tests, fuzz targets).

#include <cstdint>
#include <optional>
#include <string>

namespace vemilo {

// The options as the controls hold them at the moment of each call.
class OptionSource {
public:
    virtual ~OptionSource() = default;
    virtual bool zeroSkip() const = 0;
    virtual bool matchPoint() const = 0;
    virtual bool detailDisplay() const = 0;
    virtual std::string matchLengthText() const = 0;
    virtual std::string differenceLimitText() const = 0;
    // How far either way to look for frames dropped or inserted, in seconds; 0: not at all.
    virtual uint32_t resyncWindowSeconds() const { return 0; }
    // Measure the whole pair: read both files to their ends past the difference limit, and say how
    // much and why they differ.
    virtual bool measure() const { return false; }
    // Integer PCM whose every sample differs by at most this many LSB passes as "within" it.
    virtual std::optional<uint32_t> toleranceLsb() const { return std::nullopt; }
};

// Values with the window's designed defaults.
struct ComparisonOptions {
    bool zeroSkip = true;
    bool matchPoint = true;
    bool details = false;
    std::string matchLength = "200";
    std::string differenceLimit = "200";
    uint32_t resyncSeconds = 0;  // 0: no resynchronisation
    bool measure = false;
    std::optional<uint32_t> tolerance;  // LSB; nothing: only identical passes

    // Every frame from the first frame of each file's data: no zero skip, no match point.
    static ComparisonOptions exact() {
        ComparisonOptions options;
        options.zeroSkip = false;
        options.matchPoint = false;
        return options;
    }
};

class FixedOptions : public OptionSource {
public:
    FixedOptions() = default;
    explicit FixedOptions(ComparisonOptions options) : values(std::move(options)) {}

    bool zeroSkip() const override { return values.zeroSkip; }
    bool matchPoint() const override { return values.matchPoint; }
    bool detailDisplay() const override { return values.details; }
    std::string matchLengthText() const override { return values.matchLength; }
    std::string differenceLimitText() const override { return values.differenceLimit; }
    uint32_t resyncWindowSeconds() const override { return values.resyncSeconds; }
    bool measure() const override { return values.measure; }
    std::optional<uint32_t> toleranceLsb() const override { return values.tolerance; }

    ComparisonOptions values;
};

}  // namespace vemilo
