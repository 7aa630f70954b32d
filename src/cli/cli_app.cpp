#include "cli/cli_app.h"

#include <exception>

#include "cli/cli_host.h"
#include "compare/comparison_run.h"
#include "wav/file_slot.h"
#include "wav/trace.h"
#include "wav/wav_file_list.h"
#include "wav/zero_run_scan.h"

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

bool chooseFile(FileSlots& slots, int side, const std::string& path, Host& host) {
    const bool readable = loadFileSlot(slots[side], side, path, host);
    scanZeroRuns(slots[side], side, host);
    return readable;
}

int showInfo(const CliOptions& options, CliHost& host, std::FILE* out) {
    int status = kExitSame;
    FileSlots slots;
    for (const std::string& path : options.paths) {
        const int before = host.messagesShown();
        if (!chooseFile(slots, 0, path, host) || host.messagesShown() != before) status = kExitTrouble;
        for (const std::string& line : host.info(0)) std::fprintf(out, "%s\n", line.c_str());
    }
    return status;
}

// Folds one comparison's result into the exit status: any difference wins, then any early end.
void noteResult(RunResult result, int& status) {
    if (result == Different) {
        status = kExitDifferent;
    } else if (result != Identical && status == kExitSame) {
        status = kExitTrouble;
    }
}

// Refuses a pair with a side not named, as the Run command does; true when both are named.
bool bothNamed(const FileSlots& slots, Host& host) {
    if (slots[0].path.empty()) {
        host.showMessage("ファイル1が指定されていません");
        return false;
    }
    if (slots[1].path.empty()) {
        host.showMessage("ファイル2が指定されていません");
        return false;
    }
    return true;
}

int compareFolders(const CliOptions& options, CliHost& host, std::FILE* err) {
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
    size_t selected[2] = {0, 0};
    for (int side = 0; side < 2; ++side) {
        if (!lists[side].empty()) chooseFile(slots, side, joinPath(options.paths[side], lists[side][0]), host);
    }
    if (!bothNamed(slots, host)) return kExitTrouble;

    int status = kExitSame;
    for (;;) {
        const RunResult result = ComparisonRun(slots, host);
        noteResult(result, status);
        if (result == Different) break;
        // The next pair: file 1 moves on before the end of list 2 is noticed, as in the window.
        if (selected[0] + 1 == lists[0].size()) break;
        ++selected[0];
        chooseFile(slots, 0, joinPath(options.paths[0], lists[0][selected[0]]), host);
        if (selected[1] + 1 == lists[1].size()) break;
        ++selected[1];
        chooseFile(slots, 1, joinPath(options.paths[1], lists[1][selected[1]]), host);
    }
    return status;
}

int compareFiles(const CliOptions& options, CliHost& host) {
    FileSlots slots;
    chooseFile(slots, 0, options.paths[0], host);
    chooseFile(slots, 1, options.paths[1], host);
    int status = kExitSame;
    noteResult(ComparisonRun(slots, host), status);
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
        CliHost host(options, out, err);
        switch (options.mode) {
            case Mode::Info: status = showInfo(options, host, out); break;
            case Mode::Continuous: status = compareFolders(options, host, err); break;
            default: status = compareFiles(options, host); break;
        }
    } catch (const std::exception& error) {
        std::fprintf(err, "vemilo-cli: %s\n", error.what());
        status = kExitTrouble;
    }
    std::fflush(out);
    return status;
}

}  // namespace vemilo::cli
