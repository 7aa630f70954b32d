#pragma once
// One reader for every --folders report, --json or --jsonl, a pair at a time from any stream: a
// file, a pipe, standard input ("-"). It never seeks, never holds more than one value, and no
// report can crash it or fill memory: a value nested too deep, longer than a pair ever is, or
// holding a key twice is a fault, as is anything that is not JSON.

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "archive/report_header.h"

namespace vemilo::archive {

// Longer than any value the tool writes (a pair of 65,535 channels included) and short enough to
// hold in memory.
inline constexpr uint64_t kLongestReportValue = 16u << 20;
inline constexpr size_t kDeepestReportValue = 32;

// What is wrong with a report: where (line 0: the report as a whole) and what.
struct ReportFault {
    uint64_t line = 0;
    std::string problem;
    std::string text() const { return line ? "line " + std::to_string(line) + ": " + problem : problem; }
};

class ByteSource;

class ReportReader {
public:
    // Opens and reads the header; throws ReportFault when the file cannot be opened or holds no
    // report header.
    explicit ReportReader(const std::string& path);
    ~ReportReader();
    ReportReader(const ReportReader&) = delete;
    ReportReader& operator=(const ReportReader&) = delete;

    ReportFormat format() const { return format_; }
    const ReportHeader& header() const { return header_; }

    // The next pair as the report holds it; nothing after the last. Throws ReportFault.
    std::optional<nlohmann::ordered_json> nextPair();
    // Once nextPair gave nothing: what follows the pairs (the summary, trees and end); nothing when
    // the report stops before it, as an interrupted run leaves it.
    const std::optional<nlohmann::ordered_json>& trailer() const { return trailer_; }
    // Once nextPair gave nothing: whether the last line was cut off mid-way (JSON Lines).
    bool torn() const { return torn_; }

    // The line the last value read began on.
    uint64_t line() const { return valueLine_; }
    // JSON Lines: the last pair's line as it stands in the file, and the bytes up to its end.
    const std::string& rawLine() const { return rawLine_; }
    uint64_t endOfLastPair() const { return endOfLastPair_; }

private:
    void openLines(const std::string& first);
    void openDocument();
    std::optional<nlohmann::ordered_json> nextLine();
    std::optional<nlohmann::ordered_json> nextElement();
    void readDocumentEnd();
    nlohmann::ordered_json parseValue();
    std::string parseKey();
    [[noreturn]] void fail(const std::string& problem) const;

    std::unique_ptr<ByteSource> source_;
    ReportFormat format_ = ReportFormat::JsonLines;
    ReportHeader header_;
    std::optional<nlohmann::ordered_json> trailer_;
    bool pairsDone_ = false;
    bool firstElement_ = true;
    bool torn_ = false;
    uint64_t valueLine_ = 1;
    std::string rawLine_;
    uint64_t endOfLastPair_ = 0;
};

// A whole JSON value from text, with the reader's limits: nothing, and the problem, when it is not
// one object within them.
std::optional<nlohmann::ordered_json> parseLimitedObject(const std::string& text, std::string& problem);

}  // namespace vemilo::archive
