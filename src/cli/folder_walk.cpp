#include "cli/folder_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "wav/wav_file_list.h"

namespace vemilo::cli {
namespace {

std::string cannotRead(int error) { return std::string("cannot be read: ") + std::strerror(error); }

struct FolderId {
    dev_t device;
    ino_t inode;
    bool operator==(const FolderId&) const = default;
};

class Walker {
public:
    Walker(TreeWalk& walk, FolderId top) : ancestors_{top}, walk_(walk) {}

    // Walks the open folder (which this takes over) whose path is prefix.
    void walkFolder(int folder, const std::string& prefix) {
        const std::unique_ptr<DIR, int (*)(DIR*)> directory(::fdopendir(folder), ::closedir);
        if (!directory) {
            addTrouble(WalkEntry::Kind::FolderTrouble, prefix, cannotRead(errno));
            ::close(folder);
            return;
        }
        std::vector<std::string> names;
        errno = 0;
        while (const dirent* entry = ::readdir(directory.get())) {
            const std::string name = entry->d_name;
            if (name == "." || name == ".." || name[0] == '.') continue;
            names.push_back(name);
        }
        // A folder listed only in part hides what was not listed.
        if (errno != 0) addTrouble(WalkEntry::Kind::FolderTrouble, prefix, cannotRead(errno));
        sortFileNames(names);
        const int at = ::dirfd(directory.get());
        for (const std::string& name : names) {
            if (!visit(at, prefix, name)) return;
        }
    }

private:
    // Looks at one name of a folder; false when the folder cannot be searched at all.
    bool visit(int at, const std::string& prefix, const std::string& name) {
        struct stat entry {};
        if (::fstatat(at, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) return true;  // gone since it was listed
            // Names listed but not looked at: the whole folder is as good as unreadable.
            addTrouble(WalkEntry::Kind::FolderTrouble, prefix, cannotRead(errno));
            return false;
        }
        struct stat target = entry;
        if (S_ISLNK(entry.st_mode) && ::fstatat(at, name.c_str(), &target, 0) != 0) {
            addTrouble(WalkEntry::Kind::Trouble, prefix + name,
                       std::string("a link to nothing: ") + std::strerror(errno));
            return true;
        }
        if (S_ISDIR(target.st_mode)) {
            const FolderId id{target.st_dev, target.st_ino};
            const std::string path = prefix + name + "/";
            if (std::find(ancestors_.begin(), ancestors_.end(), id) != ancestors_.end()) {
                addTrouble(WalkEntry::Kind::FolderTrouble, path, "a link back into its own path (a loop)");
                return true;
            }
            const int folder = ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (folder < 0) {
                addTrouble(WalkEntry::Kind::FolderTrouble, path, cannotRead(errno));
                return true;
            }
            ancestors_.push_back(id);
            walkFolder(folder, path);
            ancestors_.pop_back();
            return true;
        }
        if (!matchesAudioMask(name)) return true;
        if (S_ISREG(target.st_mode)) {
            walk_.entries.push_back({prefix + name, WalkEntry::Kind::File, ""});
        } else {
            // A FIFO would block a reader and a device would never end: never opened.
            addTrouble(WalkEntry::Kind::Trouble, prefix + name, "not a regular file");
        }
        return true;
    }

    void addTrouble(WalkEntry::Kind kind, const std::string& path, const std::string& problem) {
        walk_.entries.push_back({path, kind, problem});
    }

    std::vector<FolderId> ancestors_;  // the folders on the path to the one being walked
    TreeWalk& walk_;
};

}  // namespace

TreeWalk walkWavTree(const std::string& top) {
    TreeWalk walk;
    const int folder = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat status {};
    if (folder < 0 || ::fstat(folder, &status) != 0) {
        walk.topProblem = cannotRead(errno);
        if (folder >= 0) ::close(folder);
        return walk;
    }
    Walker(walk, {status.st_dev, status.st_ino}).walkFolder(folder, "");
    return walk;
}

}  // namespace vemilo::cli
