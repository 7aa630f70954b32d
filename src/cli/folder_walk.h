#pragma once
// The walk of one folder tree for --folders: every *.wav file below it by its relative path as
// walked, and everything the walk could not look at, so that nothing is left out in silence.

#include <optional>
#include <string>
#include <vector>

namespace vemilo::cli {

struct WalkEntry {
    enum class Kind {
        File,           // a regular file (or a link to one) named like a WAV file
        Trouble,        // named like a WAV file but not comparable: a FIFO, a device, a dangling link
        FolderTrouble,  // a folder that cannot be read, or a link that leads back into its own path
    };
    // Relative to the top folder, from the names as walked (links are never resolved into it);
    // a folder's path ends in "/".
    std::string path;
    Kind kind = Kind::File;
    std::string problem;  // for the trouble kinds: why, in the system's words
};

struct TreeWalk {
    std::optional<std::string> topProblem;  // the top folder itself cannot be read: why, in a phrase
    std::vector<WalkEntry> entries;         // in the order found
};

// Walks the tree below top. Hidden names (a leading ".") are left out, as the window's lists do.
// Links to files are taken by their own name and read through; links to folders are followed,
// unless the folder is already on the path that leads to it (a loop).
TreeWalk walkWavTree(const std::string& top);

}  // namespace vemilo::cli
