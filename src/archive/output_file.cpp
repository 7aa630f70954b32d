#include "archive/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "wav/wav_file_list.h"

namespace vemilo::archive {
namespace {

// What a report's first bytes are, in every format and version the tool has written: the JSON
// Lines header, or a --json document opening with its header (or, before it had one, its run,
// shard or pairs).
bool beginsAsAReport(const std::string& start) {
    const std::string header = "{\"vemilo_report\":";
    // A header cut off while it was written is still the tool's own.
    if (start.rfind(header, 0) == 0 || header.rfind(start, 0) == 0) return true;
    if (start.empty() || start[0] != '{') return false;
    const size_t key = start.find_first_not_of(" \t\r\n", 1);
    if (key == std::string::npos) return false;
    for (const char* first : {"\"header\":", "\"pairs\":", "\"run_id\":", "\"shard\":"}) {
        if (start.compare(key, std::strlen(first), first) == 0) return true;
    }
    return false;
}

std::string firstBytes(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return "";
    char bytes[64];
    const ssize_t got = ::read(fd, bytes, sizeof bytes);
    ::close(fd);
    return got > 0 ? std::string(bytes, static_cast<size_t>(got)) : "";
}

char* signalRemovesPath = nullptr;

void removeAndEnd(int signal) {
    if (signalRemovesPath) ::unlink(signalRemovesPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

std::optional<std::string> outputRefusal(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (matchesAudioMask(path.substr(slash == std::string::npos ? 0 : slash + 1)))
        return "is named as an audio file: a report is never written under such a name";
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT) return std::nullopt;
        return std::string("cannot be looked at: ") + std::strerror(errno);
    }
    if (!S_ISREG(status.st_mode))
        return "is not a regular file: a report is never written to a FIFO, a device or a folder";
    if (status.st_size != 0 && !beginsAsAReport(firstBytes(path)))
        return "is not a report of vemilo-cli: it is left as it is";
    return std::nullopt;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {
    }, second{};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

RemoveOnSignal::RemoveOnSignal(const std::string& path) {
    std::free(signalRemovesPath);
    signalRemovesPath = ::strdup(path.c_str());
    struct sigaction action {};
    action.sa_handler = removeAndEnd;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &previous_[0]);
    ::sigaction(SIGTERM, &action, &previous_[1]);
}

RemoveOnSignal::~RemoveOnSignal() {
    ::sigaction(SIGINT, &previous_[0], nullptr);
    ::sigaction(SIGTERM, &previous_[1], nullptr);
    char* path = signalRemovesPath;
    signalRemovesPath = nullptr;
    std::free(path);
}

FileHandle createAnew(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return nullptr;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    FileHandle file(::fdopen(fd, "wb"));
    if (!file) ::close(fd);
    return file;
}

bool finishWriting(std::FILE* file) {
    errno = 0;
    if (std::fflush(file) != 0 || std::ferror(file)) {
        if (errno == 0) errno = EIO;
        return false;
    }
    return true;
}

}  // namespace vemilo::archive
