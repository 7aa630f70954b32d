#include "widgets/file_list_box.h"

#include <sys/stat.h>
#include <QDir>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QStyle>
#include <algorithm>
#include <optional>
#include <stdexcept>

#include "wav/text_format.h"
#include "wav/wav_file_list.h"

namespace vemilo::widgets {
namespace {

// The same folder whether or not a path ends with its separator.
std::string withoutTrailingSeparator(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// A folder's modification time in nanoseconds and its size; -1 when it cannot be looked at.
void stampOf(const std::string& folder, int64_t (&stamp)[2]) {
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0) {
        stamp[0] = stamp[1] = -1;
        return;
    }
    stamp[0] = static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    stamp[1] = static_cast<int64_t>(status.st_size);
}

}  // namespace

int FileNameModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(names_.size());
}

QVariant FileNameModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    const std::string& text = names_[static_cast<size_t>(index.row())];
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void FileNameModel::setNames(std::vector<std::string> names) {
    beginResetModel();
    names_ = std::move(names);
    endResetModel();
}

FileListBox::FileListBox(QWidget* parent) : QListView(parent), model_(new FileNameModel(this)) {
    setModel(model_);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Every row has the same height: the view never measures rows one by one.
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The selection, not the current row: a list that takes the focus moves its current row
    // without selecting anything, and a mouse press moves it before the row is selected.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!programSelecting_ && selectedRow() >= 0 && onUserSelect) onUserSelect();
    });
    folder_ = QDir::currentPath().toStdString();
    rereadQuietly();
}

int FileListBox::selectedRow() const {
    const QModelIndexList selected = selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.front().row();
}

void FileListBox::selectRow(int index) {
    programSelecting_ = true;
    if (index >= 0 && index < rowCount()) {
        setCurrentIndex(model_->index(index));
    } else {
        selectionModel()->clear();
    }
    programSelecting_ = false;
}

std::string FileListBox::rowText(int index) const {
    return index >= 0 && index < rowCount() ? model_->name(index) : std::string();
}

std::string FileListBox::selectedPath() const {
    const int row = selectedRow();
    return row < 0 ? std::string() : joinPath(folder_, rowText(row));
}

QRect FileListBox::rowRect(int index) const { return visualRect(model_->index(index)); }

void FileListBox::showFolder(const std::string& path) {
    if (path.empty()) return;
    const std::string wanted = withoutTrailingSeparator(path);
    if (wanted == withoutTrailingSeparator(folder_)) return;
    read(wanted, false);
}

void FileListBox::reread() { read(folder_, false); }

void FileListBox::rereadQuietly() { read(folder_, true); }

void FileListBox::read(const std::string& folder, bool quietly) {
    // Stamped before the read, so that a change during the read shows at the next look.
    int64_t stamp[2];
    stampOf(folder, stamp);
    std::optional<WavFolderListing> listing = listWavFolder(folder);
    if (!listing && !quietly) throw std::runtime_error("フォルダ " + escapeControlCharacters(folder) + " を開けません");
    folder_ = folder;
    show(std::move(listing), stamp);
}

void FileListBox::show(std::optional<WavFolderListing> listing, const int64_t (&stamp)[2]) {
    folderStamp_[0] = stamp[0];
    folderStamp_[1] = stamp[1];
    programSelecting_ = true;
    model_->setNames(listing ? std::move(listing->names) : std::vector<std::string>{});
    selectionModel()->clear();
    setCurrentIndex(QModelIndex());
    programSelecting_ = false;
    matchingEntries_ = listing ? listing->matchingEntries : 0;
}

bool FileListBox::followFolder() {
    int64_t now[2];
    stampOf(folder_, now);
    if (now[0] >= 0 && now[0] == folderStamp_[0] && now[1] == folderStamp_[1]) return false;
    // One read of the folder both counts its files and, when the count changed, fills the list.
    std::optional<WavFolderListing> listing = listWavFolder(folder_);
    if ((listing ? listing->matchingEntries : 0) != matchingEntries_) {
        show(std::move(listing), now);
    } else {
        // A renamed file changes the folder but not the count: the list stays, the stamp moves on.
        folderStamp_[0] = now[0];
        folderStamp_[1] = now[1];
    }
    return true;
}

void FileListBox::mousePressEvent(QMouseEvent* event) {
    // A click on the row already selected names that file again, as any click on a row does.
    const int before = selectedRow();
    QListView::mousePressEvent(event);
    const QModelIndex clicked = indexAt(event->position().toPoint());
    if (clicked.isValid() && clicked.row() == before && before >= 0 && onUserSelect) onUserSelect();
}

int FileListBox::rowHeight() const {
    // What the view's delegate asks of the style for a row of text.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.text = QStringLiteral("Ag");
    option.features |= QStyleOptionViewItem::HasDisplay;
    return std::max(1, style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), this).height());
}

int FileListBox::wholeRowsHeight(int wanted) const {
    const int frame = 2 * frameWidth();
    const int rows = std::max(1, (wanted - frame + rowHeight() / 2) / rowHeight());
    return rows * rowHeight() + frame;
}

int findFileRow(const FileListBox& list, const std::string& name) {
    for (int index = 0; index < list.rowCount(); ++index) {
        if (list.rowText(index) == name) return index;
    }
    return list.rowCount();
}

}  // namespace vemilo::widgets
