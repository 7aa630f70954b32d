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
    "                                               by their places in the sorted lists, stopping at the\n"
    "                                               first pair that differs\n"
    "  vemilo-cli [OPTIONS] --folders DIR1 DIR2     compare every *.wav file below two folders with its\n"
    "                                               namesake, report files on one side only, never stop early\n"
    "  vemilo-cli --merge-reports REPORT.json...    merge the JSON reports of the shards of a --folders run\n"
    "  vemilo-cli --md5 FILE...                     the MD5 of each file's audio data, as md5sum prints it\n"
    "  vemilo-cli --check-md5 LIST                  verify such a list as md5sum -c does\n"
    "  vemilo-cli [--trace] --info FILE...          show each file's summary and silent-frame counts\n"
    "\n"
    "Comparison options:\n"
    "  --exact                              compare from the first frame of each file's data:\n"
    "                                       the same as --no-zero-skip --no-match-point\n"
    "  --zero-skip / --no-zero-skip         skip each file's leading silent frames (default on)\n"
    "  --match-point / --no-match-point     search a match point within the first second (default on)\n"
    "  --match-samples=N                    frames that must agree for a match point, 1-32767 (default 200)\n"
    "  --details / --no-details             log a line for each differing frame (default off)\n"
    "  --max-lines=N                        differing frames tolerated, 1-2000 (default 200)\n"
    "\n"
    "Reports:\n"
    "  --json                               one JSON document on standard output instead of the log\n"
    "                                       (with a single pair, --continuous or --folders)\n"
    "  --verbose                            with --folders, each pair's full log before its line\n"
    "  --jobs=N                             with --folders, compare N pairs at once (default: one per core)\n"
    "  --shard=K/N                          with --folders, only the pairs of shard K of N, by a stable\n"
    "                                       hash of their relative paths\n"
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
    "could not be written, or a usage error. With --continuous and --folders, the worst over the\n"
    "pairs; a file present on one side only counts as a difference. --check-md5: 1 when a checksum\n"
    "differs, 2 when a file cannot be read.\n";

namespace {

// A whole number within the range, as the option's text.
std::optional<std::string> numberText(const std::string& text, int32_t minimum, int32_t maximum) {
    const std::optional<int32_t> number = parseWholeNumber(text);
    if (!number || *number < minimum || *number > maximum) return std::nullopt;
    return std::to_string(*number);
}

std::optional<Shard> shardText(const std::string& text) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos) return std::nullopt;
    const auto index = parseWholeNumber(text.substr(0, slash));
    const auto count = parseWholeNumber(text.substr(slash + 1));
    if (!index || !count || *count < 1 || *count > 1000000 || *index < 1 || *index > *count) return std::nullopt;
    return Shard{static_cast<uint32_t>(*index), static_cast<uint32_t>(*count)};
}

}  // namespace

ParseOutcome parseCommandLine(const std::vector<std::string>& arguments) {
    ParseOutcome outcome;
    CliOptions& options = outcome.options;
    ComparisonOptions& comparison = options.comparison;
    std::vector<Mode> modes;

    const std::vector<std::pair<std::string, std::function<void()>>> switches = {
        {"--info", [&] { modes.push_back(Mode::Info); }},
        {"--continuous", [&] { modes.push_back(Mode::Continuous); }},
        {"--folders", [&] { modes.push_back(Mode::Folders); }},
        {"--md5", [&] { modes.push_back(Mode::Md5); }},
        {"--merge-reports", [&] { modes.push_back(Mode::MergeReports); }},
        {"--zero-skip", [&] { comparison.zeroSkip = true; }},
        {"--no-zero-skip", [&] { comparison.zeroSkip = false; }},
        {"--match-point", [&] { comparison.matchPoint = true; }},
        {"--no-match-point", [&] { comparison.matchPoint = false; }},
        {"--exact", [&] { comparison.zeroSkip = comparison.matchPoint = false; }},
        {"--details", [&] { comparison.details = true; }},
        {"--no-details", [&] { comparison.details = false; }},
        {"--trace", [&] { options.trace = true; }},
        {"--json", [&] { options.json = true; }},
        {"--verbose", [&] { options.verbose = true; }},
    };
    // Options with a value: each returns the problem with the value, or nothing when it took it.
    const std::vector<std::pair<std::string, std::function<std::optional<std::string>(const std::string&)>>> valued = {
        {"--match-samples", [&](const std::string& text) -> std::optional<std::string> {
             const auto number = numberText(text, 1, 32767);
             if (!number) return "a whole number from 1 to 32767 is needed";
             comparison.matchLength = *number;
             return std::nullopt;
         }},
        {"--max-lines", [&](const std::string& text) -> std::optional<std::string> {
             const auto number = numberText(text, 1, 2000);
             if (!number) return "a whole number from 1 to 2000 is needed";
             comparison.differenceLimit = *number;
             return std::nullopt;
         }},
        {"--jobs", [&](const std::string& text) -> std::optional<std::string> {
             const auto number = numberText(text, 1, 1024);
             if (!number) return "a whole number from 1 to 1024 is needed";
             options.jobs = static_cast<unsigned>(std::stoul(*number));
             return std::nullopt;
         }},
        {"--shard", [&](const std::string& text) -> std::optional<std::string> {
             options.shard = shardText(text);
             if (!options.shard) return "K/N with 1 <= K <= N is needed";
             return std::nullopt;
         }},
        {"--check-md5", [&](const std::string& text) -> std::optional<std::string> {
             modes.push_back(Mode::CheckMd5);
             options.checksumList = text;
             return std::nullopt;
         }},
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
        for (const auto& [optionName, take] : valued) {
            if (name != optionName) continue;
            std::string text;
            if (equals != std::string::npos) {
                text = argument.substr(equals + 1);
            } else if (i + 1 < arguments.size()) {
                text = arguments[++i];
            } else {
                outcome.error = "option '" + name + "' requires an argument";
                return outcome;
            }
            if (const auto problem = take(text)) {
                outcome.error = "invalid " + name + " value '" + text + "': " + *problem;
                return outcome;
            }
            known = true;
        }
        if (!known) {
            outcome.error = "unrecognized option '" + argument + "'";
            return outcome;
        }
    }

    if (modes.size() > 1) {
        outcome.error = "only one of --info, --continuous, --folders, --md5, --check-md5 and --merge-reports at a time";
        return outcome;
    }
    options.mode = modes.empty() ? Mode::Compare : modes.front();
    const size_t count = options.paths.size();
    switch (options.mode) {
        case Mode::Info: if (count == 0) outcome.error = "--info needs at least one file"; break;
        case Mode::Md5: if (count == 0) outcome.error = "--md5 needs at least one file"; break;
        case Mode::MergeReports: if (count == 0) outcome.error = "--merge-reports needs at least one report"; break;
        case Mode::CheckMd5: if (count != 0) outcome.error = "--check-md5 takes one list and no other file"; break;
        case Mode::Continuous: if (count != 2) outcome.error = "--continuous needs two folders"; break;
        case Mode::Folders: if (count != 2) outcome.error = "--folders needs two folders"; break;
        default: if (count != 2) outcome.error = "two files are needed"; break;
    }
    if (!outcome.error.empty()) return outcome;
    const bool reportable = options.mode == Mode::Compare || options.mode == Mode::Continuous || options.mode == Mode::Folders;
    if (options.json && !reportable) {
        outcome.error = "--json goes with a single pair, --continuous or --folders";
    } else if ((options.jobs != 0 || options.verbose || options.shard) && options.mode != Mode::Folders) {
        outcome.error = "--jobs, --verbose and --shard go with --folders";
    }
    return outcome;
}

}  // namespace vemilo::cli
