#include "wav/choose_file.h"

#include "wav/zero_run_scan.h"

namespace vemilo {

WavError chooseFile(FileSlot& slot, int side, const std::string& path, Reporter& reporter, ScanBuffer* scanBuffer) {
    const WavError loaded = loadFileSlot(slot, side, path, reporter);
    // A newer choice for this side took over while the header was walked: it scans its own file.
    if (loaded.problem == WavProblem::Superseded) return loaded;
    // A file that could not be read has no silence to count: its pane says why instead.
    if (loaded) {
        slot.leadingSilentFrames = slot.trailingSilentFrames = slot.trailerBytes = 0;
        return loaded;
    }
    return scanZeroRuns(slot, side, reporter, scanBuffer);
}

}  // namespace vemilo
