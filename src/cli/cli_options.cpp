#include "cli/cli_options.h"

#include <algorithm>
#include <optional>

#include "compare/option_text.h"
#include "vemilo/version.h"

namespace vemilo::cli {

const std::string kVersion = std::string("vemilo-cli (Vemilo) ") + kVersionText + "\n";

namespace {

// What an option does to the options being parsed; the problem with its value, or nothing.
using Apply = std::optional<std::string> (*)(CliOptions& options, const std::string& value);

// A whole number within the range, as the option's text.
std::optional<std::string> numberText(const std::string& text, int32_t minimum, int32_t maximum) {
    const std::optional<int32_t> number = parseWholeNumber(text);
    if (!number || *number < minimum || *number > maximum) return std::nullopt;
    return std::to_string(*number);
}

std::optional<archive::Shard> shardText(const std::string& text) {
    const size_t slash = text.find('/');
    if (slash == std::string::npos) return std::nullopt;
    const auto index = parseWholeNumber(text.substr(0, slash));
    const auto count = parseWholeNumber(text.substr(slash + 1));
    if (!index || !count || *count < 1 || *count > 1000000 || *index < 1 || *index > *count) return std::nullopt;
    return archive::Shard{static_cast<uint32_t>(*index), static_cast<uint32_t>(*count)};
}

template <Mode Selected>
std::optional<std::string> selectMode(CliOptions& options, const std::string&) {
    options.modes.push_back(Selected);
    return std::nullopt;
}

constexpr const char* kMatchSamplesProblem = "a whole number from 1 to 32767 is needed";
constexpr const char* kMaxLinesProblem = "a whole number from 1 to 2000 is needed";
constexpr const char* kJobsProblem = "a whole number from 1 to 1024 is needed";
constexpr const char* kShardProblem = "K/N with 1 <= K <= N is needed";
constexpr uint32_t kDefaultResyncSeconds = 10;

// Every option of vemilo-cli, in the order --help lists them: the parser and the help text both
// come from here, so an option is added in one place.
const CliOptionSpec kOptions[] = {
    // The modes, each with the form of the command line it starts.
    {"--continuous", nullptr, OptionSection::Mode, "vemilo-cli [OPTIONS] --continuous DIR1 DIR2",
     "compare the audio files of two folders pair by pair,\n"
     "by their places in the sorted lists, going on while\n"
     "each pair has no differing frame",
     selectMode<Mode::Continuous>},
    {"--folders", nullptr, OptionSection::Mode, "vemilo-cli [OPTIONS] --folders DIR1 DIR2",
     "compare every audio file (.wav .flac .aif .aiff .aifc .w64\n"
     ".caf) below two folders with its namesake, report files on\n"
     "one side only, never stop early",
     selectMode<Mode::Folders>},
    {"--merge-reports", nullptr, OptionSection::Mode, "vemilo-cli [--jsonl] [--output=FILE] --merge-reports REPORT...",
     "merge the --json or --jsonl reports of the shards of a\n--folders run", selectMode<Mode::MergeReports>},
    {"--md5", nullptr, OptionSection::Mode, "vemilo-cli --md5 FILE...",
     "the MD5 of each file's audio data, as md5sum prints it", selectMode<Mode::Md5>},
    {"--check-md5", "LIST", OptionSection::Mode, "vemilo-cli --check-md5 LIST", "verify such a list as md5sum -c does",
     [](CliOptions& options, const std::string& value) -> std::optional<std::string> {
         options.modes.push_back(Mode::CheckMd5);
         options.checksumList = value;
         return std::nullopt;
     }},
    {"--info", nullptr, OptionSection::Mode, "vemilo-cli [--trace] --info FILE...",
     "show each file's summary and silent-frame counts", selectMode<Mode::Info>},

    {"--exact", nullptr, OptionSection::Comparison, nullptr,
     "compare from the first frame of each file's data (the\n"
     "default): the same as --no-zero-skip --no-match-point",
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         options.comparison.zeroSkip = options.comparison.matchPoint = false;
         return std::nullopt;
     }},
    {"--align", nullptr, OptionSection::Comparison, nullptr,
     "zero skip and match point together, as the window does:\n"
     "\"identical\" then means identical after alignment",
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         options.comparison.zeroSkip = options.comparison.matchPoint = true;
         return std::nullopt;
     }},
    {"--zero-skip", nullptr, OptionSection::Comparison, "--zero-skip / --no-zero-skip",
     "skip each file's leading silent frames (default off)",
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         options.comparison.zeroSkip = true;
         return std::nullopt;
     }},
    {"--no-zero-skip", nullptr, OptionSection::Hidden, nullptr, nullptr,
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         options.comparison.zeroSkip = false;
         return std::nullopt;
     }},
    {"--match-point", nullptr, OptionSection::Comparison, "--match-point / --no-match-point",
     "search a match point within the first second (default off)",
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         options.comparison.matchPoint = true;
         return std::nullopt;
     }},
    {"--no-match-point", nullptr, OptionSection::Hidden, nullptr, nullptr,
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         options.comparison.matchPoint = false;
         return std::nullopt;
     }},
    {"--match-samples", "N", OptionSection::Comparison, nullptr,
     "frames that must agree for a match point, 1-32767 (default 200)",
     [](CliOptions& options, const std::string& value) -> std::optional<std::string> {
         const auto number = numberText(value, 1, 32767);
         if (!number) return kMatchSamplesProblem;
         options.comparison.matchLength = *number;
         return std::nullopt;
     }},
    {"--details", nullptr, OptionSection::Comparison, "--details / --no-details",
     "log a line for each differing frame (default off)",
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         options.comparison.details = true;
         return std::nullopt;
     }},
    {"--no-details", nullptr, OptionSection::Hidden, nullptr, nullptr,
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         options.comparison.details = false;
         return std::nullopt;
     }},
    {"--resync", nullptr, OptionSection::Comparison, nullptr,
     "where frames start to differ, look for frames dropped from\n"
     "file 2 or inserted into it, report the gap and go on after it",
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         if (options.comparison.resyncSeconds == 0) options.comparison.resyncSeconds = kDefaultResyncSeconds;
         options.resync = true;
         return std::nullopt;
     }},
    {"--resync-window", "SECONDS", OptionSection::Comparison, nullptr,
     "with --resync, how far either way a gap may reach, 1-600\n"
     "(default 10); a gap must be confirmed by --match-samples frames",
     [](CliOptions& options, const std::string& value) -> std::optional<std::string> {
         const auto number = numberText(value, 1, 600);
         if (!number) return "a whole number of seconds from 1 to 600 is needed";
         options.comparison.resyncSeconds = static_cast<uint32_t>(std::stoul(*number));
         return std::nullopt;
     }},
    {"--measure", nullptr, OptionSection::Comparison, nullptr,
     "read both files to their ends, past the difference limit, and\n"
     "measure how much and why they differ: per channel the differing\n"
     "samples, the largest difference, the residue's RMS and null\n"
     "depth; and the cause when one simple relation explains it",
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         options.comparison.measure = true;
         return std::nullopt;
     }},
    {"--tolerance", "N", OptionSection::Comparison, nullptr,
     "pass integer PCM whose every sample differs by at most N LSB\n"
     "as \"identical within ±N LSB\" (exit 0), never as identical",
     [](CliOptions& options, const std::string& value) -> std::optional<std::string> {
         const auto number = numberText(value, 1, INT32_MAX);
         if (!number) return "a whole number of LSB from 1 to 2147483647 is needed";
         options.comparison.tolerance = static_cast<uint32_t>(std::stoul(*number));
         return std::nullopt;
     }},
    {"--residue", "FILE", OptionSection::Comparison, nullptr,
     "with a single pair, write file 1 minus file 2, as compared, to\n"
     "FILE as a WAV file of 32-bit floats (it measures, too)",
     [](CliOptions& options, const std::string& value) -> std::optional<std::string> {
         if (value.empty()) return "a file name is needed";
         options.residue = value;
         options.comparison.measure = true;
         return std::nullopt;
     }},
    {"--max-lines", "N", OptionSection::Comparison, nullptr, "differing frames tolerated, 1-2000 (default 200)",
     [](CliOptions& options, const std::string& value) -> std::optional<std::string> {
         const auto number = numberText(value, 1, 2000);
         if (!number) return kMaxLinesProblem;
         options.comparison.differenceLimit = *number;
         return std::nullopt;
     }},

    {"--json", nullptr, OptionSection::Reports, nullptr,
     "one JSON document on standard output instead of the log\n"
     "(with a single pair, --continuous, --folders or --merge-reports)",
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         options.json = true;
         return std::nullopt;
     }},
    {"--jsonl", nullptr, OptionSection::Reports, nullptr,
     "with --folders or --merge-reports, JSON Lines: a header\n"
     "object, one object per pair, then the summary object",
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         options.jsonLines = true;
         return std::nullopt;
     }},
    {"--output", "FILE", OptionSection::Reports, nullptr,
     "with --folders or --merge-reports, write the report to FILE;\n"
     "a merge writes it only when it succeeds",
     [](CliOptions& options, const std::string& value) -> std::optional<std::string> {
         if (value.empty()) return "a file name is needed";
         options.output = value;
         return std::nullopt;
     }},
    {"--resume", nullptr, OptionSection::Reports, nullptr,
     "with --folders --jsonl --output, take up the interrupted\n"
     "report in FILE: compare only the pairs not yet in it",
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         options.resume = true;
         return std::nullopt;
     }},
    {"--run-id", "NAME", OptionSection::Reports, nullptr,
     "with --folders, name the run in its report; --merge-reports\n"
     "refuses reports of different runs",
     [](CliOptions& options, const std::string& value) -> std::optional<std::string> {
         if (value.empty()) return "a name is needed";
         options.runId = value;
         return std::nullopt;
     }},
    {"--verbose", nullptr, OptionSection::Reports, nullptr, "with --folders, each pair's full log before its line",
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         options.verbose = true;
         return std::nullopt;
     }},
    {"--jobs", "N", OptionSection::Reports, nullptr, "with --folders, compare N pairs at once (default: one per core)",
     [](CliOptions& options, const std::string& value) -> std::optional<std::string> {
         const auto number = numberText(value, 1, 1024);
         if (!number) return kJobsProblem;
         options.jobs = static_cast<unsigned>(std::stoul(*number));
         return std::nullopt;
     }},
    {"--pair-by-stem", nullptr, OptionSection::Reports, nullptr,
     "with --folders, pair files by relative path without the\n"
     "extension: x.wav with x.flac",
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         options.pairByStem = true;
         return std::nullopt;
     }},
    {"--shard", "K/N", OptionSection::Reports, nullptr,
     "with --folders, only the pairs of shard K of N, by a stable\n"
     "hash of their relative paths",
     [](CliOptions& options, const std::string& value) -> std::optional<std::string> {
         options.shard = shardText(value);
         if (!options.shard) return kShardProblem;
         return std::nullopt;
     }},
    {"--quiet", nullptr, OptionSection::Reports, "-s, --quiet", "no output at all: the exit status alone, as cmp -s",
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         options.quiet = true;
         return std::nullopt;
     }},
    {"-s", nullptr, OptionSection::Hidden, nullptr, nullptr,
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         options.quiet = true;
         return std::nullopt;
     }},
    {"--trace", nullptr, OptionSection::Reports, nullptr, "write the header trace to standard error",
     [](CliOptions& options, const std::string&) -> std::optional<std::string> {
         options.trace = true;
         return std::nullopt;
     }},
    {"--help", nullptr, OptionSection::Reports, nullptr, "show this text", nullptr},
    {"--version", nullptr, OptionSection::Reports, nullptr, "show the version", nullptr},
};

constexpr const char* kHelpTrailer =
    "\n"
    "The log goes to standard output, messages to standard error.\n"
    "\"一致しました。\" means that every frame compared was equal. By default every frame is compared\n"
    "from the first frame of each file's data. With --align (or --zero-skip) each file's leading\n"
    "silent frames are not compared, and a match point shifts one file past the frames before it.\n"
    "\n"
    "Exit status: 0 every frame compared equal and both files ended together; 1 a frame differed,\n"
    "too many differed, or one file ended before the other; 2 trouble: a pair could not be compared\n"
    "to its end (formats differ, a file could not be opened, read or taken as WAV), standard output\n"
    "could not be written, or a usage error. With --continuous and --folders, the worst over the\n"
    "pairs; a file present on one side only counts as a difference. --check-md5: 1 when a checksum\n"
    "differs, 2 when a file cannot be read.\n";

// One entry of the help text: the left column, then each line of the description starting at
// the given column (left parts are ASCII, so bytes are columns).
std::string helpEntry(const std::string& left, const char* description, size_t column) {
    std::string entry = "  " + left;
    size_t lineStart = 0;  // where the entry's current line begins
    const std::string text = description;
    for (size_t start = 0; start <= text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const size_t used = entry.size() - lineStart;
        entry.append(column > used ? column - used : 1, ' ');
        entry += text.substr(start, end - start) + "\n";
        lineStart = entry.size();
        start = end + 1;
    }
    return entry;
}

std::string buildHelp() {
    constexpr size_t kModeColumn = 47;
    constexpr size_t kOptionColumn = 39;
    std::string help = "Usage:\n";
    help += helpEntry("vemilo-cli [OPTIONS] FILE1 FILE2", "compare two PCM audio files frame by frame", kModeColumn);
    for (const CliOptionSpec& option : kOptions) {
        if (option.section == OptionSection::Mode) help += helpEntry(option.synopsis, option.help, kModeColumn);
    }
    const std::pair<OptionSection, const char*> sections[] = {{OptionSection::Comparison, "\nComparison options:\n"},
                                                              {OptionSection::Reports, "\nReports:\n"}};
    for (const auto& [section, heading] : sections) {
        help += heading;
        for (const CliOptionSpec& option : kOptions) {
            if (option.section != section) continue;
            const std::string left =
                option.synopsis ? option.synopsis
                                : std::string(option.name) + (option.value ? "=" + std::string(option.value) : "");
            help += helpEntry(left, option.help, kOptionColumn);
        }
    }
    return help + kHelpTrailer;
}

}  // namespace

const std::vector<CliOptionSpec>& cliOptionTable() {
    static const std::vector<CliOptionSpec> table(std::begin(kOptions), std::end(kOptions));
    return table;
}

const std::string& helpText() {
    static const std::string text = buildHelp();
    return text;
}

ParseOutcome parseCommandLine(const std::vector<std::string>& arguments) {
    ParseOutcome outcome;
    CliOptions& options = outcome.options;

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
            options.paths.insert(options.paths.end(), arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                 arguments.end());
            break;
        }
        if (argument.size() < 2 || argument[0] != '-') {
            options.paths.push_back(argument);
            continue;
        }
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const CliOptionSpec* known = nullptr;
        for (const CliOptionSpec& candidate : kOptions) {
            if (name == candidate.name && candidate.apply) known = &candidate;
        }
        if (!known) {
            outcome.error = "unrecognized option '" + argument + "'";
            return outcome;
        }
        std::string value;
        if (!known->value) {
            if (equals != std::string::npos) {
                outcome.error = "option '" + name + "' doesn't allow an argument";
                return outcome;
            }
        } else if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            outcome.error = "option '" + name + "' requires an argument";
            return outcome;
        }
        if (const auto problem = known->apply(options, value)) {
            outcome.error = "invalid " + name + " value '" + value + "': " + *problem;
            return outcome;
        }
    }

    if (options.modes.size() > 1) {
        outcome.error = "only one of --info, --continuous, --folders, --md5, --check-md5 and --merge-reports at a time";
        return outcome;
    }
    options.mode = options.modes.empty() ? Mode::Compare : options.modes.front();
    const size_t count = options.paths.size();
    switch (options.mode) {
        case Mode::Info:
            if (count == 0) outcome.error = "--info needs at least one file";
            break;
        case Mode::Md5:
            if (count == 0) outcome.error = "--md5 needs at least one file";
            break;
        case Mode::MergeReports:
            if (count == 0) outcome.error = "--merge-reports needs at least one report";
            break;
        case Mode::CheckMd5:
            if (count != 0) outcome.error = "--check-md5 takes one list and no other file";
            break;
        case Mode::Continuous:
            if (count != 2) outcome.error = "--continuous needs two folders";
            break;
        case Mode::Folders:
            if (count != 2) outcome.error = "--folders needs two folders";
            break;
        default:
            if (count != 2) outcome.error = "two files are needed";
            break;
    }
    if (!outcome.error.empty()) return outcome;
    const bool reportable =
        options.mode == Mode::Compare || options.mode == Mode::Continuous || options.mode == Mode::Folders;
    if (options.json && !reportable && options.mode != Mode::MergeReports) {
        outcome.error = "--json goes with a single pair, --continuous, --folders or --merge-reports";
    } else if ((options.jobs != 0 || options.verbose || options.shard || options.pairByStem) &&
               options.mode != Mode::Folders) {
        outcome.error = "--jobs, --verbose, --shard and --pair-by-stem go with --folders";
    } else if (options.comparison.resyncSeconds != 0 && !options.resync) {
        outcome.error = "--resync-window goes with --resync";
    } else if ((options.jsonLines || options.output) && options.mode != Mode::Folders &&
               options.mode != Mode::MergeReports) {
        outcome.error = "--jsonl and --output go with --folders or --merge-reports";
    } else if (options.jsonLines && options.json) {
        outcome.error = "only one of --json and --jsonl at a time";
    } else if (options.resume && (options.mode != Mode::Folders || !options.jsonLines || !options.output)) {
        outcome.error = "--resume goes with --folders --jsonl --output=FILE";
    } else if (options.runId && options.mode != Mode::Folders) {
        outcome.error = "--run-id goes with --folders";
    } else if (options.residue && options.mode != Mode::Compare) {
        outcome.error = "--residue goes with a single pair";
    }
    return outcome;
}

}  // namespace vemilo::cli
