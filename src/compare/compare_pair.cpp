#include "compare/compare_pair.h"

#include "wav/choose_file.h"
#include "wav/wav_reader.h"

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
    // Each file is opened once for its header, its silence and its frames.
    const ReusedDescriptors reused;
    loadPairFiles(slots, files, reporter, workspace);
    return runComparison(slots, reporter, options, &workspace.comparisonBuffers, workspace.residue);
}

}  // namespace vemilo
