#pragma once
// Permissions mean nothing to root, who may read and write anything, and CI runs as root. A test
// of what a user may not do therefore runs itself again as the user nobody (through runuser) when
// it finds itself root, and checks that run's exit status instead.

#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

namespace vemilo::testing {

inline bool runningAsRoot() { return ::geteuid() == 0; }

// Runs this test program again as nobody with the given arguments (the test's own filter) and
// returns its exit status; nothing when it could not be started that way.
inline std::optional<int> rerunAsNobody(const std::vector<std::string>& arguments) {
    char self[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return std::nullopt;
    std::vector<std::string> words = {"runuser", "-u", "nobody", "--", std::string(self, static_cast<size_t>(length))};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child < 0) return std::nullopt;
    if (child == 0) {
        ::execvp("runuser", argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) == 127) return std::nullopt;
    return WEXITSTATUS(status);
}

}  // namespace vemilo::testing
