#include "archive/pair_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nettle/sha2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "wav/text_format.h"
#include "wav/wav_file_list.h"

namespace vemilo::archive {
namespace {

std::string cannotRead(int error) { return std::string("cannot be read: ") + std::strerror(error); }

struct FolderId {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FolderId&) const = default;
};

// What one side holds under one name of a folder.
struct SideEntry {
    enum class Kind { None, File, Trouble, Folder };
    Kind kind = Kind::None;
    std::string name;     // in its folder
    std::string problem;  // Trouble: why
    FolderId id;          // Folder: which, to notice a loop
};

// One key of a folder with what each side holds there. A folder's key ends in "/", so that its
// contents sort where their full paths do.
struct Item {
    std::string key;
    std::array<SideEntry, 2> sides;
    std::string duplicate[2];  // by stem: the second file found for the key on that side
};

struct DirCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

std::string stemOf(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

struct PairWalk::Level {
    std::string prefix;  // relative path of the folder: "" at the top, else ending in "/"
    std::array<std::unique_ptr<DIR, DirCloser>, 2> folders;
    std::array<FolderId, 2> ids;
    // Non-empty where a side could not look at this folder: the trouble of each file found below
    // it on the other side, whose partner may well be there.
    std::array<std::string, 2> blind;
    std::vector<Item> items;
    size_t next = 0;
    std::optional<PairedPath> ownTrouble;  // the folder could not be listed whole on a side
};

namespace {

// Lists one side's folder, each entry under its key; the problem when it cannot be listed whole.
// What the listing says an entry is, when it says, spares a look at each file.
std::optional<std::string> listSide(DIR* directory, bool byStem, std::vector<std::pair<std::string, SideEntry>>& out) {
    std::vector<std::pair<std::string, unsigned char>> names;
    errno = 0;
    while (const dirent* entry = ::readdir(directory)) {
        if (entry->d_name[0] == '.') continue;  // ".", ".." and hidden names
        names.emplace_back(entry->d_name, entry->d_type);
        errno = 0;
    }
    // A folder listed only in part hides what was not listed.
    if (errno != 0) return cannotRead(errno);
    const int at = ::dirfd(directory);
    for (const auto& [name, type] : names) {
        SideEntry found;
        found.name = name;
        const std::string key = byStem ? stemOf(name) : name;
        const bool audioName = matchesAudioMask(name);
        if (type == DT_REG || (type != DT_DIR && type != DT_LNK && type != DT_UNKNOWN)) {
            if (!audioName) continue;
            found.kind = type == DT_REG ? SideEntry::Kind::File : SideEntry::Kind::Trouble;
            // A FIFO would block a reader and a device would never end: never opened.
            if (type != DT_REG) found.problem = "not a regular file";
            out.emplace_back(key, found);
            continue;
        }
        struct stat entry {};
        if (::fstatat(at, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) continue;  // gone since it was listed
            // Names listed but not looked at: the whole folder is as good as unreadable.
            return cannotRead(errno);
        }
        struct stat target = entry;
        if (S_ISLNK(entry.st_mode) && ::fstatat(at, name.c_str(), &target, 0) != 0) {
            // Whether it was meant as a folder cannot be told; named as audio, it was meant as audio.
            if (!audioName) continue;
            found.kind = SideEntry::Kind::Trouble;
            found.problem = std::string("a link to nothing: ") + std::strerror(errno);
            out.emplace_back(key, found);
        } else if (S_ISDIR(target.st_mode)) {
            found.kind = SideEntry::Kind::Folder;
            found.id = {target.st_dev, target.st_ino};
            out.emplace_back(name + "/", found);
        } else if (!audioName) {
            continue;
        } else {
            found.kind = S_ISREG(target.st_mode) ? SideEntry::Kind::File : SideEntry::Kind::Trouble;
            if (!S_ISREG(target.st_mode)) found.problem = "not a regular file";
            out.emplace_back(key, found);
        }
    }
    return std::nullopt;
}

// "folder N: problem", joined with "; " to what is already there.
void addTrouble(PairedPath& pair, int side, const std::string& problem) {
    if (!pair.trouble.empty()) pair.trouble += "; ";
    pair.trouble += formatText("folder %d: ", side + 1) + problem;
}

std::string shownPath(const std::string& prefix) { return prefix.empty() ? "./" : prefix; }

}  // namespace

PairWalk::PairWalk(const std::string& folder1, const std::string& folder2, bool byStem)
    : byStem_(byStem), digest_(std::make_unique<sha256_ctx>()) {
    sha256_init(digest_.get());
    auto top = std::make_unique<Level>();
    const std::string folders[2] = {folder1, folder2};
    for (int side = 0; side < 2; ++side) {
        const int fd = ::open(folders[side].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat status {};
        if (fd < 0 || ::fstat(fd, &status) != 0) {
            const std::string problem = cannotRead(errno);
            if (fd >= 0) ::close(fd);
            if (!pendingTop_) pendingTop_ = PairedPath{"", {"", ""}, false, false, "", {}};
            addTrouble(*pendingTop_, side, problem);
            top->blind[side] = formatText("folder %d: ./: ", side + 1) + problem;
            continue;
        }
        top->folders[side].reset(::fdopendir(fd));
        if (!top->folders[side]) ::close(fd);
        top->ids[side] = {status.st_dev, status.st_ino};
    }
    list(*top);
    levels_.push_back(std::move(top));
}

PairWalk::~PairWalk() = default;

void PairWalk::list(Level& level) {
    struct Keyed {
        std::string key;
        int side;
        SideEntry entry;
    };
    std::vector<Keyed> keyed;
    for (int side = 0; side < 2; ++side) {
        if (!level.folders[side]) continue;
        std::vector<std::pair<std::string, SideEntry>> found;
        if (const auto problem = listSide(level.folders[side].get(), byStem_, found)) {
            // Said under the folder's own path, before anything in it.
            if (!level.ownTrouble) level.ownTrouble = PairedPath{level.prefix, {}, false, false, "", {}};
            addTrouble(*level.ownTrouble, side, *problem);
            if (level.blind[side].empty())
                level.blind[side] = formatText("folder %d: ", side + 1) + shownPath(level.prefix) + ": " + *problem;
            continue;
        }
        for (auto& [key, entry] : found) keyed.push_back({key, side, std::move(entry)});
    }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.key != b.key) return byteOrderLess(a.key, b.key);
        if (a.side != b.side) return a.side < b.side;
        return byteOrderLess(a.entry.name, b.entry.name);
    });
    for (Keyed& found : keyed) {
        if (level.items.empty() || level.items.back().key != found.key) level.items.push_back({found.key, {}, {}});
        Item& item = level.items.back();
        // By stem one key may name two files of a side: which is the copy is not for the tool to guess.
        if (item.sides[found.side].kind != SideEntry::Kind::None) {
            item.duplicate[found.side] = found.entry.name;
        } else {
            item.sides[found.side] = std::move(found.entry);
        }
    }
}

std::optional<PairedPath> PairWalk::next() {
    std::optional<PairedPath> pair = step();
    if (pair) count(*pair);
    return pair;
}

// Every entry met, on each side, goes into the digest: its path and what it is. Not its size: that
// would cost a look at every file of both trees in every shard.
void PairWalk::count(const PairedPath& pair) {
    const auto add = [&](const void* bytes, size_t size) {
        sha256_update(digest_.get(), size, static_cast<const uint8_t*>(bytes));
    };
    add(pair.path.data(), pair.path.size() + 1);  // with its terminating zero
    for (int side = 0; side < 2; ++side) {
        const bool file = side == 0 ? pair.inFolder1 : pair.inFolder2;
        if (file || pair.oddEntry[side]) ++entries_[side];
        const uint8_t kind = file ? 'f' : pair.oddEntry[side] ? 't' : '-';
        add(&kind, 1);
        if (kind != '-') add(pair.names[side].data(), pair.names[side].size() + 1);
    }
    add(pair.trouble.data(), pair.trouble.size() + 1);
}

TreeRecord PairWalk::trees() const {
    sha256_ctx copy = *digest_;
    uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&copy, sizeof digest, digest);
    std::string hex;
    for (const uint8_t byte : digest) hex += formatText("%02x", byte);
    return {entries_, hex};
}

std::optional<PairedPath> PairWalk::step() {
    if (pendingTop_) {
        PairedPath top = std::move(*pendingTop_);
        pendingTop_.reset();
        return top;
    }
    while (!levels_.empty()) {
        Level& level = *levels_.back();
        if (level.ownTrouble) {
            PairedPath trouble = std::move(*level.ownTrouble);
            level.ownTrouble.reset();
            return trouble;
        }
        if (level.next == level.items.size()) {
            levels_.pop_back();
            continue;
        }
        const Item& item = level.items[level.next++];
        const std::string path = level.prefix + item.key;
        if (item.key.back() == '/') {
            // A folder on one side or both: walk into it where it can be read.
            auto child = std::make_unique<Level>();
            child->prefix = path;
            PairedPath trouble{path, {path, path}, false, false, "", {}};
            bool readable = false;
            for (int side = 0; side < 2; ++side) {
                child->blind[side] = level.blind[side];
                const SideEntry& entry = item.sides[side];
                if (entry.kind != SideEntry::Kind::Folder) continue;
                std::optional<std::string> problem;
                const bool loop = std::any_of(levels_.begin(), levels_.end(), [&](const auto& above) {
                    return above->folders[side] && above->ids[side] == entry.id;
                });
                int fd = -1;
                if (loop) {
                    problem = "a link back into its own path (a loop)";
                } else if ((fd = ::openat(::dirfd(level.folders[side].get()), entry.name.c_str(),
                                          O_RDONLY | O_DIRECTORY | O_CLOEXEC)) < 0) {
                    problem = cannotRead(errno);
                }
                if (problem) {
                    addTrouble(trouble, side, *problem);
                    if (child->blind[side].empty())
                        child->blind[side] = formatText("folder %d: ", side + 1) + path + ": " + *problem;
                    continue;
                }
                child->folders[side].reset(::fdopendir(fd));
                if (!child->folders[side]) {
                    ::close(fd);
                    continue;
                }
                child->ids[side] = entry.id;
                readable = true;
            }
            if (readable) {
                list(*child);
                levels_.push_back(std::move(child));
            }
            if (!trouble.trouble.empty()) return trouble;
            continue;
        }
        PairedPath pair{path, {path, path}, false, false, "", {}};
        for (int side = 0; side < 2; ++side) {
            const SideEntry& entry = item.sides[side];
            if (entry.kind == SideEntry::Kind::None) continue;
            pair.names[side] = level.prefix + entry.name;
            if (entry.kind == SideEntry::Kind::File) (side == 0 ? pair.inFolder1 : pair.inFolder2) = true;
            if (entry.kind == SideEntry::Kind::Trouble) {
                addTrouble(pair, side, entry.problem);
                pair.oddEntry[side] = true;
            }
            if (!item.duplicate[side].empty()) {
                addTrouble(pair, side,
                           "more than one file for " + path + ": " + pair.names[side] + ", " + level.prefix +
                               item.duplicate[side]);
            }
        }
        // On one side only, below a folder the other side could not read: its partner may be there.
        if (pair.trouble.empty() && pair.inFolder1 != pair.inFolder2) {
            const int other = pair.inFolder1 ? 1 : 0;
            if (!level.blind[other].empty()) pair.trouble = level.blind[other];
        }
        return pair;
    }
    return std::nullopt;
}

std::vector<PairedPath> pairFolders(const std::string& folder1, const std::string& folder2, bool byStem) {
    std::vector<PairedPath> pairs;
    PairWalk walk(folder1, folder2, byStem);
    while (auto pair = walk.next()) pairs.push_back(std::move(*pair));
    return pairs;
}

}  // namespace vemilo::archive
