#pragma once
// One comparison of file 1 against file 2, from the format check to the verdict.

#include "wav/file_slot.h"

namespace vemilo {

class Host;

enum RunResult : int {
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

// Copies both slots when it starts, reads the options from the host, writes the log through it and
// yields to it once per block. Throws ConversionError for an option text that is not a whole
// number; every file and buffer is released on every way out.
RunResult ComparisonRun(const FileSlots& fileSlots, Host& host);

}  // namespace vemilo
