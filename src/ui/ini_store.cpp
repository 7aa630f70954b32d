#include "ui/ini_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>

#include "wav/wav_error.h"

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

// The file a save replaces: a settings path that is a symbolic link keeps being one.
std::string fileBehind(const std::string& path) {
    char resolved[PATH_MAX];
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode) && ::realpath(path.c_str(), resolved))
        return resolved;
    return path;
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

}  // namespace

IniStore::IniStore(std::string path) : path_(std::move(path)) {
    std::ifstream in(path_, std::ios::binary | std::ios::ate);
    if (!in) return;
    const std::streamoff size = in.tellg();
    if (size > static_cast<std::streamoff>(kMaxFileBytes)) {
        tooLarge_ = true;
        return;
    }
    in.seekg(0);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines_.push_back(line);
    }
}

std::string IniStore::readText(const std::string& section, const std::string& key, const std::string& fallback) const {
    const Found found = locate(lines_, section, key);
    if (!found.keyLine) return fallback;
    const std::string& line = lines_[*found.keyLine];
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
    const Found found = locate(lines_, section, key);
    if (found.keyLine) {
        lines_[*found.keyLine] = trim(*keyName(lines_[*found.keyLine])) + "=" + value;
    } else if (found.sectionLine) {
        // After the section's last non-blank line, so a blank line before the next section stays.
        size_t at = found.sectionEnd;
        while (at > *found.sectionLine + 1 && trim(lines_[at - 1]).empty()) --at;
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), key + "=" + value);
    } else {
        lines_.push_back("[" + section + "]");
        lines_.push_back(key + "=" + value);
    }
}

void IniStore::writeInteger(const std::string& section, const std::string& key, int value) {
    writeText(section, key, std::to_string(value));
}

void IniStore::writeBoolean(const std::string& section, const std::string& key, bool value) {
    writeText(section, key, value ? "1" : "0");
}

void IniStore::save(const std::function<void()>& beforeRename) const {
    const std::string target = fileBehind(path_);
    // A file made read-only is left as it is, as writing it in place would be refused.
    if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0) {
        throw std::runtime_error(path_ + " に書き込めません: " + japaneseWriteReason(EACCES));
    }
    std::string text;
    for (const std::string& line : lines_) text += line + "\n";

    // A temporary file in the same folder, so that the rename never crosses file systems.
    std::string temporary = target + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) throw std::runtime_error(path_ + " に書き込めません: " + japaneseWriteReason(errno));
    struct stat old {};
    const mode_t mode = ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : [] {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    const bool written = ::fchmod(fd, mode) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 || !written) {
        const std::string reason = japaneseWriteReason(written ? errno : writeError);
        ::unlink(temporary.c_str());
        throw std::runtime_error(path_ + " に書き込めません: " + reason);
    }
    try {
        if (beforeRename) beforeRename();
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const std::string reason = japaneseWriteReason(errno);
        ::unlink(temporary.c_str());
        throw std::runtime_error(path_ + " に書き込めません: " + reason);
    }
}

}  // namespace vemilo::ui
