#pragma once
// The command line of vemilo-cli.

#include <string>
#include <vector>

#include "compare/options.h"

namespace vemilo::cli {

enum class Mode { Help, Version, Info, Compare, Continuous };

struct CliOptions {
    Mode mode = Mode::Compare;
    ComparisonOptions comparison;
    bool trace = false;
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
