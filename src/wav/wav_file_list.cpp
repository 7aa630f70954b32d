#include "wav/wav_file_list.h"

#include <dirent.h>
#include <sys/stat.h>
#include <algorithm>
#include <cstring>
#include <memory>

namespace vemilo {
namespace {

bool isFolder(const std::string& folder, const dirent& entry) {
    if (entry.d_type == DT_DIR) return true;
    if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK) return false;
    struct stat status {};
    return ::stat(joinPath(folder, entry.d_name).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

template <typename Visit>
bool forEachMatchingEntry(const std::string& folder, Visit visit) {
    const std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(folder.c_str()), ::closedir);
    if (!directory) return false;
    while (const dirent* entry = ::readdir(directory.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || !matchesAudioMask(name) || isFolder(folder, *entry)) continue;
        visit(name);
    }
    return true;
}

}  // namespace

bool matchesAudioMask(const std::string& name) {
    static const char* const kExtensions[] = {".wav", ".flac", ".aif", ".aiff", ".aifc", ".w64", ".caf"};
    for (const char* extension : kExtensions) {
        const size_t length = std::strlen(extension);
        if (name.size() >= length &&
            std::equal(extension, extension + length, name.end() - static_cast<std::ptrdiff_t>(length),
                       [](char a, char b) { return a == (b >= 'A' && b <= 'Z' ? b + ('a' - 'A') : b); })) {
            return true;
        }
    }
    return false;
}

void sortFileNames(std::vector<std::string>& names) { std::sort(names.begin(), names.end(), byteOrderLess); }

bool byteOrderLess(const std::string& a, const std::string& b) {
    // std::string compares as char, which is signed here; compare as unsigned bytes.
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    });
}

std::optional<WavFolderListing> listWavFolder(const std::string& folder) {
    WavFolderListing listing;
    const bool readable = forEachMatchingEntry(folder, [&](const std::string& name) {
        ++listing.matchingEntries;
        if (name[0] != '.') listing.names.push_back(name);
    });
    if (!readable) return std::nullopt;
    sortFileNames(listing.names);
    return listing;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

}  // namespace vemilo
