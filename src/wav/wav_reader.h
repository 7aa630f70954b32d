#pragma once
// The one way the system reads a file: an open descriptor with its 64-bit position and size.
// The system calls live only in wav_reader.cpp so that another platform can be added there.

#include <cstdint>
#include <string>

namespace vemilo {

enum class SeekOrigin { Begin, Current };

class WavReader {
public:
    WavReader() = default;
    ~WavReader();
    WavReader(const WavReader&) = delete;
    WavReader& operator=(const WavReader&) = delete;

    // 0 on success with the size set; 1 when the file cannot be opened for reading or is not a
    // regular file (a FIFO or a device would block or never end).
    [[nodiscard]] int open(const std::string& path);

    // Moves to an absolute offset or by a signed distance; stores and returns the new position.
    // A position before the start of the file is clamped to 0.
    uint64_t seek(int64_t distance, SeekOrigin origin);

    // Reads up to count bytes; returns the bytes read (0 at end of file or on failure, and then
    // the position is unchanged). Keeps reading after a short read until count or end of file.
    [[nodiscard]] uint32_t read(void* buffer, uint32_t count);

    // Closes the file if open; returns 0 on success. Safe to call more than once.
    int close();

    // Steps over a run of zero bytes; returns their count, or -1 when the file ends inside it.
    int32_t skipZeroBytes();

    bool isOpen() const { return fileHandle_ >= 0; }
    // Why the last open failed: the system's error number, or 0 for a file that is not regular.
    int openError() const { return openError_; }
    // The offset at which the next read starts, and the file's size as taken by open.
    uint64_t position() const { return filePosition_; }
    uint64_t size() const { return fileSize_; }

    // Reads and seeks made through any reader so far, so that tests can bound the cost of a walk.
    static uint64_t systemCallsMade();

private:
    int fileHandle_ = -1;
    int openError_ = 0;
    uint64_t filePosition_ = 0;
    uint64_t fileSize_ = 0;
};

uint16_t readU16LE(const uint8_t* bytes);
uint32_t readU32LE(const uint8_t* bytes);

}  // namespace vemilo
