#pragma once
// The command line of vemilo-cli.

#include <optional>
#include <string>
#include <vector>

#include "archive/json_report.h"
#include "compare/options.h"

namespace vemilo::cli {

enum class Mode { Help, Version, Info, Compare, Continuous, Folders, Md5, CheckMd5, MergeReports };

struct CliOptions {
    Mode mode = Mode::Compare;
    std::vector<Mode> modes;  // every mode option given; more than one is a usage error
    // Exact unless asked otherwise: every frame from the first frame of each file's data.
    ComparisonOptions comparison = ComparisonOptions::exact();
    bool trace = false;
    bool json = false;
    bool verbose = false;
    bool pairByStem = false;             // --folders pairs x.wav with x.flac
    bool quiet = false;                  // -s: nothing written, the exit status alone
    bool resync = false;                 // --resync given (its window is comparison.resyncSeconds)
    bool jsonLines = false;              // --jsonl: one JSON object per line
    std::optional<std::string> output;   // --output: the report's file
    bool resume = false;                 // --resume: take up the interrupted report in --output
    std::optional<std::string> runId;    // --run-id: the name every shard's report carries
    std::optional<std::string> residue;  // --residue: where a single pair's residue goes
    unsigned jobs = 0;                   // 0: one per processor core
    std::optional<archive::Shard> shard;
    std::string checksumList;  // --check-md5
    std::vector<std::string> paths;
};

struct ParseOutcome {
    CliOptions options;
    std::string error;  // non-empty: a usage error, one line naming the problem
};

ParseOutcome parseCommandLine(const std::vector<std::string>& arguments);

// Where --help lists an option: among the modes (with the form of its command line), the
// comparison options, the report options, or not at all (the "--no-" half of a pair).
enum class OptionSection { Mode, Comparison, Reports, Hidden };

// One option of vemilo-cli: the parser, --help and the manual all read this table.
struct CliOptionSpec {
    const char* name;   // "--max-lines"
    const char* value;  // the value's placeholder ("N"), or nullptr for a switch
    OptionSection section;
    const char* synopsis;  // what --help shows on the left, when not the name (and value)
    const char* help;      // the description; lines separated by '\n'
    // Applies the option; the problem with its value, or nothing. Null for --help and --version,
    // which the parser handles before any other.
    std::optional<std::string> (*apply)(CliOptions& options, const std::string& value);
};

const std::vector<CliOptionSpec>& cliOptionTable();
// The --help text, built from the table.
const std::string& helpText();

extern const std::string kVersion;

}  // namespace vemilo::cli
