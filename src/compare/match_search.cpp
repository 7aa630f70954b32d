#include "compare/match_search.h"

#include <cstring>
#include <optional>
#include <vector>

#include "wav/reporter.h"
#include "wav/text_format.h"

namespace vemilo {
namespace {

class FrameView {
public:
    FrameView(const uint8_t* frames, uint16_t blockAlign) : frames_(frames), blockAlign_(blockAlign) {}
    bool same(uint64_t index, const FrameView& other, uint64_t otherIndex) const {
        return std::memcmp(frames_ + index * blockAlign_, other.frames_ + otherIndex * blockAlign_, blockAlign_) == 0;
    }

private:
    const uint8_t* frames_;
    uint16_t blockAlign_;
};

// First start s <= lastStart at which the first n frames of pattern appear in text (Knuth-Morris-Pratt
// over frames as symbols).
std::optional<uint32_t> firstOccurrence(const FrameView& pattern, uint32_t n, const FrameView& text,
                                        uint32_t lastStart) {
    std::vector<uint32_t> border(n, 0);
    for (uint32_t i = 1, k = 0; i < n; ++i) {
        while (k > 0 && !pattern.same(i, pattern, k)) k = border[k - 1];
        if (pattern.same(i, pattern, k)) ++k;
        border[i] = k;
    }
    const uint64_t textEnd = static_cast<uint64_t>(lastStart) + n;
    uint32_t matched = 0;
    for (uint64_t i = 0; i < textEnd; ++i) {
        while (matched > 0 && !text.same(i, pattern, matched)) matched = border[matched - 1];
        if (text.same(i, pattern, matched)) ++matched;
        if (matched == n) return static_cast<uint32_t>(i + 1 - n);
    }
    return std::nullopt;
}

}  // namespace

MatchResult findMatchPoint(const MatchWindows& w) {
    MatchResult result;
    const uint32_t n = w.matchLength;
    if (n == 0 || w.blockAlign == 0 || w.window1 < n || w.window2 < n) return result;
    const uint32_t lastShift = (w.window1 < w.window2 ? w.window1 : w.window2) - n;
    const FrameView file1(w.frames1, w.blockAlign);
    const FrameView file2(w.frames2, w.blockAlign);

    const std::optional<uint32_t> file1InFile2 = firstOccurrence(file1, n, file2, lastShift);
    if (file1InFile2 && *file1InFile2 == 0) {
        result.side = 0;  // the opening frames agree: nothing is shifted
        return result;
    }
    const uint32_t searchFile2InFile1Until = file1InFile2 ? *file1InFile2 : lastShift;
    const std::optional<uint32_t> file2InFile1 = firstOccurrence(file2, n, file1, searchFile2InFile1Until);
    if (file2InFile1 && (!file1InFile2 || *file2InFile1 < *file1InFile2)) {
        result.side = 0;
        result.shift1 = *file2InFile1;
    } else if (file1InFile2) {
        result.side = 1;
        result.shift2 = *file1InFile2;
    }
    return result;
}

MatchResult searchMatchPoint(const MatchWindows& windows, uint64_t leadingSilentFrames1, uint64_t leadingSilentFrames2,
                             Reporter& reporter) {
    const bool short1 = windows.window1 < windows.matchLength;
    const bool short2 = windows.window2 < windows.matchLength;
    if (short1) {
        reporter.logLine("ファイル1:比較サンプル数が足りません。(1)");
    } else if (short2) {
        reporter.logLine("ファイル2:比較サンプル数が足りません。(1)");
    }
    const MatchResult result = findMatchPoint(windows);
    // After trying every shift in vain, the position line shows the first shift not tried.
    MatchResult shown = result;
    if (result.side == 2 && !short1 && !short2) {
        shown.shift1 = shown.shift2 =
            (windows.window1 < windows.window2 ? windows.window1 : windows.window2) - windows.matchLength + 1;
    }
    logFormatted(reporter, "[debug] 一致点pos 0:%u 1:%u (side)%d", shown.shift1, shown.shift2, shown.side);
    if (result.side == 0) {
        logFormatted(reporter, "ファイル1: 一致点がありました(%llu→%llu)",
                     static_cast<unsigned long long>(leadingSilentFrames1),
                     static_cast<unsigned long long>(leadingSilentFrames1) + result.shift1);
    } else if (result.side == 1) {
        logFormatted(reporter, "ファイル2: 一致点がありました(%llu→%llu)",
                     static_cast<unsigned long long>(leadingSilentFrames2),
                     static_cast<unsigned long long>(leadingSilentFrames2) + result.shift2);
    } else {
        reporter.logLine("一致点が見つかりませんでした");
    }
    return result;
}

}  // namespace vemilo
