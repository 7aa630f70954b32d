#pragma once
// The one way the system reads a file: an open descriptor with its 64-bit position and size.
// The system calls live only in wav_reader.cpp so that another platform can be added there.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wav/wav_error.h"

namespace vemilo {

enum class SeekOrigin { Begin, Current };

// Which file an open descriptor holds, and in what state: a file replaced or rewritten between
// two opens differs in one of these.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    int64_t modifiedNanoseconds = 0;
    // Changed by every write, whatever the modification time was set back to.
    int64_t statusChangedNanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
};

class WavReader {
public:
    WavReader() = default;
    ~WavReader();
    WavReader(const WavReader&) = delete;
    WavReader& operator=(const WavReader&) = delete;

    // Opens the file with its size set; an error (CannotOpen, with the system's reason) when it
    // cannot be opened for reading or is not a regular file (a FIFO or a device would block or never end).
    [[nodiscard]] WavError open(const std::string& path);

    // Moves to an absolute offset or by a signed distance; stores and returns the new position.
    // A position before the start of the file is clamped to 0.
    uint64_t seek(int64_t distance, SeekOrigin origin);

    // Reads up to count bytes; returns the bytes read (0 at end of file or on failure, and then
    // the position is unchanged). Keeps reading after a short read until count or end of file.
    [[nodiscard]] uint32_t read(void* buffer, uint32_t count);

    // Closes the file if open; returns 0 on success. Safe to call more than once.
    int close();

    // Steps over a run of zero bytes; returns their count, or nothing when the file ends inside it.
    std::optional<uint64_t> skipZeroBytes();

    bool isOpen() const { return fileHandle_ >= 0; }
    // The offset at which the next read starts, and the file's size as taken by open.
    uint64_t position() const { return filePosition_; }
    uint64_t size() const { return fileSize_; }
    // The open file's identity as it is now (taken afresh, so a file rewritten since shows it).
    FileIdentity identity() const;
    // Its identity as open found it: what was opened, at no further cost.
    const FileIdentity& openedIdentity() const { return openedIdentity_; }

    // Reads and seeks made through any reader so far, so that tests can bound the cost of a walk.
    static uint64_t systemCallsMade();

private:
    std::string path_;  // kept only while descriptors are reused
    // A small file once read whole while descriptors are reused: later reads take it from here.
    std::shared_ptr<const std::vector<uint8_t>> bytes_;
    int fileHandle_ = -1;
    uint64_t filePosition_ = 0;
    uint64_t fileSize_ = 0;
    FileIdentity openedIdentity_;
};

// While one lives, a file a reader of this thread closes stays open for the next reader of the same
// path: loading, scanning and comparing a pair then open each file once, not three times. Its end
// closes what is left. A file replaced under its name meanwhile is read as the one first opened,
// whose header the later steps go by; a file rewritten in place still shows in its identity.
class ReusedDescriptors {
public:
    ReusedDescriptors();
    ~ReusedDescriptors();
    ReusedDescriptors(const ReusedDescriptors&) = delete;
    ReusedDescriptors& operator=(const ReusedDescriptors&) = delete;

    struct Parked {
        std::string path;
        int fd;
        uint64_t size;
        FileIdentity identity;
        std::shared_ptr<const std::vector<uint8_t>> bytes;  // a small file read whole, or nothing
    };
    std::vector<Parked> parked;

private:
    ReusedDescriptors* previous_;
};

uint16_t readU16LE(const uint8_t* bytes);
uint32_t readU32LE(const uint8_t* bytes);

}  // namespace vemilo
