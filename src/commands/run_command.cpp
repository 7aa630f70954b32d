#include "commands/run_command.h"

#include <utility>

#include "commands/file_panes.h"
#include "compare/run_series.h"

namespace vemilo::commands {
namespace {

// Marks a command in progress for as long as it runs, whatever way it ends.
class RunningFlag {
public:
    explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~RunningFlag() { flag_ = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    bool& flag_;
};

}  // namespace

RunCommand::RunCommand(const FileSlots& fileSlots, Reporter& reporter, const OptionSource& options, FilePanes& panes,
                       std::function<bool()> continuousMode)
    : fileSlots_(fileSlots), reporter_(reporter), options_(options), panes_(panes), continuousMode_(std::move(continuousMode)) {}

void RunCommand::run() {
    // Chosen again while a comparison runs (from one of its yields): ignored, so that no second
    // run starts inside the first and the series is not disturbed.
    if (running_) return;
    const RunningFlag running(running_);
    SeriesSteps steps;
    steps.continuous = continuousMode_;
    steps.compared = [this](const RunOutcome& outcome) {
        if (onCompared) onCompared(outcome);
    };
    steps.advance = [this](int side) { return panes_.advanceToNextRow(side); };
    (void)runSeries(fileSlots_, reporter_, options_, steps);
}

}  // namespace vemilo::commands
