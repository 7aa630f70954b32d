#include "cli/cli_options.h"

#include <functional>
#include <optional>

#include "compare/option_text.h"

namespace vemilo::cli {

const char* const kVersion = "vemilo-cli (Vemilo) 3.00β1\n";

const char* const kUsage =
    "Usage:\n"
    "  vemilo-cli [OPTIONS] FILE1 FILE2             compare two WAV files frame by frame\n"
    "  vemilo-cli [OPTIONS] --continuous DIR1 DIR2  compare the *.wav files of two folders pair by pair,\n"
    "                                               stopping at the first pair that differs\n"
    "  vemilo-cli [--trace] --info FILE...          show each file's summary and silent-frame counts\n"
    "\n"
    "Options:\n"
    "  --exact                              compare from the first frame of each file's data:\n"
    "                                       the same as --no-zero-skip --no-match-point\n"
    "  --zero-skip / --no-zero-skip         skip each file's leading silent frames (default on)\n"
    "  --match-point / --no-match-point     search a match point within the first second (default on)\n"
    "  --match-samples=N                    frames that must agree for a match point, 1-32767 (default 200)\n"
    "  --details / --no-details             log a line for each differing frame (default off)\n"
    "  --max-lines=N                        differing frames tolerated, 1-2000 (default 200)\n"
    "  --trace                              write the header trace to standard error\n"
    "  --help                               show this text\n"
    "  --version                            show the version\n"
    "\n"
    "The log goes to standard output, messages to standard error.\n"
    "\"一致しました。\" means that every frame compared was equal. With zero skip each file's leading\n"
    "silent frames are not compared, and a match point shifts one file past the frames before it;\n"
    "use --exact to prove two files bit-identical from their first frame.\n"
    "\n"
    "Exit status: 0 every frame compared equal and both files ended together; 1 a frame differed,\n"
    "too many differed, or one file ended before the other; 2 trouble: a pair could not be compared\n"
    "to its end (formats differ, a file could not be opened, read or taken as WAV), standard output\n"
    "could not be written, or a usage error. With --continuous, the worst status over the pairs run.\n";

namespace {

// A whole number within the range, as the option's text.
std::optional<std::string> numberText(const std::string& text, int32_t minimum, int32_t maximum) {
    const std::optional<int32_t> number = parseWholeNumber(text);
    if (!number || *number < minimum || *number > maximum) return std::nullopt;
    return std::to_string(*number);
}

}  // namespace

ParseOutcome parseCommandLine(const std::vector<std::string>& arguments) {
    ParseOutcome outcome;
    CliOptions& options = outcome.options;
    ComparisonOptions& comparison = options.comparison;
    bool info = false;
    bool continuous = false;

    const std::vector<std::pair<std::string, std::function<void()>>> switches = {
        {"--info", [&] { info = true; }},
        {"--continuous", [&] { continuous = true; }},
        {"--zero-skip", [&] { comparison.zeroSkip = true; }},
        {"--no-zero-skip", [&] { comparison.zeroSkip = false; }},
        {"--match-point", [&] { comparison.matchPoint = true; }},
        {"--no-match-point", [&] { comparison.matchPoint = false; }},
        {"--exact", [&] { comparison.zeroSkip = comparison.matchPoint = false; }},
        {"--details", [&] { comparison.details = true; }},
        {"--no-details", [&] { comparison.details = false; }},
        {"--trace", [&] { options.trace = true; }},
    };
    struct Valued {
        const char* name;
        int32_t minimum, maximum;
        std::string* value;
    };
    const Valued valued[] = {
        {"--match-samples", 1, 32767, &comparison.matchLength},
        {"--max-lines", 1, 2000, &comparison.differenceLimit},
    };

    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.mode = Mode::Help;
            return outcome;
        }
        if (argument == "--version") {
            options.mode = Mode::Version;
            return outcome;
        }
        if (argument == "--") {
            options.paths.insert(options.paths.end(), arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1, arguments.end());
            break;
        }
        if (argument.size() < 2 || argument[0] != '-') {
            options.paths.push_back(argument);
            continue;
        }
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        bool known = false;
        for (const auto& [switchName, apply] : switches) {
            if (name != switchName) continue;
            if (equals != std::string::npos) {
                outcome.error = "option '" + name + "' doesn't allow an argument";
                return outcome;
            }
            apply();
            known = true;
        }
        for (const Valued& option : valued) {
            if (name != option.name) continue;
            std::string text;
            if (equals != std::string::npos) {
                text = argument.substr(equals + 1);
            } else if (i + 1 < arguments.size()) {
                text = arguments[++i];
            } else {
                outcome.error = "option '" + name + "' requires an argument";
                return outcome;
            }
            const std::optional<std::string> number = numberText(text, option.minimum, option.maximum);
            if (!number) {
                outcome.error = "invalid " + name + " value '" + text + "': a whole number from " +
                                std::to_string(option.minimum) + " to " + std::to_string(option.maximum) + " is needed";
                return outcome;
            }
            *option.value = *number;
            known = true;
        }
        if (!known) {
            outcome.error = "unrecognized option '" + argument + "'";
            return outcome;
        }
    }

    if (info && continuous) {
        outcome.error = "--info and --continuous cannot be combined";
    } else if (info) {
        options.mode = Mode::Info;
        if (options.paths.empty()) outcome.error = "--info needs at least one file";
    } else {
        options.mode = continuous ? Mode::Continuous : Mode::Compare;
        if (options.paths.size() != 2) {
            outcome.error = continuous ? "--continuous needs two folders" : "two files are needed";
        }
    }
    return outcome;
}

}  // namespace vemilo::cli
