#pragma once
// What the window tests share: recording dialogs and a window with settings of its own.

#include <QStringList>
#include <memory>

#include "support/temp_dir.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace vemilo::testing {

class RecordingDialogs : public ui::Dialogs {
public:
    RecordingDialogs() : previous_(ui::setDialogs(this)) {}
    ~RecordingDialogs() override { ui::setDialogs(previous_); }
    void message(const QString& text) override { messages << text; }
    void error(const QString& text) override { errors << text; }
    QString chooseFolder(const QString& title) override {
        titles << title;
        return folderToChoose;
    }

    QStringList messages, errors, titles;
    QString folderToChoose;

private:
    ui::Dialogs* previous_;
};

// A window whose vemilo3.ini lives in a folder of its own.
inline std::unique_ptr<ui::TForm1> makeWindow(const TempDir& settingsDir) {
    return std::make_unique<ui::TForm1>(QString::fromStdString(settingsDir.path()));
}

}  // namespace vemilo::testing
