#pragma once
// Pairs compared on several workers and delivered in the order they were walked, each as soon as
// it and every pair before it are done. The worker that finishes the first pair not yet delivered
// delivers it and every finished one after it, so that no thread waits on another to write.
// Pairs done early wait in a window of bounded size: memory does not follow the number of pairs.

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
#include "archive/report_stream.h"

namespace vemilo::archive {

using ComparePair = std::function<PairReport(const PairedPath&, PairWorkspace&)>;
using FormatPair = std::function<FormattedPair(const PairReport&)>;

// The pair compared and formatted; trouble, naming the failure, when the comparison threw (memory
// ran out, say), so that one pair can never end the run nor a worker take the program down.
FormattedPair comparePair(const ComparePair& compare, const FormatPair& format, const PairedPath& pair,
                          PairWorkspace& workspace);

class ParallelPairs {
public:
    // next: the walk, taken by one worker at a time; deliver: called in walk order, one at a time.
    ParallelPairs(std::function<std::optional<PairedPath>()> next, ComparePair compare, FormatPair format,
                  std::function<void(FormattedPair&&)> deliver, unsigned jobs);
    ~ParallelPairs();
    ParallelPairs(const ParallelPairs&) = delete;
    ParallelPairs& operator=(const ParallelPairs&) = delete;

    // Waits until every pair is delivered; progress runs every 200 ms meanwhile, on this thread.
    void wait(const std::function<void()>& progress);

private:
    struct Slot {
        PairedPath pair;
        std::optional<FormattedPair> done;
    };

    uint64_t untaken() const { return first_ + window_.size() - taken_; }
    void work();
    void walk(std::unique_lock<std::mutex>& lock);
    void deliverReady(std::unique_lock<std::mutex>& lock);

    std::function<std::optional<PairedPath>()> next_;
    ComparePair compare_;
    FormatPair format_;
    std::function<void(FormattedPair&&)> deliver_;
    const unsigned jobs_;
    const size_t capacity_;
    std::mutex mutex_;
    std::condition_variable workToDo_;
    std::condition_variable allDone_;
    std::deque<Slot> window_;
    uint64_t first_ = 0;  // the index of the window's first slot
    uint64_t taken_ = 0;  // the index of the next slot a worker takes
    bool walking_ = false;
    bool walkDone_ = false;
    bool delivering_ = false;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace vemilo::archive
