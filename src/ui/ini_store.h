#pragma once
// An INI file with the semantics of private-profile files: values replaced where they stand, new
// keys at the end of their section, new sections at the end of the file, names compared without
// regard to letter case, and every write going straight to the file.

#include <string>
#include <vector>

namespace vemilo::ui {

class IniStore {
public:
    explicit IniStore(std::string path);

    // The value of the key; the default only when the file, section or key is missing.
    std::string readText(const std::string& section, const std::string& key, const std::string& fallback) const;
    // "0x"/"0X" and at least one more character: hexadecimal; otherwise decimal with optional sign.
    int readInteger(const std::string& section, const std::string& key, int fallback) const;
    bool readBoolean(const std::string& section, const std::string& key, bool fallback) const;

    // Throws std::runtime_error "<path> に書き込めません" when the file cannot be written.
    void writeText(const std::string& section, const std::string& key, const std::string& value);
    void writeInteger(const std::string& section, const std::string& key, int value);
    void writeBoolean(const std::string& section, const std::string& key, bool value);

private:
    std::vector<std::string> readLines() const;

    std::string path_;
};

}  // namespace vemilo::ui
