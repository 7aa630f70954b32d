#pragma once
// vemilo-cli --folders: every audio file of two folder trees, paired by relative path as both are
// walked, compared with the chosen options on as many workers as asked, reported in path order as
// the pairs are done.

#include <cstdio>
#include <optional>
#include <string>

#include "archive/json_report.h"
#include "archive/pair_walk.h"
#include "archive/report_header.h"
#include "compare/comparison_run.h"
#include "compare/options.h"

namespace vemilo::archive {

struct FolderCheckOptions {
    std::string folder1, folder2;
    ComparisonOptions comparison = ComparisonOptions::exact();
    unsigned jobs = 0;  // 0: one per processor core
    bool verbose = false;
    ReportFormat format = ReportFormat::Text;
    std::optional<Shard> shard;
    bool pairByStem = false;
    std::optional<std::string> runId;
    std::optional<std::string> output;  // the report's file; standard output without
    bool resume = false;                // take up the interrupted --jsonl report in output
};

// What the report records of the run: the folders and every option that changes a verdict, as
// typed values, its shard and name, and now as its start.
ReportHeader headerOf(const FolderCheckOptions& options);

// Compares and reports every pair; the verdict over all of them (Trouble also when the report
// could not be written or taken up, said on err).
Verdict checkFolders(const FolderCheckOptions& options, std::FILE* out, std::FILE* err);

}  // namespace vemilo::archive
