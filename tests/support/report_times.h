#pragma once
// Reports record when their run began and ended: two runs over the same trees differ only there.

#include <nlohmann/json.hpp>
#include <regex>
#include <string>

namespace vemilo::testing {

// A --json document without those times.
inline nlohmann::json withoutTimes(nlohmann::json report) {
    if (report.contains("header")) report["header"].erase("started");
    report.erase("ended");
    return report;
}

// A --jsonl report's text with those times blanked.
inline std::string linesWithoutTimes(const std::string& text) {
    static const std::regex time("\"(started|ended)\": ?\"[0-9T:Z-]+\"");
    return std::regex_replace(text, time, "\"$1\":\"TIME\"");
}

}  // namespace vemilo::testing
