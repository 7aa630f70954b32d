#pragma once
// The report of a --folders run, written pair by pair as the pairs are done, in path order: text
// lines, one --json document, or JSON Lines. Each pair's line is flushed as it is written, so that
// an interrupted run leaves every finished pair on disk.

#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "archive/json_report.h"
#include "archive/report_header.h"

namespace vemilo::archive {

// "N pairs: ... identical, ... different, ... trouble, ... missing" ("1 pair: ...").
std::string summaryLine(const Summary& summary);

// A pair's text line: its verdict, its path and, when there is one, what makes it not identical.
std::string pairLine(const PairReport& report);

// A pair's report as it will stand in the report, made wherever the pair was compared.
struct FormattedPair {
    PairVerdict verdict = PairVerdict::Trouble;
    std::string text;
};

class ReportStream {
public:
    ReportStream(ReportFormat format, std::FILE* out, bool verbose) : format_(format), out_(out), verbose_(verbose) {}

    // Writes what comes before the first pair: the JSON document's opening with its header, the
    // JSONL header line; nothing in text.
    void begin(const ReportHeader& header);
    void add(const PairReport& report);
    // The same in two steps: format may run on any thread, write where the report is written.
    FormattedPair format(const PairReport& report) const;
    void write(const FormattedPair& pair);
    // A pair as another report holds it (a shard's, when merging), with its checked verdict.
    void addJson(const nlohmann::ordered_json& pair, PairVerdict verdict);
    // A JSONL line taken over whole from the report being resumed.
    void addLine(const std::string& line, PairVerdict verdict);
    // The summary (over every pair added), and with it the trees and the end.
    void finish(const std::optional<TreeRecord>& trees, const std::optional<std::string>& ended);

    Summary& summary() { return summary_; }

private:
    void put(const std::string& text);
    std::string pairText(const nlohmann::ordered_json& pair) const;

    ReportFormat format_;
    std::FILE* out_;
    bool verbose_;
    bool firstPair_ = true;
    Summary summary_;
};

}  // namespace vemilo::archive
