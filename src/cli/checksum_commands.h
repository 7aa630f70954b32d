#pragma once
// vemilo-cli --md5 and --check-md5: checksums of the audio data that can be stored and checked
// later, in md5sum's format.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace vemilo::cli {

// A name as md5sum writes it: backslash, newline and carriage return escaped; escaped is set when
// any was, and the line then begins with a backslash.
std::string md5sumName(const std::string& path, bool& escaped);
// The name an escaped md5sum line holds; nothing for an escape md5sum never writes.
std::optional<std::string> md5sumUnescape(const std::string& text);

// Prints "HEX  PATH" for each file, escaped as md5sum does; says on standard error whether an embedded "MD5 " chunk
// matches. Exit status: 2 when a file could not be read, else 1 when an embedded MD5 differs, else 0.
int printChecksums(const std::vector<std::string>& paths, std::FILE* out, std::FILE* err);

// Verifies a list of "HEX  PATH" lines (from a file, or standard input for "-") as md5sum -c
// does, escaped lines and CR LF line ends included: "PATH: OK" or "PATH: FAILED". Exit
// status: 2 when a file could not be read or the list is malformed, else 1 when any differs, else 0.
int checkChecksums(const std::string& listPath, std::FILE* out, std::FILE* err);

}  // namespace vemilo::cli
