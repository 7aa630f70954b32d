#pragma once
// The two folder panes: how the user names file 1 and file 2, by a row of a folder list or by a
// dropped file, and how the lists follow their folders.

#include <QObject>
#include <QStringList>
#include <array>
#include <optional>
#include <string>

#include "wav/file_slot.h"

class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace vemilo {
class Reporter;
}

namespace vemilo::widgets {
class FileListBox;
}

namespace vemilo::commands {

// The controls of one side: its folder button (captioned with the folder), its list, its path
// field (display only) and its information pane.
struct SidePane {
    QPushButton* folderButton = nullptr;
    widgets::FileListBox* list = nullptr;
    QLineEdit* pathEdit = nullptr;
    QPlainTextEdit* infoPane = nullptr;
};

class FilePanes : public QObject {
public:
    // dropMenu: the popup offering "ファイル1" and "ファイル2" after a drop; its choice calls
    // assignDroppedFile. Files are loaded into fileSlots and reported through reporter.
    FilePanes(std::array<SidePane, 2> panes, QMenu* dropMenu, FileSlots& fileSlots, Reporter& reporter,
              QObject* parent = nullptr);

    const SidePane& pane(int side) const { return panes_[side]; }
    const std::string& droppedPath() const { return droppedPath_; }

    // The folder picker, then the side's caption and list. A cancelled picker changes nothing.
    void chooseFolder(int side);
    // The user selected a row of the side's list: its path field, slot and pane follow.
    void selectFileFromList(int side);
    // "更新": reads the side's list again; no row stays selected.
    void rereadList(int side);
    // "同期": the target pane takes the source pane's caption and shows that folder.
    void copyFolder(int from, int to);
    // Once a second: a list whose folder's count of WAV files changed is read again.
    void watchFolders();
    // A drop: one file opens the drop menu at the cursor for it; two or more fill file 1 and
    // file 2 with the first two, in the order given.
    void offerDroppedFile(const QStringList& paths);
    // The drop menu's choice: the dropped file becomes the side's file, its folder the side's folder.
    void assignDroppedFile(int side);
    // Names a file for a side as a drop would, without the menu (files given at start). A path
    // that names no file is reported and leaves the side's folder and list as they were.
    void assignFile(int side, const std::string& path);
    // The folder button's caption, and the name a screen reader gives it: the folder it shows.
    void showFolderCaption(int side, const QString& folder);
    // The hidden next-file button: the row below the selection of list 1 becomes file 1.
    void selectNextFile();
    // A step of continuous mode: selects the side's next row and shows its path; the path, for the
    // series to load, or nothing when there is no next row.
    std::optional<std::string> selectNextRow(int side);

private:
    void chooseFile(int side, const std::string& path);

    std::array<SidePane, 2> panes_;
    QMenu* dropMenu_;
    FileSlots& fileSlots_;
    Reporter& reporter_;
    std::string droppedPath_;
};

}  // namespace vemilo::commands
