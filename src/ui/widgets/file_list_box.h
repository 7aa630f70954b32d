#pragma once
// The list of the "*.wav" files of one folder, as each folder pane shows it.

#include <QListWidget>
#include <functional>
#include <string>

namespace vemilo::ui {

class FileListBox : public QListWidget {
public:
    explicit FileListBox(QWidget* parent);

    // Runs when the user selects a row with the mouse or the keyboard, never for the program's own.
    std::function<void()> onUserSelect;

    const std::string& folder() const { return folder_; }
    int selectedRow() const;
    // Selects a row without running onUserSelect; an index that names no row leaves none selected.
    void selectRow(int index);
    int rowCount() const { return count(); }
    std::string rowText(int index) const;
    // folder + "/" + name of the selected row; empty when none is selected.
    std::string selectedPath() const;

    // Shows the folder named by path: empty changes nothing, the folder already shown keeps rows
    // and selection, another is read afresh. Throws when the folder cannot be read.
    void showFolder(const std::string& path);
    // Reads the rows again; afterwards no row is selected. Throws when the folder cannot be read.
    void reread();
    // For the watch: re-reads, and empties the list quietly when its folder is gone.
    void rereadQuietly();
    // Matching entries, hidden ones included, that the last read saw.
    uint32_t matchingEntries() const { return matchingEntries_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void fill(const std::vector<std::string>& names, uint32_t matchingEntries);

    std::string folder_;
    uint32_t matchingEntries_ = 0;
    bool programSelecting_ = false;
};

// The index of the first row whose text equals name byte for byte, or the row count when none does.
int FindFileRow(const FileListBox& list, const std::string& name);

}  // namespace vemilo::ui
