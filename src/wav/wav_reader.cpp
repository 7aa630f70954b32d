#include "wav/wav_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>

#include "wav/trace.h"

namespace vemilo {
namespace {

std::atomic<uint64_t> systemCalls{0};

// The reuse in force on this thread, if any.
thread_local ReusedDescriptors* reuse = nullptr;

// A pair's two files stay open between steps; a few more cover a series' next pair.
constexpr size_t kMostParked = 4;
// Files up to this size, read whole once, are read from memory by the steps that follow.
constexpr uint64_t kMostKeptBytes = uint64_t{64} * 1024;

// Opens a path of any length: one the system takes whole is opened at once; a longer one (deep
// archive trees pass PATH_MAX) folder by folder, each relative to the one before.
int openFollowingLongPath(const std::string& path, int flags) {
    const int fd = ::open(path.c_str(), flags);
    if (fd >= 0 || errno != ENAMETOOLONG) return fd;
    const bool absolute = path.front() == '/';
    int folder = absolute ? ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : AT_FDCWD;
    if (absolute && folder < 0) return -1;
    const auto release = [&folder] {
        const int saved = errno;
        if (folder != AT_FDCWD) ::close(folder);
        errno = saved;
    };
    for (size_t start = absolute ? 1 : 0;;) {
        const size_t slash = path.find('/', start);
        if (slash == std::string::npos) {
            const int file = ::openat(folder, path.c_str() + start, flags);
            release();
            return file;
        }
        if (slash > start) {
            const int next =
                ::openat(folder, path.substr(start, slash - start).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            release();
            if (next < 0) return -1;
            folder = next;
        }
        start = slash + 1;
    }
}

FileIdentity identityOf(const struct stat& status) {
    return {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino),
            static_cast<uint64_t>(status.st_size),
            static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec,
            static_cast<int64_t>(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec};
}

}  // namespace

uint64_t WavReader::systemCallsMade() { return systemCalls.load(); }

WavReader::~WavReader() { close(); }

ReusedDescriptors::ReusedDescriptors() : previous_(reuse) { reuse = this; }

ReusedDescriptors::~ReusedDescriptors() {
    for (const Parked& file : parked) ::close(file.fd);
    reuse = previous_;
}

WavError WavReader::open(const std::string& path) {
    close();
    if (reuse) {
        auto& parked = reuse->parked;
        const auto found =
            std::find_if(parked.begin(), parked.end(), [&](const auto& file) { return file.path == path; });
        if (found != parked.end()) {
            fileHandle_ = found->fd;
            fileSize_ = found->size;
            openedIdentity_ = found->identity;
            filePosition_ = 0;
            path_ = path;
            bytes_ = std::move(found->bytes);
            parked.erase(found);
            return {};
        }
    }
    // Non-blocking so that a FIFO given as a path cannot hang the open; regular files ignore it.
    const int fd = openFollowingLongPath(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {WavProblem::CannotOpen, errno, 0};
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int reason = S_ISDIR(status.st_mode) ? EISDIR : 0;
        ::close(fd);
        return {WavProblem::CannotOpen, reason, 0};
    }
    // Files are read front to back: a wider read-ahead keeps a cold disk busy while a block is compared.
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    fileHandle_ = fd;
    fileSize_ = static_cast<uint64_t>(status.st_size);
    filePosition_ = 0;
    openedIdentity_ = identityOf(status);
    if (reuse) path_ = path;
    return {};
}

uint64_t WavReader::seek(int64_t distance, SeekOrigin origin) {
    int64_t target = distance;
    if (origin == SeekOrigin::Current) {
        // Saturate rather than wrap: a hostile chunk size must never move the walk backwards.
        const uint64_t maxTarget = static_cast<uint64_t>(INT64_MAX);
        if (distance >= 0) {
            const uint64_t udist = static_cast<uint64_t>(distance);
            target = static_cast<int64_t>(filePosition_ > maxTarget - udist ? maxTarget : filePosition_ + udist);
        } else {
            const uint64_t back = static_cast<uint64_t>(-(distance + 1)) + 1;
            target = static_cast<int64_t>(back >= filePosition_ ? 0 : filePosition_ - back);
        }
    }
    if (target < 0) target = 0;
    // Reads say where they read (pread): moving costs no system call.
    filePosition_ = static_cast<uint64_t>(target);
    return filePosition_;
}

uint32_t WavReader::read(void* buffer, uint32_t count) {
    if (fileHandle_ < 0 || count == 0) return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    if (bytes_) {
        const uint64_t held = bytes_->size();
        const uint32_t got =
            filePosition_ >= held ? 0 : static_cast<uint32_t>(std::min<uint64_t>(count, held - filePosition_));
        std::copy_n(bytes_->data() + filePosition_, got, out);
        filePosition_ += got;
        return got;
    }
    uint32_t total = 0;
    while (total < count) {
        ++systemCalls;
        const ssize_t got = ::pread(fileHandle_, out + total, count - total, static_cast<off_t>(filePosition_ + total));
        if (got < 0) {
            if (errno == EINTR) continue;
            if (total == 0) return 0;  // the position stays, as if nothing had been read
            break;
        }
        if (got == 0) break;
        total += static_cast<uint32_t>(got);
        // A short read that reached the size the file had at open is its end: asking again for
        // the empty read that confirms it would cost a system call per read of every small file.
        if (total < count && filePosition_ + total >= fileSize_) break;
    }
    if (!path_.empty() && filePosition_ == 0 && total == fileSize_ && fileSize_ <= kMostKeptBytes)
        bytes_ = std::make_shared<const std::vector<uint8_t>>(out, out + total);
    filePosition_ += total;
    return total;
}

FileIdentity WavReader::identity() const {
    struct stat status {};
    if (fileHandle_ < 0 || ::fstat(fileHandle_, &status) != 0) return {};
    return identityOf(status);
}

int WavReader::close() {
    if (fileHandle_ < 0) return 0;
    if (reuse && !path_.empty()) {
        auto& parked = reuse->parked;
        parked.push_back({std::move(path_), fileHandle_, fileSize_, openedIdentity_, std::move(bytes_)});
        path_.clear();
        bytes_.reset();
        fileHandle_ = -1;
        if (parked.size() > kMostParked) {
            ::close(parked.front().fd);
            parked.erase(parked.begin());
        }
        return 0;
    }
    path_.clear();
    bytes_.reset();
    const int result = ::close(fileHandle_);
    fileHandle_ = -1;
    return result;
}

std::optional<uint64_t> WavReader::skipZeroBytes() {
    // Reads in small blocks rather than a byte per call, so a long run of zeros at the end of a
    // file costs little; the result and the position are as if read one byte at a time.
    uint64_t count = 0;
    uint8_t block[4096];
    for (;;) {
        const uint32_t got = read(block, sizeof block);
        if (got == 0) {
            trace("zeroskip err(readsize=0) %x\n", static_cast<unsigned>(filePosition_ & 0xFFFFFFFFu));
            return std::nullopt;
        }
        uint32_t index = 0;
        while (index < got && block[index] == 0) ++index;
        count += index;
        if (index < got) {
            seek(static_cast<int64_t>(filePosition_ - got + index), SeekOrigin::Begin);
            trace("skip num=%lld pos:%x\n", static_cast<long long>(std::min<uint64_t>(count, INT32_MAX)),
                  static_cast<unsigned>(filePosition_ & 0xFFFFFFFFu));
            return count;
        }
    }
}

uint16_t readU16LE(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)); }

uint32_t readU32LE(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

}  // namespace vemilo
