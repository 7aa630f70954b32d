#include "cli/checksum_commands.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>

#include "cli/exit_status.h"
#include "wav/audio_checksum.h"
#include "wav/text_format.h"

namespace vemilo::cli {

std::string md5sumName(const std::string& path, bool& escaped) {
    std::string text;
    escaped = false;
    for (const char c : path) {
        switch (c) {
            case '\\': text += "\\\\"; break;
            case '\n': text += "\\n"; break;
            case '\r': text += "\\r"; break;
            default: text += c; continue;
        }
        escaped = true;
    }
    return text;
}

std::optional<std::string> md5sumUnescape(const std::string& text) {
    std::string path;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            path += text[i];
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        switch (text[i]) {
            case '\\': path += '\\'; break;
            case 'n': path += '\n'; break;
            case 'r': path += '\r'; break;
            default: return std::nullopt;
        }
    }
    return path;
}

namespace {

// A name as md5sum writes it in a line: escaped lines begin with a backslash.
std::string listedName(const std::string& path) {
    bool escaped = false;
    const std::string name = md5sumName(path, escaped);
    return escaped ? "\\" + name : name;
}

}  // namespace

int printChecksums(const std::vector<std::string>& paths, std::FILE* out, std::FILE* err) {
    Verdict worst = Verdict::Identical;
    for (const std::string& path : paths) {
        const std::string shown = escapeControlCharacters(path);
        const AudioChecksum checksum = audioChecksum(path);
        if (!checksum.md5) {
            std::fprintf(err, "vemilo-cli: %s: %s\n", shown.c_str(), checksum.problem.c_str());
            worst = Verdict::Trouble;
            continue;
        }
        bool escaped = false;
        const std::string name = md5sumName(path, escaped);
        std::fprintf(out, "%s%s  %s\n", escaped ? "\\" : "", hexDigest(*checksum.md5).c_str(), name.c_str());
        if (!checksum.remark.empty()) std::fprintf(err, "vemilo-cli: %s: %s\n", shown.c_str(), checksum.remark.c_str());
        if (checksum.hasEmbeddedMd5) {
            std::fprintf(err, "vemilo-cli: %s: the embedded MD5 chunk %s\n", shown.c_str(),
                         checksum.embeddedMatches ? "matches" : "does NOT match the audio data");
            if (!checksum.embeddedMatches) worst = std::max(worst, Verdict::Different);
        }
    }
    return exitStatus(worst);
}

int checkChecksums(const std::string& listPath, std::FILE* out, std::FILE* err) {
    // "-" is standard input, as for md5sum.
    std::ifstream file;
    if (listPath != "-") file.open(listPath, std::ios::binary);
    std::istream& list = listPath == "-" ? std::cin : file;
    if (!list) {
        std::fprintf(err, "vemilo-cli: %s: %s\n", escapeControlCharacters(listPath).c_str(),
                     std::strerror(errno ? errno : ENOENT));
        return kExitTrouble;
    }
    Verdict worst = Verdict::Identical;
    int checked = 0;
    unsigned lineNumber = 0;
    for (std::string line; std::getline(list, line);) {
        ++lineNumber;
        // A list written on another system may end its lines with CR LF; a name's own CR is escaped.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        // md5sum's format: a backslash when the name is escaped, 32 hexadecimal digits, a space, a
        // space or '*', the name.
        const bool escaped = line[0] == '\\';
        if (escaped) line.erase(0, 1);
        const bool wellFormed = line.size() > 34 && line[32] == ' ' && (line[33] == ' ' || line[33] == '*') &&
                                line.find_first_not_of("0123456789abcdefABCDEF") >= 32;
        const std::optional<std::string> name =
            wellFormed ? (escaped ? md5sumUnescape(line.substr(34)) : std::optional(line.substr(34))) : std::nullopt;
        if (!name) {
            std::fprintf(err, "vemilo-cli: %s: line %u is not an MD5 line\n", escapeControlCharacters(listPath).c_str(),
                         lineNumber);
            worst = Verdict::Trouble;
            continue;
        }
        std::string expected = line.substr(0, 32);
        for (char& c : expected) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string& path = *name;
        const std::string shown = listedName(path);
        const AudioChecksum checksum = audioChecksum(path);
        ++checked;
        if (!checksum.md5) {
            std::fprintf(out, "%s: FAILED open or read\n", shown.c_str());
            std::fprintf(err, "vemilo-cli: %s: %s\n", escapeControlCharacters(path).c_str(), checksum.problem.c_str());
            worst = Verdict::Trouble;
        } else if (hexDigest(*checksum.md5) == expected) {
            std::fprintf(out, "%s: OK\n", shown.c_str());
        } else {
            std::fprintf(out, "%s: FAILED\n", shown.c_str());
            worst = std::max(worst, Verdict::Different);
        }
    }
    if (checked == 0 && worst == Verdict::Identical) {
        std::fprintf(err, "vemilo-cli: %s: no MD5 lines found\n", escapeControlCharacters(listPath).c_str());
        worst = Verdict::Trouble;
    }
    return exitStatus(worst);
}

}  // namespace vemilo::cli
