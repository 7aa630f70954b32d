#pragma once
// One comparison of file 1 against file 2, from the format check to the verdict.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "compare/pair_measure.h"
#include "wav/file_slot.h"

namespace vemilo {

class OptionSource;
class Reporter;

// How a run ended: compared (Identical, Different), or one of the early exits, each with its
// message. The values carry no meaning beyond their names.
enum class RunResult : uint8_t {
    Identical,
    Different,
    RateMismatch,
    BlockAlignMismatch,
    ChannelMismatch,
    BitsMismatch,
    Buffer1Failed,
    Buffer2Failed,
    Open1Failed,
    Open2Failed,
    FirstRead1Empty,
    FirstRead2Empty,
    Unreadable1,  // file 1 could not be read as a WAV file with a usable format
    Unreadable2,
    DataFormatMismatch,  // integer PCM against IEEE float, or any other two encodings
    OptionNotNumber,     // an option's text is not a whole number; the message says which
    Changed1,            // file 1 is not the file whose header was read: replaced or rewritten since
    Changed2,
};

// The result's name as the code spells it, for messages and test output.
const char* runResultName(RunResult result);

// True for the results that end a run before its comparison (formats, buffers, opens, first reads,
// options).
inline bool endedEarly(RunResult result) { return result != RunResult::Identical && result != RunResult::Different; }

// How the frame comparison ended.
enum class ComparisonEnd : uint8_t {
    NotStarted,  // the run ended early
    BothEnded,   // both files' data ended together
    File1Ended,  // file 1's data ended first; file 2 went on
    File2Ended,
    ReadError1,  // file 1 ended while frames were still declared
    ReadError2,
    LimitExceeded,  // more differing frames than the limit tolerates
    Stopped,        // the program is ending
};

// Frames present in one file and missing from the other, found by resynchronisation.
struct Gap {
    enum class Kind : uint8_t {
        Missing,   // file 1's frames [file1Frame, file1Frame + frames) are not in file 2
        Inserted,  // file 2's frames [file2Frame, file2Frame + frames) are not in file 1
    };
    Kind kind = Kind::Missing;
    uint64_t file1Frame = 0;  // where the gap lies in each file, from the first frame of its data
    uint64_t file2Frame = 0;
    uint64_t frames = 0;
    bool operator==(const Gap&) const = default;
};

// What one run found, beyond the log.
struct RunOutcome {
    RunResult result = RunResult::Identical;
    ComparisonEnd end = ComparisonEnd::NotStarted;
    std::string message;  // why an early exit ended the run, as shown or logged
    uint64_t comparedFrames = 0;
    uint64_t differences = 0;              // differing frames counted: the limit + 1 when it overflowed
    std::array<uint64_t, 2> skipped{};     // frames of each file passed over: zero skip and match point
    std::array<uint64_t, 2> uncompared{};  // frames of each file left when the comparison ended
    uint64_t comparable = 0;               // frames both files held for comparison at its start
    // Frame indexes from the start of each file's data, as {file 1, file 2}.
    std::optional<std::array<uint64_t, 2>> firstDifference;
    std::optional<std::array<uint64_t, 2>> lastDifference;
    std::vector<uint64_t> differingFrames;  // 0-based ordinals among the compared frames, as counted
    // For each of those frames, its largest difference on any channel against full scale: 1/32768
    // for one LSB of 16-bit PCM, up to 2 for full scale against its negation; 1 where the
    // encoding gives no scale.
    std::vector<double> differenceLevels;
    std::vector<uint64_t> channelsDiffering;  // per channel: frames in which that channel differs
    std::vector<uint64_t> maxAbsDifference;   // per channel, integer PCM of 8 to 32 bits only
    // Why a pair compared to its end still cannot pass: a file whose data chunk declares more than
    // it holds, or that changed while it was compared. One log line each, as logged.
    std::vector<std::string> damage;
    std::vector<Gap> gaps;  // with resynchronisation on; each gap's frames were not compared
    // With measuring (or a tolerance): what the whole pair measured.
    std::optional<PairMeasureResult> measure;
    std::optional<uint32_t> tolerance;  // LSB, as asked
};

// What a comparison tells a user who has to trust a copy. WithinTolerance only when a tolerance
// was asked for: never the same as Identical.
enum class Verdict { Identical, Different, Trouble, WithinTolerance };

// Trouble when the pair was not compared to its end (an early exit, a read error, a stop) or a
// file is damaged (declared beyond its end, changed while compared);
// Different when a frame differed, the limit overflowed or one file ended before the other;
// WithinTolerance when frames differed, every sample of integer PCM by at most the tolerance, and
// nothing else did (no gap, both files ended together);
// Identical only when every frame compared equal and both files ended together.
Verdict verdictOf(const RunOutcome& outcome);

// The log line of a gap: "ファイル2: 4096サンプル欠落 (ファイル1の60001〜64096)", frames numbered from 1.
std::string gapLine(const Gap& gap);

// The block buffers of a run. A caller running many comparisons in a row lends them to each.
class ComparisonBuffers {
public:
    // largestBuffer: the most memory a run may take per file; blocks shrink to fit it, and a run
    // that cannot fit one frame fails as a failed allocation would.
    explicit ComparisonBuffers(size_t largestBuffer = SIZE_MAX) : largestBuffer_(largestBuffer) {}

    size_t largestBuffer() const { return largestBuffer_; }
    // The side's buffer, at least bytes long; nullptr when that much memory cannot be had.
    uint8_t* reserve(int side, size_t bytes);

private:
    size_t largestBuffer_;
    std::unique_ptr<uint8_t[]> buffers_[2];
    size_t sizes_[2] = {0, 0};
};

// One comparison of the files in both slots. Copies both slots when it starts, reads the options
// at the moments it needs them, writes the log and yields once per block read. Every file and
// buffer it opens or allocates is released on every way out. Callers outside the engine go
// through comparePair.
// A measured run writes its residue to residue, when given.
[[nodiscard]] RunOutcome runComparison(const FileSlots& fileSlots, Reporter& reporter, const OptionSource& options,
                                       ComparisonBuffers* buffers = nullptr, ResidueSink* residue = nullptr);

}  // namespace vemilo
