#include "ui/widgets/file_list_box.h"

#include <QDir>
#include <QMouseEvent>
#include <stdexcept>

#include "wav/text_format.h"
#include "wav/wav_file_list.h"

namespace vemilo::ui {
namespace {

// The same folder whether or not a path ends with its separator.
std::string withoutTrailingSeparator(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    // The selection, not the current row: a list that takes the focus moves its current row
    // without selecting anything, and a mouse press moves it before the row is selected.
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (!programSelecting_ && selectedRow() >= 0 && onUserSelect) onUserSelect();
    });
    folder_ = QDir::currentPath().toStdString();
    rereadQuietly();
}

int FileListBox::selectedRow() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.front());
}

void FileListBox::selectRow(int index) {
    programSelecting_ = true;
    if (index >= 0 && index < count()) {
        setCurrentRow(index);
    } else {
        setCurrentRow(-1);
        clearSelection();
    }
    programSelecting_ = false;
}

std::string FileListBox::rowText(int index) const {
    const QListWidgetItem* row = item(index);
    return row ? row->data(Qt::UserRole).toByteArray().toStdString() : std::string();
}

std::string FileListBox::selectedPath() const {
    const int row = selectedRow();
    return row < 0 ? std::string() : joinPath(folder_, rowText(row));
}

void FileListBox::showFolder(const std::string& path) {
    if (path.empty()) return;
    const std::string wanted = withoutTrailingSeparator(path);
    if (wanted == withoutTrailingSeparator(folder_)) return;
    const auto listing = listWavFolder(wanted);
    if (!listing) throw std::runtime_error("フォルダ " + escapeControlCharacters(wanted) + " を開けません");
    folder_ = wanted;
    fill(listing->names, listing->matchingEntries);
}

void FileListBox::reread() {
    const auto listing = listWavFolder(folder_);
    if (!listing) throw std::runtime_error("フォルダ " + escapeControlCharacters(folder_) + " を開けません");
    fill(listing->names, listing->matchingEntries);
}

void FileListBox::rereadQuietly() {
    const auto listing = listWavFolder(folder_);
    fill(listing ? listing->names : std::vector<std::string>{}, listing ? listing->matchingEntries : 0);
}

void FileListBox::fill(const std::vector<std::string>& names, uint32_t matchingEntries) {
    programSelecting_ = true;
    clear();
    for (const std::string& name : names) {
        auto* row = new QListWidgetItem(QString::fromUtf8(name.data(), static_cast<int>(name.size())), this);
        row->setData(Qt::UserRole, QByteArray(name.data(), static_cast<int>(name.size())));  // the exact bytes
    }
    setCurrentRow(-1);
    clearSelection();
    programSelecting_ = false;
    matchingEntries_ = matchingEntries;
}

void FileListBox::mousePressEvent(QMouseEvent* event) {
    // A click on the row already selected names that file again, as any click on a row does.
    const int before = selectedRow();
    QListWidget::mousePressEvent(event);
    const QListWidgetItem* clicked = itemAt(event->position().toPoint());
    if (clicked && row(clicked) == before && before >= 0 && onUserSelect) onUserSelect();
}

int FindFileRow(const FileListBox& list, const std::string& name) {
    for (int index = 0; index < list.rowCount(); ++index) {
        if (list.rowText(index) == name) return index;
    }
    return list.rowCount();
}

}  // namespace vemilo::ui
