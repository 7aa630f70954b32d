#pragma once
// Where a report is written with --output: never over a file that is not a report of vemilo-cli,
// never to a FIFO or a device, never under an audio file's name (so never over a master's audio);
// and never so that an interruption leaves an older verdict in its place.

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace vemilo::archive {

// Why FILE may not receive a report; nothing when it may. It may when it does not exist, is empty,
// or is a regular file that begins as a report does.
std::optional<std::string> outputRefusal(const std::string& path);

// True when both paths name one existing file.
bool sameFile(const std::string& a, const std::string& b);

// While one lives, SIGINT and SIGTERM remove the named file before the process ends as the signal
// asks; the handlers before it are restored at its end.
class RemoveOnSignal {
public:
    explicit RemoveOnSignal(const std::string& path);
    ~RemoveOnSignal();
    RemoveOnSignal(const RemoveOnSignal&) = delete;
    RemoveOnSignal& operator=(const RemoveOnSignal&) = delete;

private:
    struct sigaction previous_[2];
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// A new, empty file at path, opened for writing, whatever stood there removed first; nothing,
// with errno set, when it cannot be made.
FileHandle createAnew(const std::string& path);

// Flushes and checks a report's file: false, with errno set, when anything failed to reach it.
bool finishWriting(std::FILE* file);

}  // namespace vemilo::archive
