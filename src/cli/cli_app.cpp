#include "cli/cli_app.h"

#include <exception>

#include "cli/cli_options.h"
#include "cli/cli_reporter.h"
#include "compare/options.h"
#include "compare/run_series.h"
#include "wav/choose_file.h"
#include "wav/trace.h"
#include "wav/wav_file_list.h"

namespace vemilo::cli {
namespace {

constexpr int kExitSame = 0;
constexpr int kExitDifferent = 1;
constexpr int kExitTrouble = 2;

// Restores the default trace sink when the run ends.
class TraceRedirect {
public:
    TraceRedirect(bool enabled, std::FILE* err)
        : previous_(setTraceSink(enabled ? TraceSink([err](const std::string& line) {
              std::fwrite(line.data(), 1, line.size(), err);
          })
                                         : TraceSink())) {}
    ~TraceRedirect() { setTraceSink(previous_); }

private:
    TraceSink previous_;
};

int showInfo(const CliOptions& options, CliReporter& reporter, std::FILE* out) {
    int status = kExitSame;
    FileSlots slots;
    for (const std::string& path : options.paths) {
        const int before = reporter.messagesShown();
        if (!chooseFile(slots[0], 0, path, reporter) || reporter.messagesShown() != before) status = kExitTrouble;
        for (const std::string& line : reporter.info(0)) std::fprintf(out, "%s\n", line.c_str());
    }
    return status;
}

// Folds one comparison's result into the exit status: any difference wins, then any early end.
void noteResult(RunResult result, int& status) {
    if (result == RunResult::Different) {
        status = kExitDifferent;
    } else if (result != RunResult::Identical && status == kExitSame) {
        status = kExitTrouble;
    }
}

int compareFolders(const CliOptions& options, CliReporter& reporter, std::FILE* err) {
    std::vector<std::string> lists[2];
    for (int side = 0; side < 2; ++side) {
        const auto listing = listWavFolder(options.paths[side]);
        if (!listing) {
            std::fprintf(err, "vemilo-cli: cannot read folder %s\n", options.paths[side].c_str());
            return kExitTrouble;
        }
        lists[side] = listing->names;
    }
    FileSlots slots;
    // Each list starts at its first file, as the window's lists do with their first rows selected.
    for (int side = 0; side < 2; ++side) {
        if (!lists[side].empty()) chooseFile(slots[side], side, joinPath(options.paths[side], lists[side][0]), reporter);
    }

    const FixedOptions comparisonOptions(options.comparison);
    int status = kExitSame;
    size_t selected[2] = {0, 0};
    SeriesSteps steps;
    steps.compared = [&](RunResult result) { noteResult(result, status); };
    steps.continuous = [] { return true; };
    steps.advance = [&](int side) {
        if (selected[side] + 1 >= lists[side].size()) return false;
        ++selected[side];
        chooseFile(slots[side], side, joinPath(options.paths[side], lists[side][selected[side]]), reporter);
        return true;
    };
    if (runSeries(slots, reporter, comparisonOptions, steps).refused) return kExitTrouble;
    return status;
}

int compareFiles(const CliOptions& options, CliReporter& reporter) {
    FileSlots slots;
    chooseFile(slots[0], 0, options.paths[0], reporter);
    chooseFile(slots[1], 1, options.paths[1], reporter);
    int status = kExitSame;
    noteResult(ComparisonRun(slots, reporter, FixedOptions(options.comparison)), status);
    return status;
}

}  // namespace

int runCli(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    const ParseOutcome parsed = parseCommandLine(arguments);
    if (!parsed.error.empty()) {
        std::fprintf(err, "vemilo-cli: %s\n\n%s", parsed.error.c_str(), kUsage);
        return kExitTrouble;
    }
    const CliOptions& options = parsed.options;
    if (options.mode == Mode::Help) {
        std::fputs(kUsage, out);
        return kExitSame;
    }
    const TraceRedirect traceRedirect(options.trace, err);
    int status = kExitTrouble;
    try {
        CliReporter reporter(out, err);
        switch (options.mode) {
            case Mode::Info: status = showInfo(options, reporter, out); break;
            case Mode::Continuous: status = compareFolders(options, reporter, err); break;
            default: status = compareFiles(options, reporter); break;
        }
    } catch (const std::exception& error) {
        std::fprintf(err, "vemilo-cli: %s\n", error.what());
        status = kExitTrouble;
    }
    std::fflush(out);
    return status;
}

}  // namespace vemilo::cli
