#include "wav/choose_file.h"

#include "wav/zero_run_scan.h"

namespace vemilo {

WavError chooseFile(FileSlot& slot, int side, const std::string& path, Reporter& reporter, ScanBuffer* scanBuffer) {
    const WavError loaded = loadFileSlot(slot, side, path, reporter);
    // A newer choice for this side took over while the header was walked: it scans its own file.
    if (loaded.problem == WavProblem::Superseded) return loaded;
    // A file without a usable format is still scanned: its pane gets its two count lines.
    const WavError scanned = scanZeroRuns(slot, side, reporter, scanBuffer);
    return loaded ? loaded : scanned;
}

}  // namespace vemilo
