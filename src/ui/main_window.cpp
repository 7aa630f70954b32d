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
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <climits>

#include "commands/run_command.h"
#include "ui/option_controls.h"
#include "ui/settings.h"
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
constexpr int kPanelHeight = 481;
constexpr int kLogHeight = 180;
constexpr int kStatusHeight = 25;
// The log never shrinks below a few lines and its scroll bar.
constexpr int kMinLogHeight = 56;
// A window not framed yet is taken to need this much for its title bar and borders.
constexpr int kAssumedFrameHeight = 32;
constexpr qint64 kScreenUpdateMs = 50;

}  // namespace

MainWindow::MainWindow(SettingsFiles settingsFiles, QWidget* parent)
    : QMainWindow(parent), settingsFiles_(std::move(settingsFiles)) {
    setWindowTitle(QStringLiteral("Vemilo v3.00β1"));
    setFont(layoutFont(LayoutFace::Tahoma, 8));
    buildControls();
    buildMenus();
    filePanes_ = new commands::FilePanes(sides_, dropMenu_, fileSlots_, reporter(), this);
    runCommand_ = std::make_unique<commands::RunCommand>(fileSlots_, reporter(), *options_, *filePanes_,
                                                         [this] { return options_->continuousMode(); });
    runCommand_->onCompared = [this](const RunOutcome& outcome) { markDifferences(outcome); };
    connectHandlers();
    fitToAvailableHeight(availableHeight());
    startUp();
}

MainWindow::~MainWindow() {
    // Closing the window ends the program; the settings are written as it goes.
    guarded([this] { saveSettings(settingsFiles_, currentSettings()); });
}

void MainWindow::buildControls() {
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
    controlsPanel_ = new QWidget(panelScroll_);
    controlsPanel_->setObjectName(QStringLiteral("controlsPanel"));
    controlsPanel_->setFixedHeight(kPanelHeight);
    panelScroll_->setWidget(controlsPanel_);
    logView_ = new QPlainTextEdit(central);
    logView_->setObjectName(QStringLiteral("logView"));
    logView_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
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

    auto* panelAnchors = new RightAnchors(controlsPanel_, kClientWidth);

    auto* folderGroup =
        place(new QGroupBox(QStringLiteral("フォルダから指定"), controlsPanel_), "folderGroup", 16, 4, 412, 191);
    auto* folderAnchors = new RightAnchors(folderGroup, 412);
    auto* fileGroup =
        place(new QGroupBox(QStringLiteral("wavファイル"), controlsPanel_), "fileGroup", 16, 201, 412, 73);
    auto* fileAnchors = new RightAnchors(fileGroup, 412);
    for (int side = 0; side < 2; ++side) {
        commands::SidePane& pane = sides_[side];
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
        pane.folderButton->setToolTip(side == 0 ? QStringLiteral("フォルダ1を選ぶ")
                                                : QStringLiteral("フォルダ2を選ぶ"));
        pane.folderButton->setAccessibleName(pane.folderButton->toolTip());
        pane.list =
            place(new FileListBox(folderGroup), side == 0 ? "fileList1" : "fileList2", 16, folderTop + 24, 377, 57);
        pane.list->setAccessibleName(QStringLiteral("フォルダ") + QLatin1String(suffix) + QStringLiteral("のファイル"));
        folderAnchors->add(pane.folderButton);
        folderAnchors->add(pane.list);

        place(new QLabel(QStringLiteral("ファイル") + QLatin1String(suffix), fileGroup),
              side == 0 ? "fileLabel1" : "fileLabel2", 8, side == 0 ? 16 : 44, 40, 13);
        pane.pathEdit =
            place(new QLineEdit(fileGroup), side == 0 ? "pathEdit1" : "pathEdit2", 64, side == 0 ? 16 : 43, 332, 21);
        pane.pathEdit->setAccessibleName(QStringLiteral("ファイル") + QLatin1String(suffix));
        fileAnchors->add(pane.pathEdit);

        pane.infoPane = side == 0 ? place(new QPlainTextEdit(controlsPanel_), "infoPane1", 16, 280, 161, 82)
                                  : place(new QPlainTextEdit(controlsPanel_), "infoPane2", 183, 279, 161, 83);
        pane.infoPane->setAccessibleName(QStringLiteral("ファイル") + QLatin1String(suffix) + QStringLiteral("の情報"));
        pane.infoPane->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        pane.infoPane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        pane.infoPane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        pane.infoPane->setFont(layoutFont(LayoutFace::MsGothic, 9));
        // Six summary lines must fit the designed height without a scroll bar.
        pane.infoPane->document()->setDocumentMargin(0);
        pane.infoPane->setFrameStyle(QFrame::Box | QFrame::Plain);
    }

    nextFileButton_ =
        place(new QPushButton(QStringLiteral("Button2"), controlsPanel_), "nextFileButton", 350, 338, 75, 25);
    nextFileButton_->hide();
    progressBar_ = place(new ProgressStrip(controlsPanel_), "progressBar", 16, 369, 412, 17);
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    progressBar_->setAccessibleName(QStringLiteral("比較の進み具合"));

    options_ = new OptionControls(controlsPanel_);
    fitCaptions(controlsPanel_);

    for (QWidget* w : std::initializer_list<QWidget*>{folderGroup, fileGroup, progressBar_}) panelAnchors->add(w);

    QList<QWidget*> tabOrder = {logView_,          sides_[0].folderButton, sides_[0].list,     sides_[1].folderButton,
                                sides_[1].list,    sides_[0].pathEdit,     sides_[1].pathEdit, sides_[0].infoPane,
                                sides_[1].infoPane};
    tabOrder << options_->tabChain() << nextFileButton_;
    for (qsizetype i = 1; i < tabOrder.size(); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

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

    // Drops of files on any text field reach the window's own drop handling.
    for (QWidget* field : findChildren<QWidget*>()) {
        if (qobject_cast<QLineEdit*>(field) || qobject_cast<QPlainTextEdit*>(field)) {
            field->installEventFilter(this);
            if (auto* pane = qobject_cast<QPlainTextEdit*>(field)) pane->viewport()->installEventFilter(this);
        }
    }

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
    for (const commands::SidePane& pane : sides_) {
        if (pane.folderButton->text().isEmpty()) pane.folderButton->setText(toQString(pane.list->folder()));
    }
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
    move(reachablePosition(*savedFramePosition_, frameGeometry().size()));
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

QPoint MainWindow::reachablePosition(QPoint framePosition, QSize frameSize) const {
    // The title bar must lie on some screen, or the window cannot be moved back with the mouse.
    const int titleHeight = std::max(frameGeometry().height() - geometry().height(), 20);
    QRect titleBar(framePosition, QSize(frameSize.width(), titleHeight));
    const QList<QScreen*> screens = QGuiApplication::screens();
    QScreen* nearest = nullptr;
    int nearestDistance = INT_MAX;
    for (QScreen* screen : screens) {
        const QRect area = screen->availableGeometry();
        if (area.intersects(titleBar)) return framePosition;
        const QPoint delta = area.center() - titleBar.center();
        const int distance = delta.manhattanLength();
        if (distance < nearestDistance) {
            nearestDistance = distance;
            nearest = screen;
        }
    }
    if (!nearest) return framePosition;
    const QRect area = nearest->availableGeometry();
    // Moved only as far as needed: onto the screen, and the whole title bar within it if it fits.
    const int left =
        std::clamp(framePosition.x(), area.left(), std::max(area.left(), area.right() + 1 - frameSize.width()));
    const int top = std::clamp(framePosition.y(), area.top(), std::max(area.top(), area.bottom() + 1 - titleHeight));
    return QPoint(left, top);
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
    // The controls take their designed height while the log keeps a few lines; below that they
    // scroll.
    const int inside = windowHeight - menuBar()->sizeHint().height() - kStatusHeight;
    panelScroll_->setFixedHeight(std::clamp(inside - kMinLogHeight, kMinLogHeight, kPanelHeight));
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
    if (!runCommand_->isRunning()) progressBar_->clearMarks();
    runCommand_->run();
    showPendingOutput();
}

void MainWindow::markDifferences(const RunOutcome& outcome) {
    if (outcome.differingFrames.empty() || outcome.comparable == 0) {
        progressBar_->clearMarks();
        return;
    }
    const auto placeOf = [&](uint64_t frame) {
        return static_cast<double>(frame) / static_cast<double>(outcome.comparable);
    };
    std::vector<double> places;
    places.reserve(outcome.differingFrames.size());
    for (uint64_t frame : outcome.differingFrames) places.push_back(placeOf(frame));
    // Numbered as the detail lines number them: from 1 at the first compared frame.
    QString tip = QStringLiteral("最初の相違点 %1 / 最後の相違点 %2")
                      .arg(outcome.differingFrames.front() + 1)
                      .arg(outcome.differingFrames.back() + 1);
    // A run stopped at the limit must not look complete: what was never compared is greyed.
    const bool stopped = outcome.end == ComparisonEnd::LimitExceeded;
    if (stopped) tip += QStringLiteral("\n相違数の上限で停止: フレーム%1").arg(outcome.comparedFrames + 1);
    progressBar_->setMarks(std::move(places), tip);
    progressBar_->setStoppedAt(stopped ? std::optional(placeOf(outcome.comparedFrames)) : std::nullopt);
}

void MainWindow::runWindowCommand(WindowCommand command) {
    switch (command) {
        case WindowCommand::Move:
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
