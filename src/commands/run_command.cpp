#include "commands/run_command.h"

#include <utility>

#include "commands/file_panes.h"
#include "compare/run_series.h"
#include "widgets/dialogs.h"
#include "widgets/qt_text.h"

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

RunCommand::RunCommand(FileSlots& fileSlots, Reporter& reporter, const OptionSource& options, FilePanes& panes,
                       std::function<bool()> continuousMode)
    : fileSlots_(fileSlots),
      reporter_(reporter),
      options_(options),
      panes_(panes),
      continuousMode_(std::move(continuousMode)) {}

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
    // The series loads each next row's file as a user's selection would.
    steps.nextFile = [this](int side) { return panes_.selectNextRow(side); };
    const SeriesOutcome series = runSeries(fileSlots_, reporter_, options_, steps);
    // An option text that is not a number goes to the error display, as the window's own
    // conversions do.
    if (series.last == RunResult::OptionNotNumber) widgets::showErrorDisplay(widgets::toQString(series.lastMessage));
}

}  // namespace vemilo::commands
