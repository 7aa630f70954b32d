#pragma once
// vemilo-cli --merge-reports: the JSON reports of the shards of one --folders run, merged into
// the report the unsharded run would have written.

#include <cstdio>
#include <string>
#include <vector>

namespace vemilo::cli {

// Writes the merged document; returns the exit status the unsharded run would have had, or 2,
// with a message naming the report, when a report is missing, unreadable, of another shard
// count, overlaps another, or when a shard is missing altogether.
int mergeReports(const std::vector<std::string>& reportPaths, std::FILE* out, std::FILE* err);

}  // namespace vemilo::cli
