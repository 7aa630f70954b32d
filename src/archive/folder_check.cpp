#include "archive/folder_check.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "archive/report_resume.h"
#include "wav/text_format.h"
#include "wav/wav_file_list.h"

namespace vemilo::archive {
namespace {

namespace fs = std::filesystem;

uint64_t fileBytes(const std::string& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : size;
}

// The pairs of this run in path order: those of its shard, past those a resumed report holds.
class PairSource {
public:
    PairSource(const FolderCheckOptions& options, std::optional<std::string> resumeAfter)
        : walk_(options.folder1, options.folder2, options.pairByStem),
          shard_(options.shard),
          resumeAfter_(std::move(resumeAfter)) {}

    std::optional<PairedPath> next() {
        while (auto pair = walk_.next()) {
            if (shard_ && shardOf(pair->path, shard_->count) != shard_->index) continue;
            if (resumeAfter_ && !byteOrderLess(*resumeAfter_, pair->path)) continue;
            return pair;
        }
        return std::nullopt;
    }

private:
    PairWalk walk_;
    std::optional<Shard> shard_;
    std::optional<std::string> resumeAfter_;
};

PairReport reportOf(const PairedPath& pair, const FolderCheckOptions& options, PairWorkspace& workspace) {
    const std::string path1 = joinPath(options.folder1, pair.names[0]);
    const std::string path2 = joinPath(options.folder2, pair.names[1]);
    if (!pair.trouble.empty()) {
        return unseenPair(pair.path, pair.inFolder1 ? std::optional(path1) : std::nullopt,
                          pair.inFolder2 ? std::optional(path2) : std::nullopt, pair.trouble);
    }
    if (pair.inFolder1 && pair.inFolder2) {
        PairReport report = reportPair(path1, path2, options.comparison, workspace);
        report.path = pair.path;
        return report;
    }
    return missingPair(pair.path, pair.inFolder1 ? std::optional(path1) : std::nullopt,
                       pair.inFolder2 ? std::optional(path2) : std::nullopt);
}

// Compares pairs on several workers and hands their reports over in path order. Pairs that
// finish early wait in a window of bounded size, so memory does not follow the number of pairs.
// The workers also walk, one at a time, whenever few pairs are left to take; and they take a few
// consecutive pairs at a time: a pair of small files costs less than handing it between threads.
class ParallelPairs {
public:
    // measureBytes: count the bytes of the pairs compared, for a progress line; it costs a stat each.
    ParallelPairs(PairSource& source, const FolderCheckOptions& options, unsigned jobs, bool measureBytes)
        : source_(source), options_(options), jobs_(jobs), capacity_(size_t{jobs} * 64), measureBytes_(measureBytes) {
        for (unsigned i = 0; i < jobs; ++i) workers_.emplace_back([this] { work(); });
    }
    ~ParallelPairs() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        workToDo_.notify_all();
        for (std::thread& worker : workers_) worker.join();
    }

    // The next report in path order; nothing when every pair is reported. progress runs now and
    // then while the next report is awaited.
    template <typename Progress>
    std::optional<PairReport> next(Progress progress) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!(window_.empty() ? walkDone_ : window_.front().report.has_value())) {
            if (frontReady_.wait_for(lock, std::chrono::milliseconds(200)) == std::cv_status::timeout) {
                lock.unlock();
                progress();
                lock.lock();
            }
        }
        if (window_.empty()) return std::nullopt;
        PairReport report = std::move(*window_.front().report);
        window_.pop_front();
        ++first_;
        lock.unlock();
        workToDo_.notify_one();  // the window has room to walk into
        return report;
    }

    uint64_t bytesRead() const { return bytesRead_; }

private:
    static constexpr uint64_t kBatch = 8;

    struct Slot {
        PairedPath pair;
        std::optional<PairReport> report;
    };

    uint64_t untaken() const { return first_ + window_.size() - taken_; }

    void work() {
        PairWorkspace workspace;
        std::vector<PairedPath> batch;
        std::vector<PairReport> reports;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (stopping_) return;
            const bool walkWanted = !walkDone_ && !walking_ && window_.size() < capacity_;
            if (walkWanted && untaken() < kBatch * jobs_) {
                walking_ = true;
                const size_t room = capacity_ - window_.size();
                lock.unlock();
                std::vector<PairedPath> walked;
                bool ended = false;
                while (walked.size() < room) {
                    std::optional<PairedPath> pair = source_.next();
                    if (!pair) {
                        ended = true;
                        break;
                    }
                    walked.push_back(std::move(*pair));
                }
                lock.lock();
                for (PairedPath& pair : walked) window_.push_back({std::move(pair), std::nullopt});
                walking_ = false;
                walkDone_ = ended;
                workToDo_.notify_all();
                if (ended) frontReady_.notify_one();
                continue;
            }
            if (untaken() == 0) {
                workToDo_.wait(lock);
                continue;
            }
            const uint64_t start = taken_;
            const uint64_t count = std::min<uint64_t>(kBatch, untaken());
            taken_ += count;
            batch.clear();
            for (uint64_t index = start; index < start + count; ++index) batch.push_back(window_[index - first_].pair);
            lock.unlock();
            reports.clear();
            for (const PairedPath& pair : batch) {
                reports.push_back(reportOf(pair, options_, workspace));
                if (measureBytes_ && pair.inFolder1 && pair.inFolder2 && pair.trouble.empty())
                    bytesRead_ += fileBytes(joinPath(options_.folder1, pair.names[0])) +
                                  fileBytes(joinPath(options_.folder2, pair.names[1]));
            }
            lock.lock();
            for (uint64_t i = 0; i < count; ++i) window_[start + i - first_].report = std::move(reports[i]);
            if (start == first_) frontReady_.notify_one();
        }
    }

    PairSource& source_;
    const FolderCheckOptions& options_;
    const unsigned jobs_;
    const size_t capacity_;
    const bool measureBytes_;
    std::mutex mutex_;
    std::condition_variable workToDo_;
    std::condition_variable frontReady_;
    std::deque<Slot> window_;
    uint64_t first_ = 0;  // the index of the window's first slot
    uint64_t taken_ = 0;  // the index of the next slot a worker takes
    bool walking_ = false;
    bool walkDone_ = false;
    bool stopping_ = false;
    std::atomic<uint64_t> bytesRead_{0};
    std::vector<std::thread> workers_;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

uint32_t shardOf(const std::string& path, uint32_t count) {
    // FNV-1a over the path's bytes: the same on every machine and every run.
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char byte : path) {
        hash ^= byte;
        hash *= 1099511628211ull;
    }
    return static_cast<uint32_t>(hash % count) + 1;
}

nlohmann::ordered_json optionsJson(const FolderCheckOptions& options) {
    const ComparisonOptions& comparison = options.comparison;
    return {{"zero_skip", comparison.zeroSkip},          {"match_point", comparison.matchPoint},
            {"match_samples", comparison.matchLength},   {"max_lines", comparison.differenceLimit},
            {"resync_window", comparison.resyncSeconds}, {"pair_by_stem", options.pairByStem}};
}

Verdict checkFolders(const FolderCheckOptions& options, std::FILE* out, std::FILE* err) {
    const RunDescription run{options.folder1, options.folder2, optionsJson(options), options.shard, options.runId};
    ResumePoint resumed;
    std::unique_ptr<std::FILE, FileCloser> outputFile;
    if (options.output) {
        if (options.resume) {
            std::string problem;
            if (!takeUpReport(*options.output, run, resumed, problem)) {
                std::fprintf(err, "vemilo-cli: %s: %s\n", escapeControlCharacters(*options.output).c_str(),
                             problem.c_str());
                return Verdict::Trouble;
            }
        }
        outputFile.reset(std::fopen(options.output->c_str(), resumed.resumed ? "ab" : "wb"));
        if (!outputFile) {
            std::fprintf(err, "vemilo-cli: %s: %s\n", escapeControlCharacters(*options.output).c_str(),
                         std::strerror(errno));
            return Verdict::Trouble;
        }
        out = outputFile.get();
    }

    ReportStream report(options.format, out, options.verbose);
    report.summary() = resumed.summary;
    report.begin(run, resumed.resumed);
    PairSource source(options, resumed.lastPath);
    const unsigned jobs = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    // Only a terminal shows progress; elsewhere nothing measures what was read.
    const bool progressShown = options.format == ReportFormat::Text && !options.output && ::isatty(::fileno(err)) == 1;
    if (jobs == 1 && !progressShown) {
        // One worker: no thread to hand pairs to and back.
        PairWorkspace workspace;
        while (const auto pair = source.next()) {
            report.add(reportOf(*pair, options, workspace));
        }
    } else {
        ParallelPairs pairs(source, options, jobs, progressShown);
        const auto started = std::chrono::steady_clock::now();
        uint64_t reported = 0;
        const auto progress = [&] {
            if (!progressShown) return;
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            std::fprintf(err, "\r%llu pairs, %.0f MiB/s ", static_cast<unsigned long long>(reported),
                         seconds > 0 ? static_cast<double>(pairs.bytesRead()) / 1048576.0 / seconds : 0.0);
            std::fflush(err);
        };
        while (auto done = pairs.next(progress)) {
            if (progressShown) std::fputs("\r\033[K", err);
            report.add(*done);
            ++reported;
        }
    }
    report.finish();
    if (outputFile && (std::ferror(outputFile.get()) || std::fflush(outputFile.get()) != 0)) {
        std::fprintf(err, "vemilo-cli: %s: %s\n", escapeControlCharacters(*options.output).c_str(),
                     std::strerror(errno));
        return Verdict::Trouble;
    }
    return verdictOf(report.summary());
}

}  // namespace vemilo::archive
