// "フォルダ" → "同期": one pane takes the other pane's folder.

#include <QPushButton>

#include "commands/file_list_box.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace vemilo::ui {

void TForm1::N121Click(QAction* sender) {
    const bool oneToTwo = sender == N121;
    QPushButton* source = oneToTwo ? SpeedButton1 : SpeedButton2;
    QPushButton* target = oneToTwo ? SpeedButton2 : SpeedButton1;
    commands::FileListBox* targetList = oneToTwo ? folder2 : folder1;
    // The source is the button's caption, which names the folder the user chose.
    if (source->text().isEmpty()) {
        dialogs().message(oneToTwo ? QStringLiteral("フォルダ1が設定されていません") : QStringLiteral("フォルダ2が設定されていません"));
        return;
    }
    target->setText(source->text());
    targetList->showFolder(source->text().toStdString());
}

}  // namespace vemilo::ui
