#pragma once
// What a --folders report records of its run, in every format: the header before the pairs (what
// was compared, how, which shard, when it began) and the trailer after them (the counts, the trees
// the walk met, when it ended). Resume and merge hold two reports to one rule: the same run.

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "archive/json_report.h"

namespace vemilo::archive {

enum class ReportFormat { Text, Json, JsonLines };

// 1: the reports of earlier versions, whose --json documents had no header and whose options
// were partly text. 2: this header, and a trailer with the trees.
inline constexpr int64_t kReportFormatVersion = 2;

// What a walk of both whole trees met, whatever the shard: the entries on each side (audio files
// and what could not be looked at) and a digest of their relative paths and kinds.
struct TreeRecord {
    std::array<uint64_t, 2> entries{};
    std::string digest;  // SHA-256, hex
    bool operator==(const TreeRecord&) const = default;
};

struct ReportHeader {
    int64_t formatVersion = kReportFormatVersion;
    // Nothing where an older report did not record it.
    std::optional<std::array<std::string, 2>> folders;
    std::optional<nlohmann::ordered_json> options;  // every option that changes a verdict, typed
    std::optional<Shard> shard;
    std::optional<std::string> runId;
    std::optional<std::string> started;  // UTC, "2026-12-09T11:48:18Z"
};

struct ReportTrailer {
    Summary summary;
    std::optional<TreeRecord> trees;
    std::optional<std::string> ended;
};

// The JSON Lines header, or the --json document's "header" member.
nlohmann::ordered_json headerJson(const ReportHeader& header, ReportFormat format);
// The header a report holds; the problem, naming the field, when it is malformed.
std::optional<ReportHeader> readHeader(const nlohmann::ordered_json& json, std::string& problem);
// The header of an older --json document, from the members before its "pairs".
ReportHeader legacyHeader(const nlohmann::ordered_json& preamble, std::string& problem);

// The members after the pairs: {"summary": ..., "trees": ..., "ended": ...}.
nlohmann::ordered_json trailerJson(const ReportTrailer& trailer);
std::optional<ReportTrailer> readTrailer(const nlohmann::ordered_json& json, std::string& problem);

// A field in which two reports' runs differ, with its value in each, as JSON text.
struct RunDifference {
    std::string field;
    std::string first, second;
};
// The one rule of resume and merge: the same format, folders, options, run id and shard count,
// and with sameShard the same shard too.
std::vector<RunDifference> runDifferences(const ReportHeader& first, const ReportHeader& second, bool sameShard);

// Now, in UTC, as headers and trailers record it.
std::string utcNow();

}  // namespace vemilo::archive
