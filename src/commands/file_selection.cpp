// Choosing file 1 and file 2: the folder panes, the folder picker, the watch and drops.

#include <QCursor>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include "commands/file_list_box.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "wav/wav_file_list.h"
#include "wav/zero_run_scan.h"

namespace vemilo::ui {

void TForm1::chooseFile(int side, const std::string& path) {
    loadFileSlot(fileSlots[side], side, path, *this);
    scanZeroRuns(fileSlots[side], side, *this);
}

void TForm1::SpeedButton1Click(QPushButton* sender) {
    const QString chosen = dialogs().chooseFolder(QStringLiteral("ディレクトリを開くダイアログ"));
    // A cancelled picker changes nothing, so the caption keeps naming the list's folder.
    if (chosen.isEmpty()) return;
    commands::FileListBox* list = sender == SpeedButton1 ? folder1 : folder2;
    sender->setText(chosen);
    list->showFolder(chosen.toStdString());
}

void TForm1::folder1Click() {
    const std::string path = folder1->selectedPath();
    Edit2->setText(toQString(path));
    chooseFile(0, path);
}

void TForm1::folder2Click() {
    const std::string path = folder2->selectedPath();
    Edit3->setText(toQString(path));
    chooseFile(1, path);
}

void TForm1::N12Click() { folder1->reread(); }

void TForm1::N22Click() { folder2->reread(); }

void TForm1::Timer1Timer() {
    // A list is read again when its folder's count of matching files no longer matches what the
    // list last saw there; hidden files count on both sides, so they never cause a re-read.
    for (commands::FileListBox* list : {folder1, folder2}) {
        if (CountWavFiles(list->folder()) != list->matchingEntries()) list->rereadQuietly();
    }
}

void TForm1::WMDropFiles(const QStringList& paths) {
    if (paths.isEmpty()) return;
    droppedPath = paths.front().toStdString();
    PopupMenu1->popup(QCursor::pos());
}

void TForm1::N11Click(QAction* sender) {
    const bool first = sender == N11;
    QLineEdit* field = first ? Edit2 : Edit3;
    QPushButton* button = first ? SpeedButton1 : SpeedButton2;
    commands::FileListBox* list = first ? folder1 : folder2;
    const int side = first ? 0 : 1;

    const std::string path = droppedPath;
    field->setText(toQString(path));
    const size_t separator = path.rfind('/');
    const std::string folderPart = separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
    const std::string namePart = separator == std::string::npos ? path : path.substr(separator + 1);
    button->setText(toQString(folderPart));
    list->showFolder(folderPart);
    list->selectRow(commands::FindFileRow(*list, namePart));
    chooseFile(side, path);
}

void TForm1::Button2Click() {
    const int next = folder1->selectedRow() + 1;
    if (next >= folder1->rowCount()) return;
    folder1->selectRow(next);
    folder1Click();
}

}  // namespace vemilo::ui
