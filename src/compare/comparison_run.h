#pragma once
// One comparison of file 1 against file 2, from the format check to the verdict.

#include "wav/file_slot.h"

namespace vemilo {

class OptionSource;
class Reporter;

enum class RunResult : int {
    Identical = 0,
    Different = -1,
    RateMismatch = 1,
    BlockAlignMismatch = 2,
    ChannelMismatch = 3,
    BitsMismatch = 4,
    Buffer1Failed = 5,
    Buffer2Failed = 6,
    Open1Failed = 7,
    Open2Failed = 8,
    FirstRead1Empty = 9,
    FirstRead2Empty = 10,
};

// The result's name as the code spells it, for messages and test output.
const char* runResultName(RunResult result);

// True for the results that end a run before its comparison (formats, buffers, opens, first reads).
inline bool endedEarly(RunResult result) { return static_cast<int>(result) > 0; }

// Copies both slots when it starts, reads the options at the moments it needs them, writes the log
// and yields once per block. Throws ConversionError for an option text that is not a whole number;
// every file and buffer is released on every way out.
[[nodiscard]] RunResult ComparisonRun(const FileSlots& fileSlots, Reporter& reporter, const OptionSource& options);

}  // namespace vemilo
