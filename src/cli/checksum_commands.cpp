#include "cli/checksum_commands.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "cli/exit_status.h"
#include "wav/audio_checksum.h"
#include "wav/text_format.h"

namespace vemilo::cli {

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
        std::fprintf(out, "%s  %s\n", hexDigest(*checksum.md5).c_str(), shown.c_str());
        if (checksum.hasEmbeddedMd5) {
            std::fprintf(err, "vemilo-cli: %s: the embedded MD5 chunk %s\n", shown.c_str(),
                         checksum.embeddedMatches ? "matches" : "does NOT match the audio data");
            if (!checksum.embeddedMatches) worst = std::max(worst, Verdict::Different);
        }
    }
    return exitStatus(worst);
}

int checkChecksums(const std::string& listPath, std::FILE* out, std::FILE* err) {
    std::ifstream list(listPath);
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
        if (line.empty()) continue;
        // md5sum's format: 32 hexadecimal digits, a space, a space or '*', the path.
        const bool wellFormed = line.size() > 34 && line[32] == ' ' && (line[33] == ' ' || line[33] == '*') &&
                                line.find_first_not_of("0123456789abcdefABCDEF") >= 32;
        if (!wellFormed) {
            std::fprintf(err, "vemilo-cli: %s: line %u is not an MD5 line\n", escapeControlCharacters(listPath).c_str(),
                         lineNumber);
            worst = Verdict::Trouble;
            continue;
        }
        std::string expected = line.substr(0, 32);
        for (char& c : expected) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string path = line.substr(34);
        const std::string shown = escapeControlCharacters(path);
        const AudioChecksum checksum = audioChecksum(path);
        ++checked;
        if (!checksum.md5) {
            std::fprintf(out, "%s: FAILED open or read\n", shown.c_str());
            std::fprintf(err, "vemilo-cli: %s: %s\n", shown.c_str(), checksum.problem.c_str());
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
