#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace vemilo::fuzz {

std::string writeScratchFile(const char* name, const uint8_t* data, size_t size) {
    const char* folder = std::getenv("TMPDIR");
    const std::string path = std::string(folder ? folder : "/tmp") + "/vemilo-fuzz-" + std::to_string(::getpid()) + "-" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    return path;
}

}  // namespace vemilo::fuzz
