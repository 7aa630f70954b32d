#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vemilo::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    // A folder under parent instead, when parent is a folder (say /dev/shm, where holes in sparse
    // files read fast); else under the system's temporary folder.
    explicit TempDir(const std::string& parent);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes bytes to a file below the folder, making the folders on its way; its full path.
    std::string put(const std::string& relative, const std::vector<uint8_t>& bytes) const;

private:
    std::string path_;
};

// A file's whole text, and a file written with a text, replacing what was there.
std::string readWhole(const std::string& path);
void writeWhole(const std::string& path, const std::string& text);

// Open descriptors of this process, to show that an operation closed what it opened.
int openDescriptorCount();

}  // namespace vemilo::testing
