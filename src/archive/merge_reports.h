#pragma once
// vemilo-cli --merge-reports: the --json or --jsonl reports of the shards of one --folders run,
// merged into the report the unsharded run would have written. Each report is read as a stream in
// its path order, so memory follows the number of shards, not their size.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "archive/report_header.h"
#include "compare/comparison_run.h"

namespace vemilo::archive {

struct MergeOptions {
    std::vector<std::string> reports;          // "-" is standard input
    ReportFormat format = ReportFormat::Json;  // Json or JsonLines
    // Any older report there is removed before the merge starts, and the merged one put there only
    // when the merge succeeds: no interruption and no failure leaves a verdict that is not this one.
    std::optional<std::string> output;
};

// Writes the merged report; returns the verdict the unsharded run would have had, or Trouble, with
// every fault found named on err (the report, and where it can, the line and field): a report
// missing, unreadable, malformed or interrupted; shards of other folders, options, runs, shard
// counts or trees; a shard missing, given twice or holding a pair of another; a line out of order,
// given twice or whose verdict its own fields do not bear out; a summary that does not count the
// lines before it.
Verdict mergeReports(const MergeOptions& options, std::FILE* out, std::FILE* err);

}  // namespace vemilo::archive
