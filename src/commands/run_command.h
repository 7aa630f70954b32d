#pragma once
// "実行": the checks, one comparison, and continuous mode through both folder lists.

#include <functional>

#include "compare/comparison_run.h"
#include "wav/file_slot.h"

namespace vemilo {
class OptionSource;
class Reporter;
}  // namespace vemilo

namespace vemilo::commands {

class FilePanes;

class RunCommand {
public:
    // continuousMode: read after each comparison, as the "連続モード" check box holds it then.
    RunCommand(FileSlots& fileSlots, Reporter& reporter, const OptionSource& options, FilePanes& panes,
               std::function<bool()> continuousMode);

    void run();
    bool isRunning() const { return running_; }

    // Told what each comparison of a run found, as it ends.
    std::function<void(const RunOutcome&)> onCompared;

private:
    FileSlots& fileSlots_;
    Reporter& reporter_;
    const OptionSource& options_;
    FilePanes& panes_;
    std::function<bool()> continuousMode_;
    bool running_ = false;
};

}  // namespace vemilo::commands
