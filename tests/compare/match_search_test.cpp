#include "compare/match_search.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "support/recording_reporter.h"

namespace vemilo {
namespace {

using testing::RecordingReporter;

// The search as its rounds are written: both shifts advance together, first-frame tests first,
// the side-1 run, then the side-0 run with shift1 as step 4 left it.
MatchResult searchByRounds(const MatchWindows& w) {
    const auto same = [&](const uint8_t* a, uint32_t i, const uint8_t* b, uint32_t j) {
        return std::memcmp(a + i * w.blockAlign, b + j * w.blockAlign, w.blockAlign) == 0;
    };
    MatchResult r;
    bool found = false;
    const uint32_t n = w.matchLength;
    if (w.window1 < n || w.window2 < n) return r;
    for (;;) {
        if (r.shift1 + n > w.window1 || r.shift2 + n > w.window2 || found) break;
        const bool testA = same(w.frames1, 0, w.frames2, r.shift2);
        const bool testB = same(w.frames2, 0, w.frames1, r.shift1);
        if (testA) {
            uint32_t k = 0;
            while (k < n && same(w.frames1, k, w.frames2, r.shift2 + k)) ++k;
            if (k == n) {
                found = true;
                r.side = 1;
                r.shift1 = 0;
            }
        }
        if (testB) {
            uint32_t k = 0;
            while (k < n && same(w.frames2, k, w.frames1, r.shift1 + k)) ++k;
            if (k == n) {
                found = true;
                r.side = 0;
                r.shift2 = 0;
            }
        }
        if (!found) {
            ++r.shift1;
            ++r.shift2;
        }
    }
    if (!found) r.shift1 = r.shift2 = 0;
    return r;
}

// Frames drawn from a tiny alphabet, so that repeats, runs and near-matches are common.
std::vector<uint8_t> randomFrames(std::mt19937& random, uint32_t count, uint16_t blockAlign, int alphabet) {
    std::vector<uint8_t> out(static_cast<size_t>(count) * blockAlign);
    for (uint32_t f = 0; f < count; ++f) {
        const uint8_t symbol = static_cast<uint8_t>(random() % alphabet);
        const bool run = random() % 4 == 0 && f > 0;
        for (uint16_t b = 0; b < blockAlign; ++b) {
            out[f * blockAlign + b] = run ? out[(f - 1) * blockAlign + b] : static_cast<uint8_t>(symbol + b);
        }
    }
    return out;
}

TEST(MatchSearch, LinearSearchAgreesWithTheRoundsOnRandomInputs) {
    std::mt19937 random(7);
    int found = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        const uint16_t blockAlign = static_cast<uint16_t>(1 + random() % 4);
        const uint32_t window1 = random() % 40;
        const uint32_t window2 = random() % 40;
        const uint32_t n = 1 + random() % 6;
        const int alphabet = 1 + static_cast<int>(random() % 3);
        std::vector<uint8_t> a = randomFrames(random, window1, blockAlign, alphabet);
        std::vector<uint8_t> b = randomFrames(random, window2, blockAlign, alphabet);
        // Often plant one file's opening inside the other, as a lead-in would.
        if (random() % 2 && window1 >= n && window2 > n) {
            const uint32_t at = random() % (window2 - n);
            std::memcpy(b.data() + at * blockAlign, a.data(), n * blockAlign);
        }
        const MatchWindows w{a.data(), window1, b.data(), window2, n, blockAlign};
        const MatchResult expected = searchByRounds(w);
        const MatchResult actual = findMatchPoint(w);
        ASSERT_EQ(actual.side, expected.side) << "trial " << trial;
        ASSERT_EQ(actual.shift1, expected.shift1) << "trial " << trial;
        ASSERT_EQ(actual.shift2, expected.shift2) << "trial " << trial;
        found += expected.side != 2;
    }
    EXPECT_GT(found, 5000);  // the inputs exercise matches, not only misses
}

TEST(MatchSearch, TieBreaks) {
    // RunResult::Identical openings: side 0 with both shifts 0.
    const std::vector<uint8_t> same = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(findMatchPoint({same.data(), 6, same.data(), 6, 3, 1}).side, 0);
    // At a shift that matches both ways, side 1 wins.
    const std::vector<uint8_t> a = {9, 1, 1, 7, 7};
    const std::vector<uint8_t> b = {8, 9, 1, 1, 7};
    const MatchResult lateFile2 = findMatchPoint({a.data(), 5, b.data(), 5, 3, 1});
    EXPECT_EQ(lateFile2.side, 1);
    EXPECT_EQ(lateFile2.shift2, 1u);
    const std::vector<uint8_t> x = {5, 6, 5, 6, 5};
    const std::vector<uint8_t> y = {6, 5, 6, 5, 6};
    const MatchResult both = findMatchPoint({x.data(), 5, y.data(), 5, 2, 1});
    EXPECT_EQ(both.side, 1);
    EXPECT_EQ(both.shift2, 1u);
    EXPECT_EQ(both.shift1, 0u);
}

TEST(MatchSearch, ReportLines) {
    const std::vector<uint8_t> file1 = {1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<uint8_t> file2 = {9, 9, 1, 2, 3, 4, 5, 6};
    {
        RecordingReporter host;
        const MatchResult r = searchMatchPoint({file1.data(), 8, file2.data(), 8, 3, 1}, 10, 20, host);
        EXPECT_EQ(r.side, 1);
        EXPECT_EQ(host.log, (std::vector<std::string>{"[debug] 一致点pos 0:0 1:2 (side)1",
                                                      "ファイル2: 一致点がありました(20→22)"}));
    }
    {
        RecordingReporter host;
        searchMatchPoint({file2.data(), 8, file1.data(), 8, 3, 1}, 10, 20, host);
        EXPECT_EQ(host.log, (std::vector<std::string>{"[debug] 一致点pos 0:2 1:0 (side)0",
                                                      "ファイル1: 一致点がありました(10→12)"}));
    }
    {
        RecordingReporter host;
        searchMatchPoint({file1.data(), 8, file1.data(), 8, 3, 1}, 4, 0, host);
        EXPECT_EQ(host.log, (std::vector<std::string>{"[debug] 一致点pos 0:0 1:0 (side)0",
                                                      "ファイル1: 一致点がありました(4→4)"}));
    }
    {
        // No shift matches: the position line shows the first shift not tried.
        const std::vector<uint8_t> other = {7, 7, 7, 7, 7, 7};
        RecordingReporter host;
        const MatchResult r = searchMatchPoint({file1.data(), 8, other.data(), 6, 3, 1}, 0, 0, host);
        EXPECT_EQ(r.shift1, 0u);
        EXPECT_EQ(r.shift2, 0u);
        EXPECT_EQ(host.log,
                  (std::vector<std::string>{"[debug] 一致点pos 0:4 1:4 (side)2", "一致点が見つかりませんでした"}));
    }
    {
        RecordingReporter host;
        searchMatchPoint({file1.data(), 2, file2.data(), 1, 3, 1}, 0, 0, host);
        EXPECT_EQ(host.log,
                  (std::vector<std::string>{"ファイル1:比較サンプル数が足りません。(1)",
                                            "[debug] 一致点pos 0:0 1:0 (side)2", "一致点が見つかりませんでした"}));
    }
    {
        RecordingReporter host;
        searchMatchPoint({file1.data(), 8, file2.data(), 1, 3, 1}, 0, 0, host);
        EXPECT_EQ(host.log.front(), "ファイル2:比較サンプル数が足りません。(1)");
    }
}

}  // namespace
}  // namespace vemilo
