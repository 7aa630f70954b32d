#include "commands/file_panes.h"

#include <sys/stat.h>
#include <QCursor>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "wav/choose_file.h"
#include "wav/reporter.h"
#include "widgets/dialogs.h"
#include "widgets/file_list_box.h"
#include "widgets/qt_text.h"

namespace vemilo::commands {
namespace {

constexpr int kDropMenuDelayMs = 50;

}  // namespace

FilePanes::FilePanes(std::array<SidePane, 2> panes, QMenu* dropMenu, FileSlots& fileSlots, Reporter& reporter,
                     QObject* parent)
    : QObject(parent), panes_(panes), dropMenu_(dropMenu), fileSlots_(fileSlots), reporter_(reporter) {}

void FilePanes::chooseFile(int side, const std::string& path) {
    const WavError error = vemilo::chooseFile(fileSlots_[side], side, path, reporter_);
    // A newer choice or the window's closing is no fault of the file.
    if (!error || error.problem == WavProblem::Superseded || error.problem == WavProblem::Stopped) return;
    // Said at once, in the log too, so that a saved log tells why nothing was compared.
    const std::string message = cannotReadMessage(side, path, error);
    reporter_.logLine(message);
    reporter_.showMessage(message);
}

void FilePanes::chooseFolder(int side) {
    const QString chosen = widgets::dialogs().chooseFolder(QStringLiteral("ディレクトリを開くダイアログ"));
    // A cancelled picker changes nothing, so the caption keeps naming the list's folder.
    if (chosen.isEmpty()) return;
    showFolderCaption(side, chosen);
    panes_[side].list->showFolder(chosen.toStdString());
}

void FilePanes::selectFileFromList(int side) {
    const std::string path = panes_[side].list->selectedPath();
    panes_[side].pathEdit->setText(widgets::toQString(path));
    chooseFile(side, path);
}

void FilePanes::rereadList(int side) { panes_[side].list->reread(); }

void FilePanes::copyFolder(int from, int to) {
    // The source is the button's caption, which names the folder the user chose.
    const QString folder = panes_[from].folderButton->text();
    if (folder.isEmpty()) {
        widgets::dialogs().message(from == 0 ? QStringLiteral("フォルダ1が設定されていません")
                                             : QStringLiteral("フォルダ2が設定されていません"));
        return;
    }
    showFolderCaption(to, folder);
    panes_[to].list->showFolder(folder.toStdString());
}

void FilePanes::watchFolders() {
    // A list is read again when its folder's count of matching files no longer matches what the
    // list last saw there; hidden files count on both sides, so they never cause a re-read.
    for (const SidePane& pane : panes_) pane.list->followFolder();
}

void FilePanes::offerDroppedFile(const QStringList& paths) {
    if (paths.isEmpty()) return;
    if (paths.size() >= 2) {
        assignFile(0, paths[0].toStdString());
        assignFile(1, paths[1].toStdString());
        return;
    }
    droppedPath_ = paths.front().toStdString();
    // Opened once the drop is over: until the dragging program lets go of the pointer, a menu
    // cannot take it and would close at once.
    QTimer::singleShot(kDropMenuDelayMs, dropMenu_, [menu = dropMenu_] { menu->popup(QCursor::pos()); });
}

void FilePanes::assignDroppedFile(int side) { assignFile(side, droppedPath_); }

void FilePanes::assignFile(int side, const std::string& path) {
    const SidePane& pane = panes_[side];
    pane.pathEdit->setText(widgets::toQString(path));
    // A mistyped path would otherwise empty the list of a folder the user did not mean.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || S_ISDIR(status.st_mode)) {
        chooseFile(side, path);
        return;
    }
    const size_t separator = path.rfind('/');
    const std::string folderPart = separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
    const std::string namePart = separator == std::string::npos ? path : path.substr(separator + 1);
    showFolderCaption(side, widgets::toQString(folderPart));
    pane.list->showFolder(folderPart);
    pane.list->selectRow(widgets::findFileRow(*pane.list, namePart));
    chooseFile(side, path);
}

void FilePanes::showFolderCaption(int side, const QString& folder) {
    QPushButton* button = panes_[side].folderButton;
    button->setText(folder);
    const QString name = side == 0 ? QStringLiteral("フォルダ1") : QStringLiteral("フォルダ2");
    button->setAccessibleName(name + QStringLiteral(": ") + (folder.isEmpty() ? QStringLiteral("未設定") : folder));
}

void FilePanes::selectNextFile() {
    const int next = panes_[0].list->selectedRow() + 1;
    if (next >= panes_[0].list->rowCount()) return;
    panes_[0].list->selectRow(next);
    selectFileFromList(0);
}

std::optional<std::string> FilePanes::selectNextRow(int side) {
    const SidePane& pane = panes_[side];
    const int next = pane.list->selectedRow() + 1;
    if (next == pane.list->rowCount()) return std::nullopt;
    pane.list->selectRow(next);
    const std::string path = pane.list->selectedPath();
    pane.pathEdit->setText(widgets::toQString(path));
    return path;
}

}  // namespace vemilo::commands
