#pragma once
// The report of a --folders run, written pair by pair as the pairs are done, in path order: text
// lines, one --json document, or JSON Lines. Each pair's line is flushed as it is written, so that
// an interrupted run leaves every finished pair on disk.

#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "archive/json_report.h"

namespace vemilo::archive {

enum class ReportFormat { Text, Json, JsonLines };

// What a report says of its run: what --resume must find again before it appends, and what
// --merge-reports checks across shards.
struct RunDescription {
    std::string folder1, folder2;
    nlohmann::ordered_json options;  // every option that changes a pair's verdict or report
    std::optional<Shard> shard;
    std::optional<std::string> runId;
};

// The first line of a --jsonl report.
nlohmann::ordered_json headerJson(const RunDescription& run);

// "N pairs: ... identical, ... different, ... trouble, ... missing".
std::string summaryLine(const Summary& summary);

// A pair's text line: its verdict, its path and, when there is one, what makes it not identical.
std::string pairLine(const PairReport& report);

class ReportStream {
public:
    ReportStream(ReportFormat format, std::FILE* out, bool verbose) : format_(format), out_(out), verbose_(verbose) {}

    // Writes what comes before the first pair (the JSON document's opening, the JSONL header);
    // nothing when the report is resumed, since its file already holds it.
    void begin(const RunDescription& run, bool resumed);
    void add(const PairReport& report);
    // A pair as another report holds it (a shard's, when merging).
    void addJson(const nlohmann::ordered_json& pair);
    // The summary, over the pairs added and those counted before a resume.
    void finish();

    Summary& summary() { return summary_; }

private:
    void put(const std::string& text);
    void putPair(const nlohmann::ordered_json& pair);

    ReportFormat format_;
    std::FILE* out_;
    bool verbose_;
    bool firstPair_ = true;
    Summary summary_;
};

}  // namespace vemilo::archive
