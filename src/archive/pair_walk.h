#pragma once
// Both folder trees of --folders walked together, one folder at a time in byte order of names, as
// diff -r walks them: pairs come out in byte order of their relative paths while the walk goes on,
// so memory follows the widest folder and the depth of the trees, not the number of files.

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/report_header.h"

struct sha256_ctx;

namespace vemilo::archive {

struct PairedPath {
    // Relative to both folders, as walked; a folder's ends in "/", the top is "" (and sorts first).
    // Paired by stem, the relative path without its extension.
    std::string path;
    std::array<std::string, 2> names;  // each side's file, relative to its folder
    bool inFolder1 = false;
    bool inFolder2 = false;
    std::string trouble;             // why this path cannot be compared, naming the folder; empty when it can
    std::array<bool, 2> oddEntry{};  // the side holds something named as audio that cannot be read
};

// Every audio file below two folders (letter case ignored in the extension), hidden names left
// out, and everything either side could not look at:
// - a folder that cannot be read, a link back into its own path (a loop), a link to nothing, and a
//   FIFO, device or socket named like an audio file are trouble, with the system's reason;
// - a file on one side whose place on the other side cannot be read is trouble, not missing;
// - links to files are taken by their own name; links to folders are followed; a link to nothing
//   is passed over unless it is named like an audio file, as a file of its name would be.
// By stem, x.wav pairs with x.flac, and two files of one stem on one side are trouble; whatever
// cannot be compared is named by its stem too.
class PairWalk {
public:
    PairWalk(const std::string& folder1, const std::string& folder2, bool byStem);
    ~PairWalk();
    PairWalk(const PairWalk&) = delete;
    PairWalk& operator=(const PairWalk&) = delete;

    // The next path in byte order; nothing once both trees are walked.
    std::optional<PairedPath> next();
    // Once the walk is done: what it met, so that runs that saw different trees can be told apart.
    TreeRecord trees() const;

private:
    std::optional<PairedPath> step();
    void count(const PairedPath& pair);
    struct Level;
    // Lists the level's folder on each side that has it, merged by key.
    void list(Level& level);
    std::vector<std::unique_ptr<Level>> levels_;
    std::optional<PairedPath> pendingTop_;  // trouble with a top folder, said first
    bool byStem_;
    std::array<uint64_t, 2> entries_{};
    std::unique_ptr<::sha256_ctx> digest_;
};

// The whole walk at once, for callers that want every path.
std::vector<PairedPath> pairFolders(const std::string& folder1, const std::string& folder2, bool byStem = false);

}  // namespace vemilo::archive
