// The worker pool of folder runs: walk order kept whatever finishes first, a few large pairs
// spread over every job, and a comparison that throws made trouble, never the end of the run.

#include "archive/parallel_pairs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace vemilo::archive {
namespace {

// Pairs named 0 to count - 1, walked in that order.
std::function<std::optional<PairedPath>()> walkOf(int count) {
    auto next = std::make_shared<int>(0);
    return [next, count]() -> std::optional<PairedPath> {
        if (*next == count) return std::nullopt;
        PairedPath pair;
        pair.path = std::to_string((*next)++);
        return pair;
    };
}

FormattedPair formatted(const PairReport& report) { return {report.verdict, report.path.value_or("?")}; }

TEST(ParallelPairs, DeliversInWalkOrderAndMakesAThrowingComparisonTrouble) {
    std::vector<std::string> delivered;
    std::vector<PairVerdict> verdicts;
    {
        ParallelPairs pairs(
            walkOf(200),
            [](const PairedPath& pair, PairWorkspace&) {
                const int index = std::stoi(pair.path);
                // Later pairs finish first now and then.
                if (index % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
                if (index == 42) throw std::runtime_error("out of memory");
                PairReport report;
                report.path = pair.path;
                report.verdict = PairVerdict::Identical;
                return report;
            },
            formatted,
            [&](FormattedPair&& done) {
                delivered.push_back(done.text);
                verdicts.push_back(done.verdict);
            },
            3);
        pairs.wait([] {});
    }
    ASSERT_EQ(delivered.size(), 200u);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(delivered[static_cast<size_t>(i)], std::to_string(i));
        EXPECT_EQ(verdicts[static_cast<size_t>(i)], i == 42 ? PairVerdict::Trouble : PairVerdict::Identical) << i;
    }
}

// Three large pairs on two jobs: both work at once, though fewer pairs wait than a batch holds.
TEST(ParallelPairs, AFewLargePairsKeepEveryJobBusy) {
    std::atomic<int> running{0}, most{0};
    int delivered = 0;
    {
        ParallelPairs pairs(
            walkOf(3),
            [&](const PairedPath& pair, PairWorkspace&) {
                const int now = ++running;
                for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                --running;
                PairReport report;
                report.path = pair.path;
                return report;
            },
            formatted, [&](FormattedPair&&) { ++delivered; }, 2);
        pairs.wait([] {});
    }
    EXPECT_EQ(delivered, 3);
    EXPECT_EQ(most.load(), 2);
}

}  // namespace
}  // namespace vemilo::archive
