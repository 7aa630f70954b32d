#include "wav/choose_file.h"

#include "wav/zero_run_scan.h"

namespace vemilo {

bool chooseFile(FileSlot& slot, int side, const std::string& path, Reporter& reporter) {
    const bool readable = loadFileSlot(slot, side, path, reporter);
    scanZeroRuns(slot, side, reporter);
    return readable;
}

}  // namespace vemilo
