#include "fuzz_support.h"

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace vemilo::fuzz {

namespace {
// Each target rewrites the same few files for every input; they go when the fuzzer exits, so that
// runs do not pile files up in the temporary folder.
struct ScratchFiles {
    std::set<std::string> paths;
    ~ScratchFiles() {
        for (const std::string& path : paths) std::remove(path.c_str());
    }
};
ScratchFiles scratchFiles;
}  // namespace

std::string writeScratchFile(const char* name, const uint8_t* data, size_t size) {
    const char* folder = std::getenv("TMPDIR");
    const std::string path =
        std::string(folder ? folder : "/tmp") + "/vemilo-fuzz-" + std::to_string(::getpid()) + "-" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    scratchFiles.paths.insert(path);
    return path;
}

}  // namespace vemilo::fuzz
