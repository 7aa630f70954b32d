#include "wav/choose_file.h"

#include "wav/zero_run_scan.h"

namespace vemilo {

bool chooseFile(FileSlot& slot, int side, const std::string& path, Reporter& reporter, ScanBuffer* scanBuffer) {
    const LoadOutcome loaded = loadFileSlot(slot, side, path, reporter);
    // A newer choice for this side took over while the header was walked: it scans its own file.
    if (loaded == LoadOutcome::Superseded) return false;
    scanZeroRuns(slot, side, reporter, scanBuffer);
    return loaded == LoadOutcome::Usable;
}

}  // namespace vemilo
