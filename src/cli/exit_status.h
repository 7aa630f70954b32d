#pragma once
// The one mapping from what a run found to vemilo-cli's exit status, used by every mode.

#include "compare/comparison_run.h"

namespace vemilo::cli {

// 0 every frame compared equal and both files ended together; 1 a difference (or a file on one
// side only); 2 trouble: something was not compared to its end, output failed, or a usage error.
constexpr int exitStatus(Verdict verdict) {
    switch (verdict) {
        case Verdict::Identical:
        case Verdict::WithinTolerance: return 0;
        case Verdict::Different: return 1;
        case Verdict::Trouble: break;
    }
    return 2;
}

// A usage error, or output that could not be written: nothing was verified.
inline constexpr int kExitTrouble = exitStatus(Verdict::Trouble);

}  // namespace vemilo::cli
