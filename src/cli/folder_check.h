#pragma once
// vemilo-cli --folders: every audio file of two folder trees, paired by relative path, compared
// with the chosen options, on as many workers as asked, reported in path order.

#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/json_report.h"
#include "compare/options.h"

namespace vemilo::cli {

struct PairedPath {
    // relative to both folders, as walked; a folder's ends in "/", the top is "./". Paired by stem,
    // the relative path without its extension.
    std::string path;
    std::array<std::string, 2> names;  // each side's file, relative to its folder
    bool inFolder1 = false;
    bool inFolder2 = false;
    std::string trouble;  // why this path cannot be compared, naming the folder; empty when it can
};

// The audio files (letter case ignored in the extension) below both folders, hidden files and
// folders left out, and everything either walk could not look at, sorted by the bytes of their
// relative paths. A file on one side whose place on the other side cannot be read is trouble,
// not missing. By stem, x.wav pairs with x.flac, and two files of one stem on one side are trouble.
std::vector<PairedPath> pairFolders(const std::string& folder1, const std::string& folder2, bool byStem = false);

// The shard a relative path belongs to, from 1 to count: a stable hash of the path's bytes, so
// that any machine puts a path in the same shard and files added elsewhere move no other.
uint32_t shardOf(const std::string& path, uint32_t count);

struct FolderCheckOptions {
    std::string folder1, folder2;
    ComparisonOptions comparison{.zeroSkip = false, .matchPoint = false};
    unsigned jobs = 0;  // 0: one per processor core
    bool verbose = false;
    bool json = false;
    std::optional<Shard> shard;
    bool pairByStem = false;
};

// Compares and reports every pair; returns the exit status (2 trouble, 1 difference or missing, 0).
int checkFolders(const FolderCheckOptions& options, std::FILE* out, std::FILE* err);

}  // namespace vemilo::cli
