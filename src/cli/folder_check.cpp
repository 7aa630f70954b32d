#include "cli/folder_check.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "cli/exit_status.h"
#include "cli/folder_walk.h"
#include "wav/text_format.h"
#include "wav/wav_file_list.h"

namespace vemilo::cli {
namespace {

namespace fs = std::filesystem;

std::string summaryLine(const Summary& summary) {
    return formatText(
        "%llu pairs: %llu identical, %llu different, %llu trouble, %llu missing",
        static_cast<unsigned long long>(summary.pairs), static_cast<unsigned long long>(summary.identical),
        static_cast<unsigned long long>(summary.different), static_cast<unsigned long long>(summary.trouble),
        static_cast<unsigned long long>(summary.missing));
}

// The pair's line: its verdict, its path and, when there is one, what makes it not identical.
std::string pairLine(const PairReport& report) {
    std::string line = std::string(pairVerdictName(report.verdict)) + "\t" + escapeControlCharacters(report.path);
    const RunOutcome& outcome = report.outcome;
    if (report.verdict == PairVerdict::Different && !outcome.gaps.empty()) {
        uint64_t missing = 0, inserted = 0;
        for (const Gap& gap : outcome.gaps) (gap.kind == Gap::Kind::Missing ? missing : inserted) += gap.frames;
        line += formatText("\t%zu gap%s: %llu frames missing from file 2, %llu inserted, the first at frame %llu",
                           outcome.gaps.size(), outcome.gaps.size() == 1 ? "" : "s",
                           static_cast<unsigned long long>(missing), static_cast<unsigned long long>(inserted),
                           static_cast<unsigned long long>(outcome.gaps.front().file1Frame));
        line += outcome.differences == 0
                    ? std::string("; every other frame agreed")
                    : formatText("; %llu differing frames", static_cast<unsigned long long>(outcome.differences));
        if (outcome.end == ComparisonEnd::File1Ended || outcome.end == ComparisonEnd::File2Ended)
            line += "; " + report.message;
    } else if (report.verdict == PairVerdict::Different && outcome.differences != 0) {
        line += formatText("\t%llu%s differing frames, the first at frame %llu",
                           static_cast<unsigned long long>(outcome.differences),
                           outcome.end == ComparisonEnd::LimitExceeded ? " or more" : "",
                           static_cast<unsigned long long>((*outcome.firstDifference)[0]));
        if (outcome.end == ComparisonEnd::File1Ended || outcome.end == ComparisonEnd::File2Ended)
            line += "; " + report.message;
    } else if (!report.message.empty()) {
        line += "\t" + report.message;
    }
    // "identical" after alignment means every frame compared agreed, not every frame of the files.
    const auto& skipped = outcome.skipped;
    if (report.compared && (skipped[0] != 0 || skipped[1] != 0)) {
        line += formatText("%saligned: %llu frames of file 1 and %llu of file 2 were skipped",
                           line.find('\t', line.find('\t') + 1) == std::string::npos ? "\t" : "; ",
                           static_cast<unsigned long long>(skipped[0]), static_cast<unsigned long long>(skipped[1]));
    }
    return line;
}

// The relative path without the extension of its file name.
std::string stemOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
    return path.substr(0, dot);
}

uint64_t fileBytes(const std::string& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
}

}  // namespace

std::vector<PairedPath> pairFolders(const std::string& folder1, const std::string& folder2, bool byStem) {
    const TreeWalk walks[2] = {walkWavTree(folder1), walkWavTree(folder2)};
    std::map<std::string, PairedPath> byPath;
    // Folders a side could not read, by their paths ("" for the top folder): what lies below them
    // there was never seen.
    std::vector<std::pair<std::string, std::string>> blind[2];
    const auto addTrouble = [&](const std::string& path, int side, const std::string& problem) {
        PairedPath& pair = byPath[path];
        pair.path = path;
        if (!pair.trouble.empty()) pair.trouble += "; ";
        pair.trouble += formatText("folder %d: ", side + 1) + problem;
    };
    for (int side = 0; side < 2; ++side) {
        if (walks[side].topProblem) {
            blind[side].emplace_back("", *walks[side].topProblem);
            addTrouble("./", side, *walks[side].topProblem);
        }
        for (const WalkEntry& entry : walks[side].entries) {
            switch (entry.kind) {
                case WalkEntry::Kind::File: {
                    const std::string key = byStem ? stemOf(entry.path) : entry.path;
                    PairedPath& pair = byPath[key];
                    pair.path = key;
                    bool& present = side == 0 ? pair.inFolder1 : pair.inFolder2;
                    // Which of two copies of one stem is the copy is not for the tool to guess.
                    if (present) {
                        addTrouble(key, side,
                                   "more than one file for " + key + ": " + pair.names[side] + ", " + entry.path);
                    }
                    present = true;
                    pair.names[side] = entry.path;
                    break;
                }
                case WalkEntry::Kind::FolderTrouble:
                    blind[side].emplace_back(entry.path, entry.problem);
                    addTrouble(entry.path, side, entry.problem);
                    break;
                case WalkEntry::Kind::Trouble: addTrouble(entry.path, side, entry.problem); break;
            }
        }
    }
    for (auto& [path, pair] : byPath) {
        for (std::string& name : pair.names) {
            if (name.empty()) name = path;
        }
    }
    // A file seen on one side only, below a folder the other side could not read, may well have a
    // partner there: trouble, not missing.
    for (auto& [path, pair] : byPath) {
        if (!pair.trouble.empty() || pair.inFolder1 == pair.inFolder2) continue;
        const int other = pair.inFolder1 ? 1 : 0;
        for (const auto& [folder, problem] : blind[other]) {
            if (path.compare(0, folder.size(), folder) != 0) continue;
            pair.trouble =
                formatText("folder %d: ", other + 1) + (folder.empty() ? std::string("./") : folder) + ": " + problem;
            break;
        }
    }
    std::vector<std::string> order;
    for (const auto& entry : byPath) order.push_back(entry.first);
    sortFileNames(order);
    std::vector<PairedPath> pairs;
    for (const std::string& path : order) pairs.push_back(byPath[path]);
    return pairs;
}

uint32_t shardOf(const std::string& path, uint32_t count) {
    // FNV-1a over the path's bytes: the same on every machine and every run.
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char byte : path) {
        hash ^= byte;
        hash *= 1099511628211ull;
    }
    return static_cast<uint32_t>(hash % count) + 1;
}

int checkFolders(const FolderCheckOptions& options, std::FILE* out, std::FILE* err) {
    std::vector<PairedPath> pairs;
    for (const PairedPath& pair : pairFolders(options.folder1, options.folder2, options.pairByStem)) {
        if (!options.shard || shardOf(pair.path, options.shard->count) == options.shard->index) pairs.push_back(pair);
    }

    // Workers take pairs in turn; the reports are written in path order as they become ready.
    std::vector<std::optional<PairReport>> reports(pairs.size());
    std::mutex mutex;
    std::condition_variable ready;
    std::atomic<size_t> nextPair{0};
    std::atomic<uint64_t> bytesRead{0};
    // Only a terminal shows progress; elsewhere nothing measures what was read.
    const bool progressShown = !options.json && ::isatty(::fileno(err)) == 1;
    const auto work = [&] {
        PairWorkspace workspace;
        for (size_t index; (index = nextPair++) < pairs.size();) {
            const PairedPath& pair = pairs[index];
            const std::string path1 = joinPath(options.folder1, pair.names[0]);
            const std::string path2 = joinPath(options.folder2, pair.names[1]);
            PairReport report;
            if (!pair.trouble.empty()) {
                report = unseenPair(pair.path, pair.inFolder1 ? std::optional(path1) : std::nullopt,
                                    pair.inFolder2 ? std::optional(path2) : std::nullopt, pair.trouble);
            } else if (pair.inFolder1 && pair.inFolder2) {
                report = reportPair(path1, path2, options.comparison, workspace);
                report.path = pair.path;
                if (progressShown) bytesRead += fileBytes(path1) + fileBytes(path2);
            } else {
                report = missingPair(pair.path, pair.inFolder1 ? std::optional(path1) : std::nullopt,
                                     pair.inFolder2 ? std::optional(path2) : std::nullopt);
            }
            const std::lock_guard<std::mutex> lock(mutex);
            reports[index] = std::move(report);
            ready.notify_all();
        }
    };
    const unsigned jobs =
        std::max(1u, std::min<unsigned>(options.jobs ? options.jobs : std::thread::hardware_concurrency(),
                                        static_cast<unsigned>(std::max<size_t>(pairs.size(), 1))));
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < jobs; ++i) workers.emplace_back(work);

    const auto started = std::chrono::steady_clock::now();
    std::vector<PairReport> done;
    for (size_t index = 0; index < pairs.size(); ++index) {
        std::unique_lock<std::mutex> lock(mutex);
        while (!reports[index]) {
            if (progressShown) {
                const double seconds =
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
                std::fprintf(err, "\r%zu / %zu pairs, %.0f MiB/s ", index, pairs.size(),
                             seconds > 0 ? static_cast<double>(bytesRead.load()) / 1048576.0 / seconds : 0.0);
                std::fflush(err);
            }
            ready.wait_for(lock, std::chrono::milliseconds(200));
        }
        PairReport report = std::move(*reports[index]);
        reports[index].reset();
        lock.unlock();
        if (progressShown) std::fputs("\r\033[K", err);
        if (!options.json) {
            if (options.verbose) {
                for (const std::string& line : report.log) std::fprintf(out, "%s\n", line.c_str());
            }
            std::fprintf(out, "%s\n", pairLine(report).c_str());
        }
        report.log.clear();  // the report keeps what the summary and the JSON need, not the log
        done.push_back(std::move(report));
    }
    for (std::thread& worker : workers) worker.join();

    const Summary summary = summarize(done);
    if (options.json) {
        const std::string text = jsonText(reportJson(done, options.shard));
        std::fwrite(text.data(), 1, text.size(), out);
    } else {
        std::fprintf(out, "%s\n", summaryLine(summary).c_str());
    }
    return exitStatus(verdictOf(summary));
}

}  // namespace vemilo::cli
