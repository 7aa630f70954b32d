#include "ui/ini_store.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>

namespace vemilo::ui {
namespace {

constexpr size_t kMaxValueLength = 2047;

std::string trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The section name of a "[name]" line.
std::optional<std::string> sectionName(const std::string& line) {
    const std::string text = trim(line);
    if (text.size() < 2 || text.front() != '[') return std::nullopt;
    const size_t close = text.find(']');
    if (close == std::string::npos) return std::nullopt;
    return trim(text.substr(1, close - 1));
}

// The key of a "key=value" line.
std::optional<std::string> keyName(const std::string& line) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return std::nullopt;
    return trim(line.substr(0, equals));
}

struct Found {
    std::optional<size_t> sectionLine;  // the "[section]" line
    size_t sectionEnd = 0;              // one past the last line of the section
    std::optional<size_t> keyLine;
};

Found locate(const std::vector<std::string>& lines, const std::string& section, const std::string& key) {
    Found found;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (const auto name = sectionName(lines[i])) {
            if (found.sectionLine) break;
            if (sameName(*name, section)) found.sectionLine = i;
            continue;
        }
        if (!found.sectionLine) continue;
        found.sectionEnd = i + 1;
        const std::string text = trim(lines[i]);
        if (text.empty() || text[0] == ';') continue;
        if (const auto name = keyName(lines[i]); name && !found.keyLine && sameName(*name, key)) found.keyLine = i;
    }
    if (found.sectionLine && found.sectionEnd == 0) found.sectionEnd = *found.sectionLine + 1;
    return found;
}

}  // namespace

IniStore::IniStore(std::string path) : path_(std::move(path)) {}

std::vector<std::string> IniStore::readLines() const {
    std::vector<std::string> lines;
    std::ifstream in(path_, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string IniStore::readText(const std::string& section, const std::string& key, const std::string& fallback) const {
    const std::vector<std::string> lines = readLines();
    const Found found = locate(lines, section, key);
    if (!found.keyLine) return fallback;
    const std::string& line = lines[*found.keyLine];
    std::string value = trim(line.substr(line.find('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    if (value.size() > kMaxValueLength) value.resize(kMaxValueLength);
    return value;
}

int IniStore::readInteger(const std::string& section, const std::string& key, int fallback) const {
    const std::string text = readText(section, key, "");
    if (text.empty()) return fallback;
    const bool hex = text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = hex ? text.c_str() + 2 : text.c_str();
    if (hex && (*digits == '-' || *digits == '+')) return fallback;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(digits, &end, hex ? 16 : 10);
    if (end == digits || *end != '\0' || errno == ERANGE) return fallback;
    if (hex) return static_cast<int>(static_cast<unsigned>(value));
    if (value < INT_MIN || value > INT_MAX) return fallback;
    return static_cast<int>(value);
}

bool IniStore::readBoolean(const std::string& section, const std::string& key, bool fallback) const {
    return readInteger(section, key, fallback ? 1 : 0) != 0;
}

void IniStore::writeText(const std::string& section, const std::string& key, const std::string& value) {
    std::vector<std::string> lines = readLines();
    const Found found = locate(lines, section, key);
    const std::string entry = key + "=" + value;
    if (found.keyLine) {
        lines[*found.keyLine] = trim(*keyName(lines[*found.keyLine])) + "=" + value;
    } else if (found.sectionLine) {
        // After the section's last non-blank line, so a blank line before the next section stays.
        size_t at = found.sectionEnd;
        while (at > *found.sectionLine + 1 && trim(lines[at - 1]).empty()) --at;
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), entry);
    } else {
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
    }
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) out << line << "\n";
    out.flush();
    if (!out) throw std::runtime_error(path_ + " に書き込めません");
}

void IniStore::writeInteger(const std::string& section, const std::string& key, int value) {
    writeText(section, key, std::to_string(value));
}

void IniStore::writeBoolean(const std::string& section, const std::string& key, bool value) {
    writeText(section, key, value ? "1" : "0");
}

}  // namespace vemilo::ui
