#include "ui/main_window.h"
#include "ui/qt_text.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include "commands/file_list_box.h"
#include "compare/option_text.h"
#include "ui/dialogs.h"
#include "ui/fonts.h"
#include "ui/right_anchors.h"
#include "ui/spin_control.h"

namespace vemilo::ui {
namespace {

constexpr int kClientWidth = 442;
constexpr int kPanelHeight = 481;
constexpr int kMemoHeight = 180;
constexpr int kStatusHeight = 25;
constexpr int kMinOuterWidth = 450;
constexpr int kMinOuterHeight = 720;

template <typename Widget>
Widget* place(Widget* widget, int left, int top, int width, int height) {
    widget->setGeometry(left, top, width, height);
    return widget;
}

}  // namespace

TForm1::TForm1(const QString& settingsDirectory, QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Vemilo v3.00β1"));
    setFont(layoutFont(LayoutFace::Tahoma, 8));
    buildControls();
    buildMenus();
    connectHandlers();
    settingsPath = (settingsDirectory.isEmpty() ? QCoreApplication::applicationDirPath() : settingsDirectory) +
                   QStringLiteral("/vemilo3.ini");
    resize(kClientWidth, menuBar()->sizeHint().height() + kPanelHeight + kMemoHeight + kStatusHeight);
    FormCreate();
}

TForm1::~TForm1() {
    // Closing the window ends the program; the settings are written as it goes.
    guarded([this] { FormDestroy(); });
}

void TForm1::buildControls() {
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);

    Panel1 = new QWidget(central);
    Panel1->setFixedHeight(kPanelHeight);
    Memo1 = new QPlainTextEdit(central);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setFont(layoutFont(LayoutFace::MsGothic, 9));
    column->addWidget(Panel1);
    column->addWidget(Memo1, 1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setFixedHeight(kStatusHeight);
    StatusBar1->setSizeGripEnabled(true);
    auto* statusPanel = new QLabel(StatusBar1);
    statusPanel->setFixedWidth(50);
    StatusBar1->addWidget(statusPanel);
    setStatusBar(StatusBar1);

    auto* panelAnchors = new RightAnchors(Panel1, kClientWidth);

    GroupBox1 = place(new QGroupBox(QStringLiteral("フォルダから指定"), Panel1), 16, 4, 412, 191);
    auto* group1Anchors = new RightAnchors(GroupBox1, 412);
    Label1 = place(new QLabel(QStringLiteral("フォルダ1"), GroupBox1), 8, 16, 49, 12);
    SpeedButton1 = place(new QPushButton(GroupBox1), 63, 16, 332, 18);
    folder1 = place(new commands::FileListBox(GroupBox1), 16, 40, 377, 57);
    Label2 = place(new QLabel(QStringLiteral("フォルダ2"), GroupBox1), 8, 103, 49, 12);
    SpeedButton2 = place(new QPushButton(GroupBox1), 63, 103, 332, 18);
    folder2 = place(new commands::FileListBox(GroupBox1), 16, 127, 377, 57);
    for (QLabel* label : {Label1, Label2}) label->setFont(layoutFont(LayoutFace::MsPGothic, 9));
    for (QPushButton* button : {SpeedButton1, SpeedButton2}) {
        button->setFocusPolicy(Qt::NoFocus);
        button->setFlat(true);
        button->setStyleSheet(QStringLiteral("text-align: left; padding-left: 2px;"));
    }
    for (QWidget* w : std::initializer_list<QWidget*>{SpeedButton1, folder1, SpeedButton2, folder2}) group1Anchors->add(w);

    GroupBox2 = place(new QGroupBox(QStringLiteral("wavファイル"), Panel1), 16, 201, 412, 73);
    auto* group2Anchors = new RightAnchors(GroupBox2, 412);
    Label3 = place(new QLabel(QStringLiteral("ファイル1"), GroupBox2), 8, 16, 40, 13);
    Edit2 = place(new QLineEdit(GroupBox2), 64, 16, 332, 21);
    Label4 = place(new QLabel(QStringLiteral("ファイル2"), GroupBox2), 8, 44, 40, 13);
    Edit3 = place(new QLineEdit(GroupBox2), 64, 43, 332, 21);
    group2Anchors->add(Edit2);
    group2Anchors->add(Edit3);

    file1_info = place(new QPlainTextEdit(Panel1), 16, 280, 161, 82);
    file2_info = place(new QPlainTextEdit(Panel1), 183, 279, 161, 83);
    for (QPlainTextEdit* pane : {file1_info, file2_info}) {
        pane->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        pane->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        pane->setFont(layoutFont(LayoutFace::MsGothic, 9));
        // Six summary lines must fit the designed height without a scroll bar.
        pane->document()->setDocumentMargin(0);
        pane->setFrameStyle(QFrame::Box | QFrame::Plain);
    }

    Button2 = place(new QPushButton(QStringLiteral("Button2"), Panel1), 350, 338, 75, 25);
    Button2->hide();
    ProgressBar1 = place(new QProgressBar(Panel1), 16, 369, 412, 17);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    GroupBox3 = place(new QGroupBox(QStringLiteral("比較オプション"), Panel1), 16, 392, 377, 83);
    cbx_zeroskip = place(new QCheckBox(QStringLiteral("ゼロスキップ"), GroupBox3), 8, 16, 73, 17);
    cbx_matchpoint = place(new QCheckBox(QStringLiteral("一致点を探す"), GroupBox3), 104, 16, 97, 17);
    cbx_missout = place(new QCheckBox(QStringLiteral("相違詳細表示"), GroupBox3), 224, 16, 97, 17);
    Label6 = place(new QLabel(QStringLiteral("最大表示行"), GroupBox3), 240, 32, 60, 13);
    Label5 = place(new QLabel(QStringLiteral("一致検出ｻﾝﾌﾟﾙ数"), GroupBox3), 104, 34, 93, 13);
    cbx_repeat = place(new QCheckBox(QStringLiteral("連続モード"), GroupBox3), 8, 39, 74, 17);
    Edit1 = place(new QLineEdit(QStringLiteral("200"), GroupBox3), 120, 49, 41, 21);
    UpDown1 = place(new SpinControl(GroupBox3, 1, 32767, 100, 200), 161, 49, 17, 21);
    Edit4 = place(new QLineEdit(QStringLiteral("200"), GroupBox3), 240, 48, 41, 21);
    UpDown2 = place(new SpinControl(GroupBox3, 1, 2000, 20, 200), 281, 48, 16, 21);
    UpDown1->setBuddy(Edit1);
    UpDown2->setBuddy(Edit4);
    cbx_zeroskip->setChecked(true);
    cbx_matchpoint->setChecked(true);
    // The layout's captions are wider than its check boxes in today's fonts; let them show whole.
    for (QCheckBox* box : {cbx_zeroskip, cbx_matchpoint, cbx_missout, cbx_repeat}) {
        box->resize(std::max(box->width(), box->sizeHint().width()), box->height());
    }

    for (QWidget* w : std::initializer_list<QWidget*>{GroupBox1, GroupBox2, ProgressBar1}) panelAnchors->add(w);

    QWidget* tabOrder[] = {Memo1, folder1, folder2, Edit2, Edit3, file1_info, file2_info, cbx_zeroskip, cbx_matchpoint,
                           Edit1, cbx_repeat, cbx_missout, Edit4, Button2};
    for (size_t i = 1; i < std::size(tabOrder); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    Timer1->start();
}

void TForm1::buildMenus() {
    N1 = menuBar()->addAction(QStringLiteral("実行"));
    N2 = menuBar()->addMenu(QStringLiteral("フォルダ"));
    N3 = N2->addMenu(QStringLiteral("同期"));
    N121 = N3->addAction(QStringLiteral("1→2"));
    N211 = N3->addAction(QStringLiteral("2→1"));
    N4 = N2->addMenu(QStringLiteral("更新"));
    N12 = N4->addAction(QStringLiteral("1"));
    N22 = N4->addAction(QStringLiteral("2"));

    PopupMenu1 = new QMenu(this);
    N11 = PopupMenu1->addAction(QStringLiteral("ファイル1"));
    N21 = PopupMenu1->addAction(QStringLiteral("ファイル2"));

    // Linux desktops give an application no window menu of its own: the two commands live in
    // a context menu of the status bar.
    StatusBarMenu = new QMenu(this);
    StatusBarMenu->addAction(QStringLiteral("移動(&M)"), this, [this] { ApplicationMessage(10); });
    StatusBarMenu->addAction(QStringLiteral("左上に移動"), this, [this] { ApplicationMessage(11); });
    StatusBar1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(StatusBar1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { StatusBarMenu->popup(StatusBar1->mapToGlobal(at)); });
}

void TForm1::connectHandlers() {
    // Every handler runs guarded: an error it raises is shown and the window goes on.
    const auto on = [this](auto handler) { return [this, handler] { guarded([&] { (this->*handler)(); }); }; };
    connect(SpeedButton1, &QPushButton::clicked, this, [this] { guarded([this] { SpeedButton1Click(SpeedButton1); }); });
    connect(SpeedButton2, &QPushButton::clicked, this, [this] { guarded([this] { SpeedButton1Click(SpeedButton2); }); });
    folder1->onUserSelect = on(&TForm1::folder1Click);
    folder2->onUserSelect = on(&TForm1::folder2Click);
    connect(Button2, &QPushButton::clicked, this, on(&TForm1::Button2Click));
    connect(N1, &QAction::triggered, this, on(&TForm1::N1Click));
    connect(N11, &QAction::triggered, this, [this] { guarded([this] { N11Click(N11); }); });
    connect(N21, &QAction::triggered, this, [this] { guarded([this] { N11Click(N21); }); });
    connect(N121, &QAction::triggered, this, [this] { guarded([this] { N121Click(N121); }); });
    connect(N211, &QAction::triggered, this, [this] { guarded([this] { N121Click(N211); }); });
    connect(N12, &QAction::triggered, this, on(&TForm1::N12Click));
    connect(N22, &QAction::triggered, this, on(&TForm1::N22Click));
    connect(Timer1, &QTimer::timeout, this, on(&TForm1::Timer1Timer));
    connect(cbx_matchpoint, &QCheckBox::toggled, this, on(&TForm1::cbx_matchpointClick));
    connect(Edit1, &QLineEdit::textChanged, this, on(&TForm1::Edit1Change));
    connect(Edit4, &QLineEdit::textChanged, this, on(&TForm1::Edit4Change));
    UpDown1->onChanging = on(&TForm1::UpDown1Changing);
    UpDown2->onChanging = on(&TForm1::UpDown2Changing);
    Edit1->installEventFilter(this);
    Edit4->installEventFilter(this);
}

void TForm1::FormCreate() {
    // Placement first: the window system chooses the position unless the settings give one.
    bool settingsApplied = false;
    if (QFile::exists(settingsPath)) {
        settingsApplied = true;
        // Start-up goes on whatever the file held: the rest of the window must work.
        guarded([this] { LoadSettings(); });
    }
    if (!settingsApplied) {
        if (const QScreen* screen = QApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    setAcceptDrops(true);
    fileSlots = FileSlots{};
    for (QWidget* w : std::initializer_list<QWidget*>{SpeedButton1, SpeedButton2, Edit2, Edit3}) {
        w->setFont(layoutFont(LayoutFace::MsPGothic, 9));
    }
}

void TForm1::FormDestroy() { SaveSettings(); }

void TForm1::FormResize() {
    const QSize frameExtra = frameGeometry().size() - size();
    int width = this->width();
    int height = this->height();
    if (frameGeometry().width() <= kMinOuterWidth) width = kMinOuterWidth - frameExtra.width();
    if (frameGeometry().height() <= kMinOuterHeight) height = kMinOuterHeight - frameExtra.height();
    if (width != this->width() || height != this->height()) resize(width, height);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        if (watched == Edit1) guarded([this] { Edit1Exit(); });
        if (watched == Edit4) guarded([this] { Edit4Exit(); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::ApplicationMessage(int command) {
    if (command == 10) {
        if (QWindow* window = windowHandle()) window->startSystemMove();
    } else if (command == 11) {
        move(0, 0);
        update();
    }
}

void TForm1::cbx_matchpointClick() {
    if (cbx_matchpoint->isChecked()) cbx_zeroskip->setChecked(true);
}

namespace {

// Edit box to spin control: a whole number moves the control (to the nearest bound when outside
// its range, and the edit box then shows that bound); anything else but an empty text is an error.
void editChanged(QLineEdit* edit, SpinControl* spin) {
    const std::string text = edit->text().toStdString();
    if (text.empty()) return;
    const std::optional<int32_t> value = parseWholeNumber(text);
    if (!value) throw ConversionError(text);
    spin->setPosition(*value);
    if (*value != spin->currentPosition()) edit->setText(QString::number(spin->currentPosition()));
}

}  // namespace

void TForm1::Edit1Change() { editChanged(Edit1, UpDown1); }
void TForm1::Edit4Change() { editChanged(Edit4, UpDown2); }
void TForm1::UpDown1Changing() { Edit1->setText(QString::number(UpDown1->currentPosition())); }
void TForm1::UpDown2Changing() { Edit4->setText(QString::number(UpDown2->currentPosition())); }

void TForm1::Edit1Exit() {
    if (Edit1->text().isEmpty()) dialogs().message(QStringLiteral("サンプル数を指定してください"));
}

void TForm1::Edit4Exit() {
    if (Edit4->text().isEmpty()) dialogs().message(QStringLiteral("相違詳細表示行を指定してください"));
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    guarded([&] { WMDropFiles(paths); });
}

// Host.
void TForm1::LogLine(const std::string& text) { Memo1->appendPlainText(toQString(text)); }

void TForm1::clearInfo(int side) { (side == 0 ? file1_info : file2_info)->clear(); }

void TForm1::appendInfo(int side, const std::string& text) { (side == 0 ? file1_info : file2_info)->appendPlainText(toQString(text)); }

void TForm1::showMessage(const std::string& text) { dialogs().message(toQString(text)); }

void TForm1::processPendingEvents() { QCoreApplication::processEvents(); }

int TForm1::progress() const { return ProgressBar1->value(); }

void TForm1::setProgress(int percent) { ProgressBar1->setValue(percent); }

bool TForm1::zeroSkip() const { return cbx_zeroskip->isChecked(); }

bool TForm1::matchPoint() const { return cbx_matchpoint->isChecked(); }

bool TForm1::detailDisplay() const { return cbx_missout->isChecked(); }

std::string TForm1::matchLengthText() const { return Edit1->text().toStdString(); }

std::string TForm1::differenceLimitText() const { return Edit4->text().toStdString(); }

}  // namespace vemilo::ui
