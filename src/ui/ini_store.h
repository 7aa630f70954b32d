#pragma once
// An INI file with the semantics of private-profile files: values replaced where they stand, new
// keys at the end of their section, new sections at the end of the file, names compared without
// regard to letter case, and every line the program does not own kept as it was. The file is read
// once and written whole, through a temporary file and a rename, so that it is always either the
// old file or the new one, never a mix.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vemilo::ui {

class IniStore {
public:
    // Files larger than this are not read: no settings file needs it, and reading one would stall.
    static constexpr uint64_t kMaxFileBytes = 1u << 20;

    // Reads the file at path once; a missing file reads as empty.
    explicit IniStore(std::string path);

    const std::string& path() const { return path_; }
    // True when the file was larger than kMaxFileBytes and therefore not read.
    bool tooLarge() const { return tooLarge_; }

    // The value of the key; the default only when the file, section or key is missing.
    std::string readText(const std::string& section, const std::string& key, const std::string& fallback) const;
    // "0x"/"0X" and at least one more character: hexadecimal; otherwise decimal with optional sign.
    int readInteger(const std::string& section, const std::string& key, int fallback) const;
    bool readBoolean(const std::string& section, const std::string& key, bool fallback) const;

    // Change the file's text in memory; save writes it.
    void writeText(const std::string& section, const std::string& key, const std::string& value);
    void writeInteger(const std::string& section, const std::string& key, int value);
    void writeBoolean(const std::string& section, const std::string& key, bool value);

    // Writes the whole file beside the old one and renames it into place. Throws
    // std::runtime_error "<path> に書き込めません" when it cannot, leaving the old file as it was.
    // beforeRename runs once the new text is safely on disk, before it replaces the old file.
    void save(const std::function<void()>& beforeRename = {}) const;

private:
    std::string path_;
    std::vector<std::string> lines_;
    bool tooLarge_ = false;
};

}  // namespace vemilo::ui
