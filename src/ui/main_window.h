#pragma once
// The main window: every control of the layout, the window's own handlers, and the host through
// which the core reports. The handlers of the folder panes and commands live in src/commands/.

#include <QMainWindow>
#include <QString>
#include <string>

#include "wav/file_slot.h"
#include "wav/host.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTimer;

namespace vemilo::commands {
class FileListBox;
}

namespace vemilo::ui {

class SpinControl;

class TForm1 : public QMainWindow, public Host {
public:
    // settingsDirectory: where vemilo3.ini lives; empty means the executable's folder.
    explicit TForm1(const QString& settingsDirectory = QString(), QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, in the order of the layout.
    QPlainTextEdit* Memo1;
    QWidget* Panel1;
    QGroupBox* GroupBox1;
    QPushButton* SpeedButton1;
    QLabel* Label1;
    QLabel* Label2;
    QPushButton* SpeedButton2;
    QGroupBox* GroupBox2;
    QLineEdit* Edit2;
    QLabel* Label3;
    QLabel* Label4;
    QLineEdit* Edit3;
    QMenu* PopupMenu1;
    QAction* N11;
    QAction* N21;
    QPlainTextEdit* file1_info;
    QPlainTextEdit* file2_info;
    QStatusBar* StatusBar1;
    QGroupBox* GroupBox3;
    QCheckBox* cbx_zeroskip;
    QCheckBox* cbx_matchpoint;
    QLineEdit* Edit1;
    SpinControl* UpDown1;
    QProgressBar* ProgressBar1;
    commands::FileListBox* folder1;
    commands::FileListBox* folder2;
    QCheckBox* cbx_repeat;
    QPushButton* Button2;
    QAction* N1;
    QMenu* N2;
    QMenu* N3;
    QAction* N121;
    QAction* N211;
    QTimer* Timer1;
    QMenu* N4;
    QAction* N12;
    QAction* N22;
    QLabel* Label5;
    QCheckBox* cbx_missout;
    QLabel* Label6;
    QLineEdit* Edit4;
    SpinControl* UpDown2;
    QMenu* StatusBarMenu;  // stands in for the task-bar entry's window menu

    // Handlers of the window (this folder).
    void FormCreate();
    void FormResize();
    void FormDestroy();
    void UpDown1Changing();
    void Edit1Change();
    void Edit1Exit();
    void UpDown2Changing();
    void Edit4Change();
    void Edit4Exit();
    void cbx_matchpointClick();
    void ApplicationMessage(int command);
    void LoadSettings();
    void SaveSettings();

    // Handlers of the folder panes and commands (src/commands/).
    void SpeedButton1Click(QPushButton* sender);
    void folder1Click();
    void folder2Click();
    void Button2Click();
    void N1Click();
    void N11Click(QAction* sender);
    void N121Click(QAction* sender);
    void N12Click();
    void N22Click();
    void Timer1Timer();
    void WMDropFiles(const QStringList& paths);

    FileSlots fileSlots;
    QString settingsPath;
    std::string droppedPath;
    bool runInProgress = false;

    // Host: how the core reports into this window.
    void LogLine(const std::string& text) override;
    void clearInfo(int side) override;
    void appendInfo(int side, const std::string& text) override;
    void showMessage(const std::string& text) override;
    void processPendingEvents() override;
    int progress() const override;
    void setProgress(int percent) override;
    bool zeroSkip() const override;
    bool matchPoint() const override;
    bool detailDisplay() const override;
    std::string matchLengthText() const override;
    std::string differenceLimitText() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void connectHandlers();
    void chooseFile(int side, const std::string& path);
    // Selects the list's next row and loads it into the side's slot; false when there is none.
    bool advanceList(commands::FileListBox* list, QLineEdit* field, int side);
};

}  // namespace vemilo::ui
