#include "ui/main_window.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStatusBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <climits>
#include <cstdio>

#include "commands/run_command.h"
#include "ui/keyboard_move.h"
#include "ui/option_controls.h"
#include "ui/settings.h"
#include "vemilo/version.h"
#include "wav/text_format.h"
#include "wav/trace.h"
#include "widgets/designed_geometry.h"
#include "widgets/dialogs.h"
#include "widgets/file_list_box.h"
#include "widgets/fonts.h"
#include "widgets/progress_strip.h"
#include "widgets/qt_text.h"
#include "widgets/right_anchors.h"

namespace vemilo::ui {

using namespace vemilo::widgets;
namespace {

constexpr int kClientWidth = 442;
// The designed 481, and the time scale under the progress bar.
constexpr int kPanelHeight = 481 + widgets::ProgressStrip::kScaleHeight;
constexpr int kDesignedListHeight = 57;
constexpr int kDesignedFolderGroupHeight = 191;
constexpr int kSecondFolderTop = 103;
constexpr int kLogHeight = 180;
constexpr int kStatusHeight = 25;
// The log never shrinks below a few lines and its scroll bar.
constexpr int kMinLogHeight = 56;
// A window not framed yet is taken to need this much for its title bar and borders.
constexpr int kAssumedFrameHeight = 32;
constexpr qint64 kScreenUpdateMs = 50;

// VEMILO_TRACE_WINDOW set: where the focus goes, what the log and the status bar show, on the
// diagnostic trace, for tests that drive the real window and for reports of keyboard trouble.
bool windowTraced() {
    static const bool traced = qEnvironmentVariableIsSet("VEMILO_TRACE_WINDOW");
    return traced;
}

// At once: a test reads the trace while the window runs.
void traceWindowLine(const std::string& line) {
    traceText(line);
    std::fflush(stdout);
}

// One file's controls: its folder button and list in the folder group, its path in the file group,
// its information pane below them. Returns the folder's label.
QLabel* buildSide(commands::SidePane& pane, int side, QWidget* panel, QWidget* folderGroup, QWidget* fileGroup,
                  RightAnchors& folderAnchors, RightAnchors& fileAnchors) {
    const char* const suffix = side == 0 ? "1" : "2";
    const int folderTop = side == 0 ? 16 : 103;
    auto* folderLabel = place(new QLabel(QStringLiteral("フォルダ") + QLatin1String(suffix), folderGroup),
                              side == 0 ? "folderLabel1" : "folderLabel2", 8, folderTop, 49, 12);
    folderLabel->setFont(layoutFont(LayoutFace::MsPGothic, 9));
    pane.folderButton =
        place(new QPushButton(folderGroup), side == 0 ? "folderButton1" : "folderButton2", 63, folderTop, 332, 18);
    pane.folderButton->setFocusPolicy(Qt::StrongFocus);  // reachable by Tab, pressed by Space
    // A visible face even while its caption is empty, so that a newcomer finds it.
    pane.folderButton->setStyleSheet(QStringLiteral("QPushButton { text-align: left; padding-left: 4px; }"));
    pane.folderButton->setToolTip(side == 0 ? QStringLiteral("フォルダ1を選ぶ") : QStringLiteral("フォルダ2を選ぶ"));
    pane.folderButton->setAccessibleName(pane.folderButton->toolTip());
    pane.list = place(new FileListBox(folderGroup), side == 0 ? "fileList1" : "fileList2", 16, folderTop + 24, 377, 57);
    pane.list->setAccessibleName(QStringLiteral("フォルダ") + QLatin1String(suffix) + QStringLiteral("のファイル"));
    folderAnchors.add(pane.folderButton);
    folderAnchors.add(pane.list);

    place(new QLabel(QStringLiteral("ファイル") + QLatin1String(suffix), fileGroup),
          side == 0 ? "fileLabel1" : "fileLabel2", 8, side == 0 ? 16 : 44, 40, 13);
    pane.pathEdit =
        place(new QLineEdit(fileGroup), side == 0 ? "pathEdit1" : "pathEdit2", 64, side == 0 ? 16 : 43, 332, 21);
    pane.pathEdit->setAccessibleName(QStringLiteral("ファイル") + QLatin1String(suffix));
    fileAnchors.add(pane.pathEdit);

    pane.infoPane = side == 0 ? place(new QPlainTextEdit(panel), "infoPane1", 16, 280, 161, 82)
                              : place(new QPlainTextEdit(panel), "infoPane2", 183, 279, 161, 83);
    pane.infoPane->setAccessibleName(QStringLiteral("ファイル") + QLatin1String(suffix) + QStringLiteral("の情報"));
    // Read, selected and copied, never typed into; Tab moves on.
    pane.infoPane->setReadOnly(true);
    pane.infoPane->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    pane.infoPane->setTabChangesFocus(true);
    pane.infoPane->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    pane.infoPane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pane.infoPane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pane.infoPane->setFont(layoutFont(LayoutFace::MsGothic, 9));
    // Six summary lines must fit the designed height without a scroll bar.
    pane.infoPane->document()->setDocumentMargin(0);
    return folderLabel;
}

}  // namespace

MainWindow::MainWindow(SettingsFiles settingsFiles, QWidget* parent)
    : QMainWindow(parent), settingsFiles_(std::move(settingsFiles)) {
    setWindowTitle(QStringLiteral("Vemilo v") + QString::fromUtf8(kVersionText));
    setFont(layoutFont(LayoutFace::Tahoma, 8));
    buildControls();
    buildMenus();
    filePanes_ = new commands::FilePanes(sides_, dropMenu_, fileSlots_, reporter(), this);
    runCommand_ = std::make_unique<commands::RunCommand>(fileSlots_, reporter(), *options_, *filePanes_,
                                                         [this] { return options_->continuousMode(); });
    runCommand_->onCompared = [this](const RunOutcome& outcome) { markDifferences(outcome); };
    progressBar_->onDifferenceChosen = [this](uint64_t number) { showDifferenceInLog(number); };
    connectHandlers();
    if (windowTraced()) traceWindow();
    fitToAvailableHeight(availableHeight());
    startUp();
    layoutPanel();
}

MainWindow::~MainWindow() {
    // Closing the window ends the program; the settings are written as it goes.
    guarded([this] { saveSettings(settingsFiles_, currentSettings()); });
}

// The scrolling panel of controls above the log, and the status bar.
void MainWindow::buildShell() {
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);

    // The controls keep their designed places; on a screen too small for them (a high scale
    // factor) the panel scrolls rather than pushing the log and the status bar off the screen.
    panelScroll_ = new QScrollArea(central);
    panelScroll_->setObjectName(QStringLiteral("panelScroll"));
    panelScroll_->setFrameShape(QFrame::NoFrame);
    panelScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    panelScroll_->setWidgetResizable(true);
    // Not a stop of its own: Tab goes through the controls inside it, which it scrolls into view.
    panelScroll_->setFocusPolicy(Qt::NoFocus);
    controlsPanel_ = new QWidget(panelScroll_);
    controlsPanel_->setObjectName(QStringLiteral("controlsPanel"));
    controlsPanel_->setFixedHeight(kPanelHeight);
    panelScroll_->setWidget(controlsPanel_);
    logView_ = new QPlainTextEdit(central);
    logView_->setObjectName(QStringLiteral("logView"));
    // A difference line stays one line, its file 2 values included: wider ones scroll sideways.
    logView_->setLineWrapMode(QPlainTextEdit::NoWrap);
    logView_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    logView_->setFont(layoutFont(LayoutFace::MsGothic, 9));
    logView_->setAccessibleName(QStringLiteral("ログ"));
    // Tab moves on, as in every pane of the designed platform; the log stays editable.
    logView_->setTabChangesFocus(true);
    logView_->setMinimumHeight(kMinLogHeight);
    column->addWidget(panelScroll_);
    column->addWidget(logView_, 1);

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName(QStringLiteral("statusBar"));
    statusBar_->setFixedHeight(kStatusHeight);
    statusBar_->setSizeGripEnabled(true);
    statusBar_->setAccessibleName(QStringLiteral("ステータスバー"));
    auto* statusPanel = new QLabel(statusBar_);
    statusPanel->setFixedWidth(50);
    statusBar_->addWidget(statusPanel);
    setStatusBar(statusBar_);
}

void MainWindow::buildControls() {
    buildShell();

    auto* panelAnchors = new RightAnchors(controlsPanel_, kClientWidth);

    // Group titles stand on the frame line, as on the designed platform, so that the line passes
    // above the first row of controls instead of through it. Every pane shows the focus.
    const QString frames = QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); border-radius: 3px; margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 6px;"
        " padding: 0 2px; background: palette(window); }");
    const QString focusFrames = QStringLiteral(
        "QListView, QPlainTextEdit { border: 1px solid palette(dark); }"
        "QListView:focus, QPlainTextEdit:focus { border: 1px solid palette(highlight); }");
    controlsPanel_->setStyleSheet(frames + focusFrames);
    logView_->setStyleSheet(focusFrames);

    auto* folderGroup =
        place(new QGroupBox(QStringLiteral("フォルダから指定"), controlsPanel_), "folderGroup", 16, 4, 412, 191);
    folderGroup_ = folderGroup;
    auto* folderAnchors = new RightAnchors(folderGroup, 412);
    auto* fileGroup =
        place(new QGroupBox(QStringLiteral("wavファイル"), controlsPanel_), "fileGroup", 16, 201, 412, 73);
    auto* fileAnchors = new RightAnchors(fileGroup, 412);
    for (int side = 0; side < 2; ++side)
        folderLabels_[side] =
            buildSide(sides_[side], side, controlsPanel_, folderGroup, fileGroup, *folderAnchors, *fileAnchors);

    nextFileButton_ =
        place(new QPushButton(QStringLiteral("Button2"), controlsPanel_), "nextFileButton", 350, 338, 75, 25);
    nextFileButton_->hide();
    progressBar_ = place(new ProgressStrip(controlsPanel_), "progressBar", 16, 369, 412,
                         ProgressStrip::kBarHeight + ProgressStrip::kScaleHeight);
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    progressBar_->setAccessibleName(QStringLiteral("比較の進み具合"));

    options_ = new OptionControls(controlsPanel_);
    fitCaptions(controlsPanel_);

    for (QWidget* w : std::initializer_list<QWidget*>{folderGroup, fileGroup, progressBar_}) panelAnchors->add(w);

    for (QWidget* w : {static_cast<QWidget*>(fileGroup), static_cast<QWidget*>(sides_[0].infoPane),
                       static_cast<QWidget*>(sides_[1].infoPane), static_cast<QWidget*>(nextFileButton_),
                       static_cast<QWidget*>(progressBar_), static_cast<QWidget*>(options_->group())}) {
        belowLists_.emplace_back(w, w->y());
    }
    controlsPanel_->installEventFilter(this);

    // Reading order, from the top; the log last, after which Tab comes back to the top.
    QList<QWidget*> tabOrder = {sides_[0].folderButton, sides_[0].list,     sides_[1].folderButton,
                                sides_[1].list,         sides_[0].pathEdit, sides_[1].pathEdit,
                                sides_[0].infoPane,     sides_[1].infoPane, progressBar_};
    tabOrder << options_->tabChain() << nextFileButton_ << logView_;
    for (qsizetype i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

    // Drops of files on any text field reach the window's own drop handling.
    for (QWidget* field : findChildren<QWidget*>()) {
        if (qobject_cast<QLineEdit*>(field) || qobject_cast<QPlainTextEdit*>(field)) {
            field->installEventFilter(this);
            if (auto* pane = qobject_cast<QPlainTextEdit*>(field)) pane->viewport()->installEventFilter(this);
        }
    }
    startTimers();
}

void MainWindow::startTimers() {
    // Fires once control is back in the event loop: after a handler, or at a pause of long work,
    // where it waits out the rest of the update interval.
    showPendingTimer_ = new QTimer(this);
    showPendingTimer_->setSingleShot(true);
    showPendingTimer_->setInterval(0);
    connect(showPendingTimer_, &QTimer::timeout, this, [this] {
        const qint64 wait = kScreenUpdateMs - sinceShown_.elapsed();
        if (runCommand_->isRunning() && wait > 0) {
            showPendingTimer_->start(static_cast<int>(wait));
        } else {
            showPendingOutput();
            showPendingTimer_->setInterval(0);
        }
    });
    sinceShown_.start();

    folderWatchTimer_ = new QTimer(this);
    folderWatchTimer_->setObjectName(QStringLiteral("folderWatchTimer"));
    folderWatchTimer_->setInterval(1000);
    folderWatchTimer_->start();
}

void MainWindow::buildMenus() {
    runAction_ = menuBar()->addAction(QStringLiteral("実行"));
    runAction_->setObjectName(QStringLiteral("runAction"));
    // Run from the keyboard anywhere in the window, the log pane included.
    runAction_->setShortcuts(
        {QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    runAction_->setShortcutContext(Qt::WindowShortcut);
    // F10 opens the menu bar, as on the designed platform; the arrow keys then walk it.
    auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, [this] {
        menuBar()->setFocus(Qt::ShortcutFocusReason);
        menuBar()->setActiveAction(menuBar()->actions().value(0));
    });
    // Ctrl+Q quits as closing the window does, settings saved.
    auto* quitKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quitKey, &QShortcut::activated, this, &QWidget::close);
    QMenu* folderMenu = menuBar()->addMenu(QStringLiteral("フォルダ"));
    QMenu* syncMenu = folderMenu->addMenu(QStringLiteral("同期"));
    syncActions_ = {syncMenu->addAction(QStringLiteral("1→2")), syncMenu->addAction(QStringLiteral("2→1"))};
    QMenu* rereadMenu = folderMenu->addMenu(QStringLiteral("更新"));
    rereadActions_ = {rereadMenu->addAction(QStringLiteral("1")), rereadMenu->addAction(QStringLiteral("2"))};
    syncActions_[0]->setObjectName(QStringLiteral("syncOneToTwoAction"));
    syncActions_[1]->setObjectName(QStringLiteral("syncTwoToOneAction"));
    rereadActions_[0]->setObjectName(QStringLiteral("rereadOneAction"));
    rereadActions_[1]->setObjectName(QStringLiteral("rereadTwoAction"));

    dropMenu_ = new QMenu(this);
    dropMenu_->setObjectName(QStringLiteral("dropMenu"));
    dropActions_ = {dropMenu_->addAction(QStringLiteral("ファイル1")),
                    dropMenu_->addAction(QStringLiteral("ファイル2"))};

    // Linux desktops give an application no window menu of its own: the two commands live in
    // a context menu of the status bar.
    windowCommandMenu_ = new QMenu(this);
    windowCommandMenu_->setObjectName(QStringLiteral("windowCommandMenu"));
    windowCommandMenu_->addAction(QStringLiteral("移動(&M)"), this, [this] { runWindowCommand(WindowCommand::Move); });
    windowCommandMenu_->addAction(QStringLiteral("左上に移動"), this,
                                  [this] { runWindowCommand(WindowCommand::MoveToTopLeft); });
    statusBar_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(statusBar_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { windowCommandMenu_->popup(statusBar_->mapToGlobal(at)); });
}

void MainWindow::connectHandlers() {
    // Every handler runs guarded: an error it raises is shown and the window goes on.
    const auto on = [this](auto handler) { return [this, handler] { guarded(handler); }; };
    commands::FilePanes* panes = filePanes_;
    for (int side = 0; side < 2; ++side) {
        connect(sides_[side].folderButton, &QPushButton::clicked, this,
                on([panes, side] { panes->chooseFolder(side); }));
        sides_[side].list->onUserSelect = on([panes, side] { panes->selectFileFromList(side); });
        connect(rereadActions_[side], &QAction::triggered, this, on([panes, side] { panes->rereadList(side); }));
        connect(dropActions_[side], &QAction::triggered, this, on([panes, side] { panes->assignDroppedFile(side); }));
        connect(syncActions_[side], &QAction::triggered, this,
                on([panes, side] { panes->copyFolder(side, 1 - side); }));
    }
    connect(nextFileButton_, &QPushButton::clicked, this, on([panes] { panes->selectNextFile(); }));
    connect(folderWatchTimer_, &QTimer::timeout, this, on([panes] { panes->watchFolders(); }));
    connect(runAction_, &QAction::triggered, this, on([this] { runComparison(); }));
    for (int side = 0; side < 2; ++side) {
        // Enter in a path field chooses the typed file as a selection in a list would.
        connect(sides_[side].pathEdit, &QLineEdit::returnPressed, this, on([this, side] { chooseTypedFile(side); }));
    }
}

void MainWindow::traceWindow() {
    // Places are the control's, from the window's inside top-left corner, as it stands now.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!now || now->window() != this) return;
        const QPoint at = now->mapTo(this, QPoint(0, 0));
        traceWindowLine(formatText("focus %s %d %d %d %d\n", now->objectName().toUtf8().constData(), at.x(), at.y(),
                                   now->width(), now->height()));
    });
    connect(statusBar_, &QStatusBar::messageChanged, this,
            [](const QString& message) { traceWindowLine("status " + message.toStdString() + "\n"); });
}

void MainWindow::startUp() {
    // Placement first: the window system chooses the position unless the settings give one.
    const LoadedSettings loaded = loadSettings(settingsFiles_);
    if (loaded.tooLarge) {
        dialogs().message(toQString(settingsFileToRead(settingsFiles_)) +
                          QStringLiteral(" は大きすぎるため読み込みませんでした。既定の設定で起動します。"));
    }
    const bool applied = loaded.found && !loaded.tooLarge;
    // Start-up goes on whatever the file held: the rest of the window must work.
    if (applied) guarded([&] { applySettings(loaded.settings); });
    if (!applied) {
        if (const QScreen* screen = QApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    setAcceptDrops(true);
    fileSlots_ = FileSlots{};
    // Both lists start in the working folder; their captions say so, so that 同期 works at once.
    for (int side = 0; side < 2; ++side) {
        if (sides_[side].folderButton->text().isEmpty()) {
            filePanes_->showFolderCaption(side, toQString(sides_[side].list->folder()));
        }
    }
    // The first thing to choose is a file of folder 1.
    sides_[0].list->setFocus(Qt::OtherFocusReason);
    for (const commands::SidePane& pane : sides_) {
        pane.folderButton->setFont(layoutFont(LayoutFace::MsPGothic, 9));
        pane.pathEdit->setFont(layoutFont(LayoutFace::MsPGothic, 9));
    }
}

void MainWindow::applySettings(const WindowSettings& settings) {
    // Each control is set as a user would set it, so that its change handling runs.
    move(x(), settings.top);
    move(settings.left, y());
    // The saved values are the outer frame's corner, which the window system can only honour
    // once it has framed the window: placed once more after the window is shown.
    savedFramePosition_ = QPoint(settings.left, settings.top);
    options_->setZeroSkip(settings.zeroSkip);
    options_->setMatchPoint(settings.matchPoint);
    options_->setContinuousMode(settings.continuousMode);
    options_->setDetailDisplay(settings.detailDisplay);
    options_->setMeasure(settings.measure);
    options_->setMatchLengthText(toQString(settings.matchLength));
    options_->setDifferenceLimitText(toQString(settings.differenceLimit));
}

WindowSettings MainWindow::currentSettings() const {
    WindowSettings settings;
    settings.top = y();
    settings.left = x();
    settings.zeroSkip = options_->zeroSkip();
    settings.matchPoint = options_->matchPoint();
    settings.continuousMode = options_->continuousMode();
    settings.detailDisplay = options_->detailDisplay();
    settings.measure = options_->measure();
    settings.matchLength = options_->matchLengthEditText().toStdString();
    settings.differenceLimit = options_->differenceLimitEditText().toStdString();
    return settings;
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (savedFramePosition_) QTimer::singleShot(0, this, [this] { placeFrame(0); });
}

void MainWindow::placeFrame(int attempt) {
    // The frame's size is known once the window manager has framed the window; until then the
    // frame and the inside coincide. A window manager that draws no frame never changes that.
    if (frameGeometry() == geometry() && attempt < 50) {
        QTimer::singleShot(20, this, [this, attempt] { placeFrame(attempt + 1); });
        return;
    }
    if (!savedFramePosition_) return;
    // A position saved at another scale or on a larger screen may leave part of the window out
    // of reach: the whole frame is brought onto the screen, shortened if it is too tall.
    const QSize frameExtra = frameGeometry().size() - size();
    const QRect fitted = fittedFrame(QRect(*savedFramePosition_, frameGeometry().size()));
    if (fitted.height() < frameGeometry().height()) fitToAvailableHeight(fitted.height() - frameExtra.height());
    move(fitted.topLeft());
    savedFramePosition_.reset();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A comparison, scan or header walk running from a handler sees this at its next pause and
    // stops, so the program ends within a block instead of hiding its window and reading on.
    closing_ = true;
    // A picker or message box left open would keep the program running without its window.
    dialogs().closeAll();
    QMainWindow::closeEvent(event);
}

QRect MainWindow::fittedFrame(QRect frame) const {
    QScreen* holding = QGuiApplication::primaryScreen();
    qint64 most = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect shared = screen->availableGeometry().intersected(frame);
        const qint64 area = qint64{shared.width()} * shared.height();
        if (area > most) {
            most = area;
            holding = screen;
        }
    }
    if (!holding) return frame;
    // Moved only as far as needed, and never above or left of the area when it does not fit.
    const QRect area = holding->availableGeometry();
    frame.setSize(frame.size().boundedTo(area.size()));
    frame.moveLeft(std::clamp(frame.left(), area.left(), area.right() + 1 - frame.width()));
    frame.moveTop(std::clamp(frame.top(), area.top(), area.bottom() + 1 - frame.height()));
    return frame;
}

int MainWindow::availableHeight() const {
    const QScreen* screen =
        windowHandle() && windowHandle()->screen() ? windowHandle()->screen() : QGuiApplication::primaryScreen();
    if (!screen) return INT_MAX;
    const int frame = std::max(frameGeometry().height() - geometry().height(), kAssumedFrameHeight);
    return screen->availableGeometry().height() - frame;
}

QSize MainWindow::fittedSize() const {
    QSize size = designedSize();
    // The log gives way first, then the panel scrolls; the menu and status bars always show.
    const int least = menuBar()->sizeHint().height() + kStatusHeight + kMinLogHeight + kMinLogHeight;
    size.setHeight(std::max(std::min(size.height(), fitHeight_), least));
    return size;
}

void MainWindow::fitToAvailableHeight(int height) {
    fitHeight_ = height;
    const QSize size = fittedSize();
    // The panel first, its layouts brought up to date at once: its old fixed height would
    // otherwise still hold the window up.
    fitPanel(size.height());
    centralWidget()->layout()->activate();
    layout()->activate();
    resize(size);
}

void MainWindow::fitPanel(int windowHeight) {
    // The controls take their height while the log keeps a few lines; below that they scroll.
    const int inside = windowHeight - menuBar()->sizeHint().height() - kStatusHeight;
    const int panel = controlsPanel_->height();
    int shown = std::clamp(inside - kMinLogHeight, kMinLogHeight, panel);
    // The fold never cuts the strip: it shows whole while the log keeps its few lines, else it
    // waits below the fold, where Tab scrolls it into view.
    const QRect strip = progressBar_->geometry();
    if (shown < panel && shown > strip.top() && shown <= strip.bottom()) {
        shown = inside - (strip.bottom() + 1) >= kMinLogHeight ? strip.bottom() + 1 : strip.top();
    }
    panelScroll_->setFixedHeight(shown);
}

void MainWindow::layoutPanel() {
    const int listHeight = sides_[0].list->wholeRowsHeight(kDesignedListHeight + listGrowth_);
    const int grown = listHeight - kDesignedListHeight;  // a few pixels either way, for whole rows
    const auto setTopAndHeight = [](QWidget* widget, int top, int height) {
        widget->setGeometry(widget->x(), top, widget->width(), height);
    };
    for (int side = 0; side < 2; ++side) {
        const int folderTop = side == 0 ? folderLabels_[0]->y() : kSecondFolderTop + grown;
        folderLabels_[side]->move(folderLabels_[side]->x(), folderTop);
        sides_[side].folderButton->move(sides_[side].folderButton->x(), folderTop);
        setTopAndHeight(sides_[side].list, folderTop + 24, listHeight);
    }
    setTopAndHeight(folderGroup_, folderGroup_->y(), kDesignedFolderGroupHeight + 2 * grown);
    for (const auto& [widget, top] : belowLists_) widget->move(widget->x(), top + 2 * grown);
    controlsPanel_->setFixedHeight(kPanelHeight + 2 * grown);
    // The information panes share the width the other controls take, a small gap between them.
    constexpr int kMargin = 16, kGap = 6;
    // Until the window is shown the panel has no width of its own yet: the designed one.
    const int inner = (controlsPanel_->isVisible() ? controlsPanel_->width() : kClientWidth) - 2 * kMargin;
    const int first = (inner - kGap) / 2;
    QPlainTextEdit* const panes[] = {sides_[0].infoPane, sides_[1].infoPane};
    panes[0]->setGeometry(kMargin, panes[0]->y(), first, panes[0]->height());
    panes[1]->setGeometry(kMargin + first + kGap, panes[1]->y(), inner - first - kGap, panes[1]->height());
}

void MainWindow::keepMinimumSize() {
    // Never smaller than the designed window (on the original platform 450 x 720 outer pixels),
    // unless the screen is too small for it: then the window fits the screen. Frames differ
    // between window systems, so the limit is the inside plus whatever frame this window has.
    const QSize frameExtra = frameGeometry().size() - size();
    const QSize designed = fittedSize();
    int width = this->width();
    int height = this->height();
    if (frameGeometry().width() <= designed.width() + frameExtra.width()) width = designed.width();
    if (frameGeometry().height() <= designed.height() + frameExtra.height()) height = designed.height();
    if (width != this->width() || height != this->height()) resize(width, height);
}

QSize MainWindow::designedSize() const {
    return QSize(kClientWidth, menuBar()->sizeHint().height() + kPanelHeight + kLogHeight + kStatusHeight);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    keepMinimumSize();
    // Height beyond the designed window: half to the two lists, half to the log.
    listGrowth_ = std::max(0, height() - designedSize().height()) / 4;
    layoutPanel();
    fitPanel(height());
}

void MainWindow::openFiles(const QStringList& paths) {
    for (int side = 0; side < 2 && side < paths.size(); ++side) {
        const std::string path = QFileInfo(paths[side]).absoluteFilePath().toStdString();
        guarded([&] { filePanes_->assignFile(side, path); });
    }
}

void MainWindow::chooseTypedFile(int side) {
    const QString typed = sides_[side].pathEdit->text().trimmed();
    if (typed.isEmpty()) return;
    filePanes_->assignFile(side, QFileInfo(typed).absoluteFilePath().toStdString());
}

void MainWindow::runComparison() {
    if (!runCommand_->isRunning()) {
        // What the path fields show is what is compared: a path typed but not yet chosen is
        // chosen first.
        for (int side = 0; side < 2; ++side) {
            const QString typed = sides_[side].pathEdit->text().trimmed();
            if (typed.isEmpty()) continue;
            const std::string path = QFileInfo(typed).absoluteFilePath().toStdString();
            if (path != fileSlots_[side].path) chooseTypedFile(side);
        }
    }
    if (!runCommand_->isRunning()) {
        // Every run starts from nothing: a run that compares nothing must not show the last one's.
        progressBar_->clearMarks();
        progressValue_ = 0;
        progressBar_->setValue(0);
    }
    runCommand_->run();
    showPendingOutput();
}

void MainWindow::markDifferences(const RunOutcome& outcome) {
    // The strip is file 1 from its first frame to its last: what zero skip or a match point passed
    // over, what was compared, and what was left when the comparison ended.
    const uint64_t skipped = outcome.skipped[0];
    const uint64_t compared = outcome.comparedFrames;
    const uint64_t total = skipped + compared + outcome.uncompared[0];
    if (total == 0) {
        progressBar_->clearMarks();
        return;
    }
    const double rate = fileSlots_[0].format.sampleRate;
    const auto placeOf = [&](uint64_t frame) { return static_cast<double>(frame) / static_cast<double>(total); };
    const auto secondsOf = [&](uint64_t frame) { return rate > 0 ? static_cast<double>(frame) / rate : 0.0; };
    std::vector<ProgressStrip::Difference> differences;
    differences.reserve(outcome.differingFrames.size());
    for (size_t i = 0; i < outcome.differingFrames.size(); ++i) {
        const uint64_t frame = skipped + outcome.differingFrames[i];
        const double level = i < outcome.differenceLevels.size() ? outcome.differenceLevels[i] : 1.0;
        // Numbered as the detail lines number them: from 1 at the first compared frame.
        differences.push_back({placeOf(frame), level, outcome.differingFrames[i] + 1, secondsOf(frame)});
    }
    std::vector<ProgressStrip::Range> notCompared;
    if (skipped != 0) notCompared.push_back({0.0, placeOf(skipped)});
    if (outcome.uncompared[0] != 0) notCompared.push_back({placeOf(skipped + compared), 1.0});
    QStringList tip;
    if (!differences.empty()) {
        tip << QStringLiteral("最初の相違点 %1 / 最後の相違点 %2")
                   .arg(differences.front().number)
                   .arg(differences.back().number);
    }
    // A run stopped at the limit must not look complete.
    if (outcome.end == ComparisonEnd::LimitExceeded) {
        tip << QStringLiteral("相違数の上限で停止: フレーム%1").arg(compared + 1);
    }
    if (skipped != 0 || outcome.skipped[1] != 0) {
        tip << QStringLiteral("比較しなかった先頭のサンプル: ファイル1 %1、ファイル2 %2")
                   .arg(skipped)
                   .arg(outcome.skipped[1]);
    }
    const double seconds = secondsOf(total);
    progressBar_->setResult(std::move(differences), std::move(notCompared), seconds, tip.join(u'\n'));
}

void MainWindow::showDifferenceInLog(uint64_t number) {
    showPendingOutput();
    const QString line = toQString(formatText("相違点 %10llu(", static_cast<unsigned long long>(number)));
    QTextCursor found = logView_->document()->find(line);
    if (found.isNull()) {
        // Without difference details the log has no line to show.
        statusBar_->showMessage(QStringLiteral("相違点 %1: 相違詳細表示がオフのため、ログに行がありません").arg(number),
                                10000);
        return;
    }
    found.movePosition(QTextCursor::StartOfBlock);
    found.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    logView_->setTextCursor(found);
    logView_->centerCursor();
    statusBar_->showMessage(QStringLiteral("相違点 %1").arg(number), 10000);
}

void MainWindow::runWindowCommand(WindowCommand command) {
    switch (command) {
        case WindowCommand::Move:
            // By keyboard where the window manager offers it; else as the platform moves windows.
            if (startKeyboardMove(*this)) break;
            if (QWindow* window = windowHandle()) window->startSystemMove();
            break;
        case WindowCommand::MoveToTopLeft:
            move(0, 0);
            update();
            break;
    }
}

namespace {

QStringList droppedFiles(const QMimeData* data) {
    QStringList paths;
    if (!data) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    return paths;
}

}  // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    draggedFiles_ = droppedFiles(event->mimeData());
    if (!draggedFiles_.isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    // Another program's data can come back empty at the drop itself, though the drag carried it.
    QStringList paths = droppedFiles(event->mimeData());
    if (paths.isEmpty()) paths = draggedFiles_;
    draggedFiles_.clear();
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    guarded([&] { filePanes_->offerDroppedFile(paths); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == controlsPanel_ && event->type() == QEvent::Resize) layoutPanel();
    // Text fields would paste a dropped file's address into themselves; a file dropped anywhere
    // on the window is offered as file 1 or file 2 instead. Dropped text still goes in.
    switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            const QStringList paths = droppedFiles(drag->mimeData());
            if (paths.isEmpty()) break;
            draggedFiles_ = paths;
            drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            if (droppedFiles(drop->mimeData()).isEmpty() && draggedFiles_.isEmpty()) break;
            dropEvent(drop);
            return true;
        }
        default: break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::logLine(const std::string& text) {
    pendingLog_ << toQString(text);
    // Shown when the event loop next gets its turn, or sooner by a pause of long work.
    if (!showPendingTimer_->isActive()) showPendingTimer_->start();
}

void MainWindow::clearLog() {
    pendingLog_.clear();
    logView_->clear();
}

void MainWindow::showPendingOutput() {
    if (!pendingLog_.isEmpty()) {
        if (windowTraced()) {
            for (const QString& line : pendingLog_) traceWindowLine("log " + line.toStdString() + "\n");
        }
        logView_->appendPlainText(pendingLog_.join(u'\n'));
        pendingLog_.clear();
    }
    if (progressBar_->value() != progressValue_) progressBar_->setValue(progressValue_);
    sinceShown_.start();
}

void MainWindow::clearInfo(int side) { sides_[side].infoPane->clear(); }

void MainWindow::appendInfo(int side, const std::string& text) {
    sides_[side].infoPane->appendPlainText(toQString(text));
}

void MainWindow::showMessage(const std::string& text) {
    showPendingOutput();  // the log behind the box shows what led to it
    dialogs().message(toQString(text));
}

void MainWindow::processPendingEvents() {
    if (sinceShown_.elapsed() >= kScreenUpdateMs) showPendingOutput();
    QCoreApplication::processEvents();
}

int MainWindow::progress() const { return progressValue_; }

void MainWindow::setProgress(int percent) {
    progressValue_ = percent;
    if (!showPendingTimer_->isActive()) showPendingTimer_->start();
}

}  // namespace vemilo::ui
