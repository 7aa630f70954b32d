#include "cli/cli_app.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>

#include "archive/folder_check.h"
#include "archive/json_report.h"
#include "archive/merge_reports.h"
#include "cli/checksum_commands.h"
#include "cli/cli_options.h"
#include "cli/cli_reporter.h"
#include "cli/exit_status.h"
#include "compare/compare_pair.h"
#include "compare/options.h"
#include "compare/residue_writer.h"
#include "compare/run_series.h"
#include "wav/choose_file.h"
#include "wav/text_format.h"
#include "wav/trace.h"
#include "wav/wav_file_list.h"
#include "wav/zero_run_scan.h"

namespace vemilo::cli {
namespace {

using namespace vemilo::archive;

// Restores the default trace sink when the run ends.
class TraceRedirect {
public:
    TraceRedirect(bool enabled, std::FILE* err)
        : previous_(setTraceSink(
              enabled ? TraceSink([err](const std::string& line) { std::fwrite(line.data(), 1, line.size(), err); })
                      : TraceSink())) {}
    ~TraceRedirect() { setTraceSink(previous_); }
    TraceRedirect(const TraceRedirect&) = delete;
    TraceRedirect& operator=(const TraceRedirect&) = delete;

private:
    TraceSink previous_;
};

// Says on standard error, as cmp does, why a file cannot be compared.
std::function<void(int, const WavError&)> reportUnusable(const FileSlots& slots, std::FILE* err) {
    return [&slots, err](int side, const WavError& error) {
        if (error)
            std::fprintf(err, "vemilo-cli: %s: %s\n", escapeControlCharacters(slots[side].path).c_str(),
                         describeError(error).c_str());
    };
}

void printJson(const std::vector<PairReport>& reports, std::FILE* out) {
    const std::string text = jsonText(reportJson(reports));
    std::fwrite(text.data(), 1, text.size(), out);
}

int showInfo(const CliOptions& options, CliReporter& reporter, std::FILE* out, std::FILE* err) {
    Verdict worst = Verdict::Identical;
    FileSlots slots;
    ScanBuffer scanBuffer;  // one buffer for every scan of the run
    const auto tell = reportUnusable(slots, err);
    for (const std::string& path : options.paths) {
        const WavError error = chooseFile(slots[0], 0, path, reporter, &scanBuffer);
        // Each block is headed by its file, so that every line can be told apart (the window's
        // pane says "ファイル1" instead).
        std::fprintf(out, "%s\n", escapeControlCharacters(path).c_str());
        tell(0, error);
        if (error) {
            worst = Verdict::Trouble;  // the reason is on standard error; no format to show
            continue;
        }
        if (slots[0].missingDataBytes != 0) {
            std::fprintf(err, "vemilo-cli: %s: the data chunk declares %llu bytes more than the file holds\n",
                         escapeControlCharacters(path).c_str(),
                         static_cast<unsigned long long>(slots[0].missingDataBytes));
            worst = Verdict::Trouble;
        }
        const std::vector<std::string>& lines = reporter.info(0);
        for (size_t i = 1; i < lines.size(); ++i) std::fprintf(out, "%s\n", lines[i].c_str());
    }
    return exitStatus(worst);
}

int compareContinuous(const CliOptions& options, Reporter& reporter, std::FILE* out, std::FILE* err) {
    std::vector<std::string> lists[2];
    for (int side = 0; side < 2; ++side) {
        const auto listing = listWavFolder(options.paths[side]);
        if (!listing) {
            std::fprintf(err, "vemilo-cli: %s: %s\n", escapeControlCharacters(options.paths[side]).c_str(),
                         std::strerror(errno ? errno : ENOENT));
            return kExitTrouble;
        }
        lists[side] = listing->names;
    }
    FileSlots slots;
    const auto tell = reportUnusable(slots, err);
    // Each list starts at its first file, as the window's lists do with their first rows selected.
    {
        PairWorkspace workspace;
        PairFiles first{{}, tell};
        for (int side = 0; side < 2; ++side) {
            if (!lists[side].empty()) first.paths[side] = joinPath(options.paths[side], lists[side][0]);
        }
        loadPairFiles(slots, first, reporter, workspace);
    }

    size_t selected[2] = {0, 0};
    std::vector<PairReport> reports;
    SeriesSteps steps;
    steps.compared = [&](const RunOutcome& outcome) {
        if (options.json) reports.push_back(reportOf(slots, outcome));
    };
    steps.continuous = [] { return true; };
    steps.nextFile = [&](int side) -> std::optional<std::string> {
        if (selected[side] + 1 >= lists[side].size()) return std::nullopt;
        return joinPath(options.paths[side], lists[side][++selected[side]]);
    };
    steps.loaded = tell;
    const SeriesOutcome series = runSeries(slots, reporter, FixedOptions(options.comparison), steps);
    if (options.json && !series.refused) printJson(reports, out);
    return series.refused ? kExitTrouble : exitStatus(series.worst);
}

int compareFiles(const CliOptions& options, Reporter& reporter, std::FILE* out, std::FILE* err) {
    FileSlots slots;
    PairWorkspace workspace;
    std::unique_ptr<ResidueWriter> residue;
    if (options.residue) {
        if (const auto refusal = ResidueWriter::refusal(*options.residue, {options.paths[0], options.paths[1]})) {
            std::fprintf(err, "vemilo-cli: %s: %s\n", escapeControlCharacters(*options.residue).c_str(),
                         refusal->c_str());
            return kExitTrouble;
        }
        residue = std::make_unique<ResidueWriter>(*options.residue);
        workspace.residue = residue.get();
    }
    const RunOutcome outcome = comparePair(slots, {{options.paths[0], options.paths[1]}, reportUnusable(slots, err)},
                                           reporter, FixedOptions(options.comparison), workspace);
    if (options.json) printJson({reportOf(slots, outcome)}, out);
    if (residue) {
        if (const auto problem = residue->finish()) {
            std::fprintf(err, "vemilo-cli: %s: %s\n", escapeControlCharacters(*options.residue).c_str(),
                         problem->c_str());
            return kExitTrouble;
        }
    }
    return exitStatus(verdictOf(outcome));
}

// With --json the log is kept back and the messages still go to standard error.
class JsonModeReporter : public CliReporter {
public:
    using CliReporter::CliReporter;
    void logLine(const std::string&) override {}
};

// Everything written must have reached standard output: a report cut short by a full disk must
// never leave an exit status that says all was well.
int checkOutput(std::FILE* out, std::FILE* err, int status) {
    errno = 0;
    if (std::fflush(out) != 0 || std::ferror(out)) {
        std::fprintf(err, "vemilo-cli: write error: %s\n", std::strerror(errno ? errno : EIO));
        return kExitTrouble;
    }
    return status;
}

}  // namespace

int runCli(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err) {
    const ParseOutcome parsed = parseCommandLine(arguments);
    if (!parsed.error.empty()) {
        std::fprintf(err, "vemilo-cli: %s\nTry 'vemilo-cli --help' for more information.\n", parsed.error.c_str());
        return kExitTrouble;
    }
    const CliOptions& options = parsed.options;
    if (options.mode == Mode::Help || options.mode == Mode::Version) {
        std::fputs(options.mode == Mode::Help ? helpText().c_str() : kVersion.c_str(), out);
        return checkOutput(out, err, exitStatus(Verdict::Identical));
    }
    // -s: whatever the mode would write goes nowhere; only the exit status is left.
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> nowhere(
        options.quiet ? std::fopen("/dev/null", "w") : nullptr, std::fclose);
    if (options.quiet && nowhere) out = err = nowhere.get();
    const TraceRedirect traceRedirect(options.trace, err);
    int status = kExitTrouble;
    try {
        if (options.mode == Mode::Folders) {
            FolderCheckOptions check;
            check.folder1 = options.paths[0];
            check.folder2 = options.paths[1];
            check.comparison = options.comparison;
            check.jobs = options.jobs;
            check.verbose = options.verbose;
            check.format = options.jsonLines ? ReportFormat::JsonLines
                           : options.json    ? ReportFormat::Json
                                             : ReportFormat::Text;
            check.shard = options.shard;
            check.pairByStem = options.pairByStem;
            check.runId = options.runId;
            check.output = options.output;
            check.resume = options.resume;
            status = exitStatus(checkFolders(check, out, err));
        } else if (options.mode == Mode::Md5) {
            status = printChecksums(options.paths, out, err);
        } else if (options.mode == Mode::CheckMd5) {
            status = checkChecksums(options.checksumList, out, err);
        } else if (options.mode == Mode::MergeReports) {
            status = exitStatus(mergeReports(
                {options.paths, options.jsonLines ? ReportFormat::JsonLines : ReportFormat::Json, options.output}, out,
                err));
        } else {
            std::unique_ptr<CliReporter> reporter =
                options.json ? std::make_unique<JsonModeReporter>(out, err) : std::make_unique<CliReporter>(out, err);
            switch (options.mode) {
                case Mode::Info: status = showInfo(options, *reporter, out, err); break;
                case Mode::Continuous: status = compareContinuous(options, *reporter, out, err); break;
                default: status = compareFiles(options, *reporter, out, err); break;
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(err, "vemilo-cli: %s\n", error.what());
        status = kExitTrouble;
    }
    return checkOutput(out, err, status);
}

}  // namespace vemilo::cli
