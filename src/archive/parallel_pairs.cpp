#include "archive/parallel_pairs.h"

#include <algorithm>
#include <chrono>

namespace vemilo::archive {
namespace {

// Consecutive pairs a worker takes at once when many wait: handing a pair of small files between
// threads costs about as much as comparing it.
constexpr uint64_t kLargestBatch = 8;
// Pairs walked ahead per job: enough that no worker waits on the walk.
constexpr size_t kWindowPerJob = 64;

}  // namespace

PairReport compareGuarded(const ComparePair& compare, const PairedPath& pair, PairWorkspace& workspace) {
    try {
        return compare(pair, workspace);
    } catch (const std::exception& error) {
        return unseenPair(pair.path, std::nullopt, std::nullopt, std::string("could not be compared: ") + error.what());
    } catch (...) {
        return unseenPair(pair.path, std::nullopt, std::nullopt, "could not be compared");
    }
}

ParallelPairs::ParallelPairs(NextPair next, ComparePair compare, unsigned jobs)
    : nextPair_(std::move(next)), compare_(std::move(compare)), jobs_(jobs), capacity_(size_t{jobs} * kWindowPerJob) {
    for (unsigned i = 0; i < jobs; ++i) workers_.emplace_back([this] { work(); });
}

ParallelPairs::~ParallelPairs() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    workToDo_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

std::optional<PairReport> ParallelPairs::next(const std::function<void()>& progress) {
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

// Walks as far as the window has room, outside the lock, so that the others go on comparing.
void ParallelPairs::walk(std::unique_lock<std::mutex>& lock) {
    walking_ = true;
    const size_t room = capacity_ - window_.size();
    lock.unlock();
    std::vector<PairedPath> walked;
    bool ended = false;
    while (walked.size() < room) {
        std::optional<PairedPath> pair = nextPair_();
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
}

void ParallelPairs::work() {
    PairWorkspace workspace;
    std::vector<PairedPath> batch;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (stopping_) return;
        if (!walkDone_ && !walking_ && window_.size() < capacity_ && untaken() < kLargestBatch * jobs_) {
            walk(lock);
            continue;
        }
        if (untaken() == 0) {
            workToDo_.wait(lock);
            continue;
        }
        // Small batches when few pairs wait, so that a few large files still keep every job busy.
        const uint64_t start = taken_;
        const uint64_t count = std::clamp<uint64_t>(untaken() / (2 * uint64_t{jobs_}), 1, kLargestBatch);
        taken_ += count;
        batch.clear();
        for (uint64_t index = start; index < start + count; ++index) batch.push_back(window_[index - first_].pair);
        lock.unlock();
        for (uint64_t i = 0; i < count; ++i) {
            PairReport report = compareGuarded(compare_, batch[i], workspace);
            lock.lock();
            window_[start + i - first_].report = std::move(report);
            if (start + i == first_) frontReady_.notify_one();
            lock.unlock();
        }
        lock.lock();
    }
}

}  // namespace vemilo::archive
