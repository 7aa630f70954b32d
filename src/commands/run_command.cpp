// "実行": the checks, one comparison, and continuous mode through both folder lists.

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "commands/file_list_box.h"
#include "compare/comparison_run.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"

namespace vemilo::ui {
namespace {

// Marks a command in progress for as long as it runs, whatever way it ends.
class RunningFlag {
public:
    explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
    ~RunningFlag() { flag_ = false; }

private:
    bool& flag_;
};

}  // namespace

bool TForm1::advanceList(commands::FileListBox* list, QLineEdit* field, int side) {
    const int next = list->selectedRow() + 1;
    if (next == list->rowCount()) return false;
    list->selectRow(next);
    const std::string path = list->selectedPath();
    field->setText(toQString(path));
    chooseFile(side, path);
    return true;
}

void TForm1::N1Click() {
    // Chosen again while a comparison runs (from one of its yields): ignored, so that no second
    // run starts inside the first and the series is not disturbed.
    if (runInProgress) return;
    if (Edit1->text().isEmpty() && cbx_matchpoint->isChecked()) {
        dialogs().message(QStringLiteral("一致点のサンプル数を指定してください。"));
        return;
    }
    if (Edit4->text().isEmpty() && cbx_missout->isChecked()) {
        dialogs().message(QStringLiteral("相違詳細表示行を指定してください。"));
        return;
    }
    if (fileSlots[0].path.empty()) {
        dialogs().message(QStringLiteral("ファイル1が指定されていません"));
        return;
    }
    if (fileSlots[1].path.empty()) {
        dialogs().message(QStringLiteral("ファイル2が指定されていません"));
        return;
    }
    const RunningFlag running(runInProgress);
    Memo1->clear();
    for (;;) {
        if (ComparisonRun(fileSlots, *this) == Different) return;
        if (!cbx_repeat->isChecked()) return;
        // File 1 moves on before the end of list 2 is noticed.
        if (!advanceList(folder1, Edit2, 0)) return;
        if (!advanceList(folder2, Edit3, 1)) return;
    }
}

}  // namespace vemilo::ui
