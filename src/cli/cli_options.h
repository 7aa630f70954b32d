#pragma once
// The command line of vemilo-cli.

#include <optional>
#include <string>
#include <vector>

#include "cli/json_report.h"
#include "compare/options.h"

namespace vemilo::cli {

enum class Mode { Help, Version, Info, Compare, Continuous, Folders, Md5, CheckMd5, MergeReports };

struct CliOptions {
    Mode mode = Mode::Compare;
    ComparisonOptions comparison;
    bool trace = false;
    bool json = false;
    bool verbose = false;
    unsigned jobs = 0;  // 0: one per processor core
    std::optional<Shard> shard;
    std::string checksumList;  // --check-md5
    std::vector<std::string> paths;
};

struct ParseOutcome {
    CliOptions options;
    std::string error;  // non-empty: a usage error, one line naming the problem
};

ParseOutcome parseCommandLine(const std::vector<std::string>& arguments);

extern const char* const kUsage;
extern const char* const kVersion;

}  // namespace vemilo::cli
