#pragma once
// vemilo-cli --md5 and --check-md5: checksums of the audio data that can be stored and checked
// later, in md5sum's format.

#include <cstdio>
#include <string>
#include <vector>

namespace vemilo::cli {

// Prints "HEX  PATH" for each file; says on standard error whether an embedded "MD5 " chunk
// matches. Exit status: 2 when a file could not be read, else 1 when an embedded MD5 differs, else 0.
int printChecksums(const std::vector<std::string>& paths, std::FILE* out, std::FILE* err);

// Verifies a list of "HEX  PATH" lines as md5sum -c does: "PATH: OK" or "PATH: FAILED". Exit
// status: 2 when a file could not be read or the list is malformed, else 1 when any differs, else 0.
int checkChecksums(const std::string& listPath, std::FILE* out, std::FILE* err);

}  // namespace vemilo::cli
