#pragma once
// The list of the "*.wav" files of one folder, as each folder pane shows it. A model over the
// names, so that a folder of a hundred thousand files lists in a moment.

#include <QAbstractListModel>
#include <QListView>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "wav/wav_file_list.h"

namespace vemilo::widgets {

// The names of one folder's files, as rows.
class FileNameModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    void setNames(std::vector<std::string> names);
    const std::string& name(int row) const { return names_[static_cast<size_t>(row)]; }

private:
    std::vector<std::string> names_;  // the exact bytes of each name
};

class FileListBox : public QListView {
public:
    explicit FileListBox(QWidget* parent);

    // Runs when the user selects a row with the mouse or the keyboard, never for the program's own.
    std::function<void()> onUserSelect;

    const std::string& folder() const { return folder_; }
    int selectedRow() const;
    // Selects a row without running onUserSelect; an index that names no row leaves none selected.
    void selectRow(int index);
    int rowCount() const { return model_->rowCount(); }
    std::string rowText(int index) const;
    // folder + "/" + name of the selected row; empty when none is selected.
    std::string selectedPath() const;
    // Where a row is drawn, in the viewport's coordinates.
    QRect rowRect(int index) const;
    // The height of one row, whether or not the list has any.
    int rowHeight() const;
    // The height nearest to wanted that shows whole rows only (one at least).
    int wholeRowsHeight(int wanted) const;

    // Shows the folder named by path: empty changes nothing, the folder already shown keeps rows
    // and selection, another is read afresh. Throws when the folder cannot be read.
    void showFolder(const std::string& path);
    // Reads the rows again; afterwards no row is selected. Throws when the folder cannot be read.
    void reread();
    // For the watch: re-reads, and empties the list quietly when its folder is gone.
    void rereadQuietly();
    // Matching entries, hidden ones included, that the last read saw.
    uint32_t matchingEntries() const { return matchingEntries_; }
    // The watch's look at the folder: when its count of matching files no longer matches what the
    // last read saw, the list is read again. A folder whose modification time and size are what
    // they were is not counted at all. True when the folder was counted.
    bool followFolder();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void read(const std::string& folder, bool quietly);
    void show(std::optional<WavFolderListing> listing, const int64_t (&stamp)[2]);

    FileNameModel* model_;
    std::string folder_;
    uint32_t matchingEntries_ = 0;
    int64_t folderStamp_[2] = {-1, -1};  // the folder's modification time (ns) and size at the last read
    bool programSelecting_ = false;
};

// The index of the first row whose text equals name byte for byte, or the row count when none does.
int findFileRow(const FileListBox& list, const std::string& name);

}  // namespace vemilo::widgets
