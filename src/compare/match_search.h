#pragma once
// Finds the shift at which the opening frames of one file reappear in the other.

#include <cstdint>

namespace vemilo {

class Reporter;

struct MatchResult {
    uint32_t shift1 = 0;
    uint32_t shift2 = 0;
    int side = 2;  // 0: file 1 is shifted, 1: file 2 is shifted, 2: no match point
};

struct MatchWindows {
    const uint8_t* frames1 = nullptr;
    uint32_t window1 = 0;  // frames of frames1 open to the search
    const uint8_t* frames2 = nullptr;
    uint32_t window2 = 0;
    uint32_t matchLength = 0;  // N: consecutive frames that must agree
    uint16_t blockAlign = 0;
};

// The smallest shift m (0 to the smaller window less N) at which file 1's opening N frames appear
// in file 2 from frame m (side 1) or file 2's appear in file 1 (side 0). At m = 0 the result is
// side 0 with both shifts 0; at m > 0 side 1 wins a tie. Linear in the windows (prefix function).
// Without a match, side 2 with both shifts 0.
[[nodiscard]] MatchResult findMatchPoint(const MatchWindows& windows);

// Runs the search and logs its lines: the shortage line if a window is shorter than N, the
// position line, then the match line or "一致点が見つかりませんでした".
MatchResult searchMatchPoint(const MatchWindows& windows, uint64_t leadingSilentFrames1, uint64_t leadingSilentFrames2,
                             Reporter& reporter);

}  // namespace vemilo
