#pragma once
// vemilo-cli --folders: every audio file of two folder trees, paired by relative path as both are
// walked, compared with the chosen options on as many workers as asked, reported in path order as
// the pairs are done.

#include <cstdio>
#include <optional>
#include <string>

#include "archive/json_report.h"
#include "archive/pair_walk.h"
#include "archive/report_stream.h"
#include "compare/options.h"

namespace vemilo::archive {

// The shard a relative path belongs to, from 1 to count: a stable hash of the path's bytes, so
// that any machine puts a path in the same shard and files added elsewhere move no other.
uint32_t shardOf(const std::string& path, uint32_t count);

struct FolderCheckOptions {
    std::string folder1, folder2;
    ComparisonOptions comparison{.zeroSkip = false, .matchPoint = false};
    unsigned jobs = 0;  // 0: one per processor core
    bool verbose = false;
    ReportFormat format = ReportFormat::Text;
    std::optional<Shard> shard;
    bool pairByStem = false;
    std::optional<std::string> runId;
    std::optional<std::string> output;  // the report's file; standard output without
    bool resume = false;                // take up the interrupted --jsonl report in output
};

// What the report records of the run's options: a resumed report must have been made with the same.
nlohmann::ordered_json optionsJson(const FolderCheckOptions& options);

// Compares and reports every pair; returns the exit status (2 trouble, 1 difference or missing, 0).
Verdict checkFolders(const FolderCheckOptions& options, std::FILE* out, std::FILE* err);

}  // namespace vemilo::archive
