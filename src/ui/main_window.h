#pragma once
// The one window: it builds and owns every control, the two file slots, the folder panes and the
// Run command, wires them together, and is how the core reports on screen.

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>
#include <climits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "commands/file_panes.h"
#include "compare/comparison_run.h"
#include "ui/settings.h"
#include "wav/file_slot.h"
#include "wav/reporter.h"

class QAction;
class QGroupBox;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QStatusBar;
class QTimer;

namespace vemilo::commands {
class RunCommand;
}

namespace vemilo::widgets {
class ProgressStrip;
}

namespace vemilo::ui {

class OptionControls;
// The two commands of the window-command menu, by their historic identifiers.
enum class WindowCommand { Move = 10, MoveToTopLeft = 11 };

class MainWindow : public QMainWindow, private Reporter {
public:
    // settingsFiles: where vemilo3.ini is read and written.
    explicit MainWindow(SettingsFiles settingsFiles = defaultSettingsFiles(), QWidget* parent = nullptr);
    ~MainWindow() override;

    const FileSlots& fileSlots() const { return fileSlots_; }
    commands::FilePanes& filePanes() { return *filePanes_; }
    commands::RunCommand& runCommand() { return *runCommand_; }
    OptionControls& optionControls() { return *options_; }
    Reporter& reporter() { return *this; }
    const SettingsFiles& settingsFiles() const { return settingsFiles_; }

    // Files given at start (a file manager's "Open with"): file 1, then file 2, as drops would name them.
    void openFiles(const QStringList& paths);
    // "実行": the Run command, then the log shown whole.
    void runComparison();
    // Enter in a side's path field: the typed file becomes that side's file.
    void chooseTypedFile(int side);
    void runWindowCommand(WindowCommand command);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildShell();
    void buildControls();
    void startTimers();
    void buildMenus();
    void connectHandlers();
    void traceWindow();
    void startUp();
    void keepMinimumSize();
    QSize designedSize() const;
    // The designed size, or, on a screen too small for it, as much of it as fits: the log pane
    // gives way first, then the controls scroll.
    QSize fittedSize() const;
    int availableHeight() const;
    void fitPanel(int windowHeight);
    // The panel's controls for the window's size: the lists share the height beyond the designed
    // window with the log, in whole rows; the information panes share the width.
    void layoutPanel();

public:
    // Fits the window into an inside height (the screen's available height less the frame).
    void fitToAvailableHeight(int height);

private:
    void applySettings(const WindowSettings& settings);
    // Puts the outer frame at the saved corner once the window is framed, on a screen.
    void placeFrame(int attempt);
    // The frame moved (and shortened if need be) to lie wholly within the available area of the
    // screen that holds most of it, or of the primary screen when none does.
    QRect fittedFrame(QRect frame) const;
    // Shows the log lines and the progress held back since the last time.
    void showPendingOutput();
    // Maps the run on the progress bar: where frames differed, by how much, what was not compared.
    void markDifferences(const RunOutcome& outcome);
    // Scrolls the log to the detail line of the difference with this number.
    void showDifferenceInLog(uint64_t number);
    WindowSettings currentSettings() const;

    // Reporter: the log pane, the information panes, message boxes, the progress bar.
    void logLine(const std::string& text) override;
    void clearLog() override;
    void clearInfo(int side) override;
    void appendInfo(int side, const std::string& text) override;
    void showMessage(const std::string& text) override;
    void processPendingEvents() override;
    bool stopRequested() const override { return closing_; }
    int progress() const override;
    void setProgress(int percent) override;

    QWidget* controlsPanel_ = nullptr;
    QScrollArea* panelScroll_ = nullptr;
    int fitHeight_ = INT_MAX;
    int listGrowth_ = 0;  // pixels each list is given beyond its designed height, before whole rows
    QGroupBox* folderGroup_ = nullptr;
    std::array<QWidget*, 2> folderLabels_{};
    std::vector<std::pair<QWidget*, int>> belowLists_;  // panel controls below the lists, by designed top
    QPlainTextEdit* logView_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    std::array<commands::SidePane, 2> sides_;
    widgets::ProgressStrip* progressBar_ = nullptr;
    QPushButton* nextFileButton_ = nullptr;
    OptionControls* options_ = nullptr;
    QAction* runAction_ = nullptr;
    std::array<QAction*, 2> syncActions_{};    // "1→2", "2→1"
    std::array<QAction*, 2> rereadActions_{};  // "更新" → "1", "2"
    QMenu* dropMenu_ = nullptr;
    std::array<QAction*, 2> dropActions_{};  // "ファイル1", "ファイル2"
    QMenu* windowCommandMenu_ = nullptr;
    QTimer* folderWatchTimer_ = nullptr;

    FileSlots fileSlots_;
    std::optional<QPoint> savedFramePosition_;
    QStringList draggedFiles_;  // the files of the drag now over the window
    bool closing_ = false;      // the window was closed: long work stops at its next pause
    // While work runs the log pane and the progress bar are brought up to date at most every
    // 50 ms: redrawing them after every block cost more than the comparison itself.
    QStringList pendingLog_;
    int progressValue_ = 0;
    QElapsedTimer sinceShown_;
    QTimer* showPendingTimer_ = nullptr;
    SettingsFiles settingsFiles_;
    commands::FilePanes* filePanes_ = nullptr;
    std::unique_ptr<commands::RunCommand> runCommand_;
};

}  // namespace vemilo::ui
