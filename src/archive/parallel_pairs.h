#pragma once
// Pairs compared on several workers and handed back in the order they were walked, each as soon
// as it and every pair before it are done. Pairs done early wait in a window of bounded size, so
// memory does not follow the number of pairs.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "archive/pair_report.h"
#include "archive/pair_walk.h"

namespace vemilo::archive {

using ComparePair = std::function<PairReport(const PairedPath&, PairWorkspace&)>;

// The pair's report; trouble, naming the failure, when the comparison threw (memory ran out, say),
// so that one pair can never end the run nor a worker take the program down.
PairReport compareGuarded(const ComparePair& compare, const PairedPath& pair, PairWorkspace& workspace);

class ParallelPairs {
public:
    // next: the walk, taken by one worker at a time. compare: one pair's report.
    using NextPair = std::function<std::optional<PairedPath>()>;

    ParallelPairs(NextPair next, ComparePair compare, unsigned jobs);
    ~ParallelPairs();
    ParallelPairs(const ParallelPairs&) = delete;
    ParallelPairs& operator=(const ParallelPairs&) = delete;

    // The next report in walk order; nothing when every pair is reported. progress runs now and
    // then while the next report is awaited.
    std::optional<PairReport> next(const std::function<void()>& progress);

private:
    struct Slot {
        PairedPath pair;
        std::optional<PairReport> report;
    };

    uint64_t untaken() const { return first_ + window_.size() - taken_; }
    void work();
    void walk(std::unique_lock<std::mutex>& lock);

    NextPair nextPair_;
    ComparePair compare_;
    const unsigned jobs_;
    const size_t capacity_;
    std::mutex mutex_;
    std::condition_variable workToDo_;
    std::condition_variable frontReady_;
    std::deque<Slot> window_;
    uint64_t first_ = 0;  // the index of the window's first slot
    uint64_t taken_ = 0;  // the index of the next slot a worker takes
    bool walking_ = false;
    bool walkDone_ = false;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace vemilo::archive
