#pragma once
// A report checked as a whole, line by line, before resume or merge trusts any of it: its pairs
// in byte order of their paths without a duplicate, each in the shard its path hashes to, each
// verdict borne out by its own fields, and a summary that counts exactly the lines before it.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "archive/json_report.h"
#include "archive/report_header.h"

namespace vemilo::archive {

class ReportChecker {
public:
    // The report's shard, and the tolerance its run passed pairs within, if any.
    explicit ReportChecker(std::optional<Shard> shard, std::optional<uint64_t> tolerance = std::nullopt)
        : shard_(shard), tolerance_(tolerance) {}
    // The same, as a report's header says them.
    explicit ReportChecker(const ReportHeader& header);

    // The pair's path when the pair is sound; else nothing, with the problem naming the field.
    std::optional<std::string> checkPair(const nlohmann::ordered_json& pair, std::string& problem);
    // What follows the pairs, against what they counted; the problem, or nothing.
    std::optional<ReportTrailer> checkTrailer(const nlohmann::ordered_json& trailer, std::string& problem) const;

    const Summary& counted() const { return counted_; }
    const std::optional<std::string>& lastPath() const { return lastPath_; }

private:
    std::optional<Shard> shard_;
    std::optional<uint64_t> tolerance_;
    Summary counted_;
    std::optional<std::string> lastPath_;
};

// The verdict's name when it is one of the four; nothing otherwise.
std::optional<PairVerdict> verdictNamed(const std::string& name);

}  // namespace vemilo::archive
