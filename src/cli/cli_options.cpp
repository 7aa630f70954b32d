#include "cli/cli_options.h"

#include "compare/option_text.h"

namespace vemilo::cli {

const char* const kUsage =
    "Usage:\n"
    "  vemilo-cli [OPTIONS] FILE1 FILE2             compare two WAV files frame by frame\n"
    "  vemilo-cli [OPTIONS] --continuous DIR1 DIR2  compare the *.wav files of two folders pair by pair,\n"
    "                                               stopping at the first pair that differs\n"
    "  vemilo-cli [--trace] --info FILE...          show each file's summary and silent-frame counts\n"
    "\n"
    "Options:\n"
    "  --zero-skip / --no-zero-skip         skip each file's leading silent frames (default on)\n"
    "  --match-point / --no-match-point     search a match point within the first second (default on)\n"
    "  --match-samples N                    frames that must agree for a match point, 1-32767 (default 200)\n"
    "  --details / --no-details             log a line for each differing frame (default off)\n"
    "  --max-lines N                        differing frames tolerated, 1-2000 (default 200)\n"
    "  --trace                              write the header trace to standard error\n"
    "  --help                               show this text\n"
    "\n"
    "The log goes to standard output, messages to standard error.\n"
    "Exit status: 0 identical, 1 a comparison found differences, 2 a comparison ended early\n"
    "(formats differ, a file could not be opened or read) or a usage error.\n";

namespace {

// Takes a whole number within the range as the option's text.
bool readNumber(const std::string& text, int32_t minimum, int32_t maximum, std::string& value) {
    const std::optional<int32_t> number = parseWholeNumber(text);
    if (!number || *number < minimum || *number > maximum) return false;
    value = std::to_string(*number);
    return true;
}

}  // namespace

ParseOutcome parseCommandLine(const std::vector<std::string>& arguments) {
    ParseOutcome outcome;
    CliOptions& options = outcome.options;
    bool info = false;
    bool continuous = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const auto numberArgument = [&](int32_t minimum, int32_t maximum, std::string& value) {
            if (i + 1 >= arguments.size() || !readNumber(arguments[i + 1], minimum, maximum, value)) {
                outcome.error = argument + " needs a whole number from " + std::to_string(minimum) + " to " + std::to_string(maximum);
                return false;
            }
            ++i;
            return true;
        };
        if (argument == "--help" || argument == "-h") {
            options.mode = Mode::Help;
            return outcome;
        } else if (argument == "--info") {
            info = true;
        } else if (argument == "--continuous") {
            continuous = true;
        } else if (argument == "--zero-skip") {
            options.comparison.zeroSkip = true;
        } else if (argument == "--no-zero-skip") {
            options.comparison.zeroSkip = false;
        } else if (argument == "--match-point") {
            options.comparison.matchPoint = true;
        } else if (argument == "--no-match-point") {
            options.comparison.matchPoint = false;
        } else if (argument == "--details") {
            options.comparison.details = true;
        } else if (argument == "--no-details") {
            options.comparison.details = false;
        } else if (argument == "--trace") {
            options.trace = true;
        } else if (argument == "--match-samples") {
            if (!numberArgument(1, 32767, options.comparison.matchLength)) return outcome;
        } else if (argument == "--max-lines") {
            if (!numberArgument(1, 2000, options.comparison.differenceLimit)) return outcome;
        } else if (argument == "--") {
            options.paths.insert(options.paths.end(), arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1, arguments.end());
            break;
        } else if (argument.size() > 1 && argument[0] == '-') {
            outcome.error = "unknown option " + argument;
            return outcome;
        } else {
            options.paths.push_back(argument);
        }
    }
    if (info && continuous) {
        outcome.error = "--info and --continuous cannot be combined";
    } else if (info) {
        options.mode = Mode::Info;
        if (options.paths.empty()) outcome.error = "--info needs at least one file";
    } else {
        options.mode = continuous ? Mode::Continuous : Mode::Compare;
        if (options.paths.size() != 2) outcome.error = continuous ? "--continuous needs two folders" : "two files are needed";
    }
    return outcome;
}

}  // namespace vemilo::cli
