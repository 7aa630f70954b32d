#include "archive/folder_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "archive/output_file.h"
#include "archive/parallel_pairs.h"
#include "archive/report_reader.h"
#include "archive/report_resume.h"
#include "archive/report_stream.h"
#include "compare/option_text.h"
#include "wav/text_format.h"
#include "wav/wav_file_list.h"

namespace vemilo::archive {
namespace {

using Json = nlohmann::ordered_json;

std::optional<std::string> fileOf(const std::string& folder, const PairedPath& pair, int side) {
    const bool present = side == 0 ? pair.inFolder1 : pair.inFolder2;
    return present ? std::optional(joinPath(folder, pair.names[side])) : std::nullopt;
}

PairReport reportOf(const PairedPath& pair, const FolderCheckOptions& options, PairWorkspace& workspace) {
    const auto file1 = fileOf(options.folder1, pair, 0), file2 = fileOf(options.folder2, pair, 1);
    if (!pair.trouble.empty()) return unseenPair(pair.path, file1, file2, pair.trouble);
    if (file1 && file2) {
        PairReport report = reportPair(*file1, *file2, options.comparison, workspace, options.verbose);
        report.path = pair.path;
        return report;
    }
    return missingPair(pair.path, file1, file2);
}

uint64_t fileBytes(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
}

Verdict complain(std::FILE* err, const std::string& what, const std::string& problem) {
    std::fprintf(err, "vemilo-cli: %s: %s\n", escapeControlCharacters(what).c_str(), problem.c_str());
    return Verdict::Trouble;
}

int64_t wholeNumber(const std::string& text) { return parseWholeNumber(text).value_or(-1); }

// Compares each pair the walk gives on the jobs asked for, writing each line as it is done; only
// a terminal shows progress.
void compareEveryPair(const FolderCheckOptions& options, const std::function<std::optional<PairedPath>()>& walkShard,
                      ReportStream& report, std::FILE* err) {
    const ComparePair compare = [&](const PairedPath& pair, PairWorkspace& workspace) {
        return reportOf(pair, options, workspace);
    };
    const FormatPair format = [&](const PairReport& done) { return report.format(done); };
    const unsigned jobs = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    const bool progressShown = options.format == ReportFormat::Text && !options.output && ::isatty(::fileno(err)) == 1;
    if (jobs == 1 && !progressShown) {
        // One worker: no thread to hand pairs to and back.
        PairWorkspace workspace;
        while (const auto pair = walkShard()) report.write(comparePair(compare, format, *pair, workspace));
    } else {
        std::atomic<uint64_t> bytesRead{0}, reported{0};
        ParallelPairs pairs(
            walkShard,
            [&](const PairedPath& pair, PairWorkspace& workspace) {
                if (progressShown && pair.inFolder1 && pair.inFolder2) {
                    bytesRead += fileBytes(joinPath(options.folder1, pair.names[0])) +
                                 fileBytes(joinPath(options.folder2, pair.names[1]));
                }
                return compare(pair, workspace);
            },
            format,
            [&](FormattedPair&& done) {
                if (progressShown) std::fputs("\r\033[K", err);
                report.write(done);
                ++reported;
            },
            jobs);
        const auto started = std::chrono::steady_clock::now();
        pairs.wait([&] {
            if (!progressShown) return;
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            std::fprintf(err, "\r%llu pairs, %.0f MiB/s ", static_cast<unsigned long long>(reported.load()),
                         seconds > 0 ? static_cast<double>(bytesRead) / 1048576.0 / seconds : 0.0);
            std::fflush(err);
        });
    }
}

}  // namespace

ReportHeader headerOf(const FolderCheckOptions& options) {
    const ComparisonOptions& comparison = options.comparison;
    ReportHeader header;
    header.folders = std::array<std::string, 2>{options.folder1, options.folder2};
    header.options = Json{{"zero_skip", comparison.zeroSkip},
                          {"match_point", comparison.matchPoint},
                          {"match_samples", wholeNumber(comparison.matchLength)},
                          {"max_lines", wholeNumber(comparison.differenceLimit)},
                          {"resync_window", comparison.resyncSeconds},
                          {"pair_by_stem", options.pairByStem},
                          {"measure", comparison.measure},
                          {"tolerance", comparison.tolerance ? Json(*comparison.tolerance) : Json(nullptr)}};
    header.shard = options.shard;
    header.runId = options.runId;
    header.started = utcNow();
    return header;
}

Verdict checkFolders(const FolderCheckOptions& options, std::FILE* out, std::FILE* err) {
    ReportHeader header = headerOf(options);
    TakenUpReport taken;
    FileHandle file;
    std::optional<RemoveOnSignal> removeOnSignal;
    const std::string partial = options.output.value_or("") + ".partial";
    if (options.output) {
        const std::string& path = *options.output;
        if (const auto refusal = outputRefusal(path)) return complain(err, path, *refusal);
        std::string problem;
        if (options.resume && !takeUpReport(path, header, taken, problem)) return complain(err, path, problem);
        if (taken.state == TakenUpReport::State::Complete) {
            complain(err, path,
                     "complete since " + taken.trailer->ended.value_or("an unknown time") + ": nothing compared");
            return verdictOf(taken.trailer->summary);
        }
        // A report being taken up is written anew beside it and put in its place once its pairs are
        // carried over: an interruption meanwhile leaves it as it was.
        const bool rewrite = taken.state == TakenUpReport::State::Partial;
        if (rewrite) removeOnSignal.emplace(partial);
        file = createAnew(rewrite ? partial : path);
        if (!file) return complain(err, rewrite ? partial : path, std::strerror(errno));
        out = file.get();
    }

    PairWalk walk(options.folder1, options.folder2, options.pairByStem);
    std::optional<PairedPath> carried;  // the first pair past a resumed report, met while carrying it over
    const auto walkShard = [&]() -> std::optional<PairedPath> {
        if (carried) return std::exchange(carried, std::nullopt);
        while (auto pair = walk.next()) {
            if (!options.shard || shardOf(pair->path, options.shard->count) == options.shard->index) return pair;
        }
        return std::nullopt;
    };
    ReportStream report(options.format, out, options.verbose);
    if (taken.state == TakenUpReport::State::Partial) {
        header.started = taken.header.started;  // the run began when its report did
        report.begin(header);
        try {
            std::optional<PairedPath> next;
            replayReport(*options.output, taken, {options.folder1, options.folder2}, walkShard, next, report);
            carried = std::move(next);
        } catch (const ReportFault& fault) {
            ::unlink(partial.c_str());
            return complain(err, *options.output, fault.text());
        }
        if (!finishWriting(out) || std::rename(partial.c_str(), options.output->c_str()) != 0) {
            const int error = errno;
            ::unlink(partial.c_str());
            return complain(err, *options.output, std::strerror(error));
        }
        removeOnSignal.reset();
    } else {
        report.begin(header);
    }

    compareEveryPair(options, walkShard, report, err);
    const TreeRecord trees = walk.trees();
    report.finish(trees, utcNow());
    if (file && !finishWriting(file.get())) return complain(err, *options.output, std::strerror(errno));
    if (trees.entries[0] == 0 && trees.entries[1] == 0)
        std::fprintf(err, "vemilo-cli: no audio file in either folder: nothing was compared\n");
    return verdictOf(report.summary());
}

}  // namespace vemilo::archive
