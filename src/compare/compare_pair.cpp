#include "compare/compare_pair.h"

#include "wav/choose_file.h"

namespace vemilo {

void loadPairFiles(FileSlots& slots, const PairFiles& files, Reporter& reporter, PairWorkspace& workspace) {
    for (int side = 0; side < 2; ++side) {
        if (!files.paths[side]) continue;
        const WavError error = chooseFile(slots[side], side, *files.paths[side], reporter, &workspace.scanBuffer);
        if (files.loaded) files.loaded(side, error);
    }
}

RunOutcome comparePair(FileSlots& slots, const PairFiles& files, Reporter& reporter, const OptionSource& options,
                       PairWorkspace& workspace) {
    loadPairFiles(slots, files, reporter, workspace);
    return runComparison(slots, reporter, options, &workspace.comparisonBuffers);
}

}  // namespace vemilo
