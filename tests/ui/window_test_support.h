#pragma once
// What the window tests share: recording dialogs, a window with settings of its own, and the
// window's controls found by their object names.

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "commands/run_command.h"
#include "support/temp_dir.h"
#include "ui/main_window.h"
#include "widgets/dialogs.h"
#include "widgets/file_list_box.h"
#include "widgets/progress_strip.h"
#include "widgets/spin_control.h"

namespace vemilo::testing {

class RecordingDialogs : public widgets::Dialogs {
public:
    RecordingDialogs() : previous_(widgets::setDialogs(this)) {}
    ~RecordingDialogs() override { widgets::setDialogs(previous_); }
    void message(const QString& text) override { messages << text; }
    void error(const QString& text) override { errors << text; }
    QString chooseFolder(const QString& title) override {
        titles << title;
        return folderToChoose;
    }

    QStringList messages, errors, titles;
    QString folderToChoose;

private:
    widgets::Dialogs* previous_;
};

// The settings files of a window whose vemilo3.ini lives in a folder of its own, with the user's
// configuration folder inside it.
inline ui::SettingsFiles settingsFilesIn(const TempDir& settingsDir) {
    return {settingsDir.file("vemilo3.ini"), settingsDir.file("config/vemilo/vemilo3.ini")};
}

inline std::unique_ptr<ui::MainWindow> makeWindow(const TempDir& settingsDir) {
    return std::make_unique<ui::MainWindow>(settingsFilesIn(settingsDir));
}

template <typename T>
T* findControl(const QObject& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (!found) qFatal("the window has no control named %s", name);
    return found;
}

// The window's controls, as a user sees them.
struct Controls {
    explicit Controls(const ui::MainWindow& w)
        : logView(findControl<QPlainTextEdit>(w, "logView")),
          controlsPanel(findControl<QWidget>(w, "controlsPanel")),
          folderGroup(findControl<QGroupBox>(w, "folderGroup")),
          optionsGroup(findControl<QGroupBox>(w, "optionsGroup")),
          folderButton{findControl<QPushButton>(w, "folderButton1"), findControl<QPushButton>(w, "folderButton2")},
          list{findControl<widgets::FileListBox>(w, "fileList1"), findControl<widgets::FileListBox>(w, "fileList2")},
          pathEdit{findControl<QLineEdit>(w, "pathEdit1"), findControl<QLineEdit>(w, "pathEdit2")},
          infoPane{findControl<QPlainTextEdit>(w, "infoPane1"), findControl<QPlainTextEdit>(w, "infoPane2")},
          progressBar(findControl<widgets::ProgressStrip>(w, "progressBar")),
          nextFileButton(findControl<QPushButton>(w, "nextFileButton")),
          zeroSkip(findControl<QCheckBox>(w, "zeroSkipCheck")),
          matchPoint(findControl<QCheckBox>(w, "matchPointCheck")),
          details(findControl<QCheckBox>(w, "detailsCheck")),
          continuous(findControl<QCheckBox>(w, "continuousCheck")),
          measure(findControl<QCheckBox>(w, "measureCheck")),
          matchLengthEdit(findControl<QLineEdit>(w, "matchLengthEdit")),
          matchLengthSpin(findControl<widgets::SpinControl>(w, "matchLengthSpin")),
          differenceLimitEdit(findControl<QLineEdit>(w, "differenceLimitEdit")),
          differenceLimitSpin(findControl<widgets::SpinControl>(w, "differenceLimitSpin")),
          runAction(findControl<QAction>(w, "runAction")),
          syncAction{findControl<QAction>(w, "syncOneToTwoAction"), findControl<QAction>(w, "syncTwoToOneAction")},
          rereadAction{findControl<QAction>(w, "rereadOneAction"), findControl<QAction>(w, "rereadTwoAction")},
          dropMenu(findControl<QMenu>(w, "dropMenu")),
          windowCommandMenu(findControl<QMenu>(w, "windowCommandMenu")),
          folderWatchTimer(findControl<QTimer>(w, "folderWatchTimer")) {}

    QPlainTextEdit* logView;
    QWidget* controlsPanel;
    QGroupBox* folderGroup;
    QGroupBox* optionsGroup;
    QPushButton* folderButton[2];
    widgets::FileListBox* list[2];
    QLineEdit* pathEdit[2];
    QPlainTextEdit* infoPane[2];
    widgets::ProgressStrip* progressBar;
    QPushButton* nextFileButton;
    QCheckBox* zeroSkip;
    QCheckBox* matchPoint;
    QCheckBox* details;
    QCheckBox* continuous;
    QCheckBox* measure;
    QLineEdit* matchLengthEdit;
    widgets::SpinControl* matchLengthSpin;
    QLineEdit* differenceLimitEdit;
    widgets::SpinControl* differenceLimitSpin;
    QAction* runAction;
    QAction* syncAction[2];
    QAction* rereadAction[2];
    QMenu* dropMenu;
    QMenu* windowCommandMenu;
    QTimer* folderWatchTimer;
};

}  // namespace vemilo::testing
