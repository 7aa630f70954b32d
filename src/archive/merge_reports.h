#pragma once
// vemilo-cli --merge-reports: the --json or --jsonl reports of the shards of one --folders run,
// merged into the report the unsharded run would have written. Each report is read as a stream in
// its path order, so memory follows the number of shards, not their size.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "archive/report_stream.h"

namespace vemilo::archive {

struct MergeOptions {
    std::vector<std::string> reports;
    ReportFormat format = ReportFormat::Json;  // Json or JsonLines
    // Written only when the merge succeeds; a failed merge leaves no file there, not even an older
    // report, which would be taken for this run's verdict.
    std::optional<std::string> output;
};

// Writes the merged report; returns the exit status the unsharded run would have had, or 2, with
// a message naming the report (and where it can, the line and field), when a report is missing,
// unreadable, malformed, out of path order, of another shard count or run, overlaps another, or
// when a shard is missing altogether.
Verdict mergeReports(const MergeOptions& options, std::FILE* out, std::FILE* err);

}  // namespace vemilo::archive
