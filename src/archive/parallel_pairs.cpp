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

FormattedPair comparePair(const ComparePair& compare, const FormatPair& format, const PairedPath& pair,
                          PairWorkspace& workspace) {
    std::string failure;
    try {
        return format(compare(pair, workspace));
    } catch (const std::exception& error) {
        failure = std::string("could not be compared: ") + error.what();
    } catch (...) {
        failure = "could not be compared";
    }
    return format(unseenPair(pair.path, std::nullopt, std::nullopt, failure));
}

ParallelPairs::ParallelPairs(std::function<std::optional<PairedPath>()> next, ComparePair compare, FormatPair format,
                             std::function<void(FormattedPair&&)> deliver, unsigned jobs)
    : next_(std::move(next)),
      compare_(std::move(compare)),
      format_(std::move(format)),
      deliver_(std::move(deliver)),
      jobs_(jobs),
      capacity_(size_t{jobs} * kWindowPerJob) {
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

void ParallelPairs::wait(const std::function<void()>& progress) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!(walkDone_ && window_.empty() && !delivering_)) {
        if (allDone_.wait_for(lock, std::chrono::milliseconds(200)) == std::cv_status::timeout) {
            lock.unlock();
            progress();
            lock.lock();
        }
    }
}

// Walks as far as the window has room, outside the lock, so that the others go on comparing.
void ParallelPairs::walk(std::unique_lock<std::mutex>& lock) {
    walking_ = true;
    const size_t room = capacity_ - window_.size();
    lock.unlock();
    std::vector<PairedPath> walked;
    bool ended = false;
    while (walked.size() < room) {
        std::optional<PairedPath> pair = next_();
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
    if (ended && window_.empty()) allDone_.notify_all();
}

// Delivers the finished pairs at the window's front, outside the lock; one worker at a time.
void ParallelPairs::deliverReady(std::unique_lock<std::mutex>& lock) {
    if (delivering_) return;
    delivering_ = true;
    while (!window_.empty() && window_.front().done) {
        FormattedPair done = std::move(*window_.front().done);
        window_.pop_front();
        ++first_;
        lock.unlock();
        deliver_(std::move(done));
        lock.lock();
    }
    delivering_ = false;
    workToDo_.notify_all();  // the window has room to walk into
    if (walkDone_ && window_.empty()) allDone_.notify_all();
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
            FormattedPair done = comparePair(compare_, format_, batch[i], workspace);
            lock.lock();
            window_[start + i - first_].done = std::move(done);
            if (start + i == first_) deliverReady(lock);
            lock.unlock();
        }
        lock.lock();
    }
}

}  // namespace vemilo::archive
