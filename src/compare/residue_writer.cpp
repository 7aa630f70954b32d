#include "compare/residue_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vemilo {
namespace {

void put16(std::string& out, uint16_t value) {
    for (int i = 0; i < 2; ++i) out += static_cast<char>(value >> (8 * i));
}

void put32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(value >> (8 * i));
}

// Sizes past what 32 bits hold are left at the streaming placeholder, which readers take as "to
// the end of the file".
uint32_t size32(uint64_t bytes) { return bytes > 0xFFFFFFF0u ? 0xFFFFFFFFu : static_cast<uint32_t>(bytes); }

}  // namespace

ResidueWriter::ResidueWriter(std::string path) : path_(std::move(path)), partial_(path_ + ".partial") {}

ResidueWriter::~ResidueWriter() {
    if (!file_) return;
    std::fclose(file_);
    ::unlink(partial_.c_str());
}

std::optional<std::string> ResidueWriter::refusal(const std::string& path, const std::vector<std::string>& inputs) {
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0) return std::nullopt;
    if (!S_ISREG(target.st_mode)) return "is not a regular file";
    for (const std::string& input : inputs) {
        struct stat other {};
        if (::stat(input.c_str(), &other) == 0 && other.st_dev == target.st_dev && other.st_ino == target.st_ino)
            return "is one of the files compared: a residue is never written over one";
    }
    return std::nullopt;
}

void ResidueWriter::begin(uint32_t sampleRate, uint16_t channels) {
    sampleRate_ = sampleRate;
    channels_ = channels;
    ::unlink(partial_.c_str());
    const int fd = ::open(partial_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    file_ = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (fd >= 0 && !file_) ::close(fd);
    failed_ = !file_;
    if (file_) writeHeader();
}

// RIFF/WAVE, "fmt " of IEEE float, "fact" (the frame count float files carry), "data".
void ResidueWriter::writeHeader() {
    const uint16_t frameBytes = static_cast<uint16_t>(channels_ * 4u);
    const uint64_t dataBytes = frames_ * frameBytes;
    std::string header = "RIFF";
    put32(header, size32(dataBytes + 4 + 8 + 16 + 8 + 4 + 8));
    header += "WAVEfmt ";
    put32(header, 16);
    put16(header, 3);
    put16(header, channels_);
    put32(header, sampleRate_);
    put32(header, sampleRate_ * frameBytes);
    put16(header, frameBytes);
    put16(header, 32);
    header += "fact";
    put32(header, 4);
    put32(header, size32(frames_));
    header += "data";
    put32(header, size32(dataBytes));
    std::fseek(file_, 0, SEEK_SET);
    failed_ = failed_ || std::fwrite(header.data(), 1, header.size(), file_) != header.size();
    std::fseek(file_, 0, SEEK_END);
}

void ResidueWriter::add(const float* differences, uint64_t count) {
    if (!file_ || failed_) return;
    // The host is little-endian, as WAV files are.
    const size_t samples = static_cast<size_t>(count) * channels_;
    failed_ = std::fwrite(differences, sizeof(float), samples, file_) != samples;
    frames_ += count;
}

std::optional<std::string> ResidueWriter::finish() {
    if (!file_) return failed_ ? std::optional<std::string>(std::strerror(errno)) : std::nullopt;
    writeHeader();
    const bool written = !failed_ && std::fflush(file_) == 0 && !std::ferror(file_) && ::fsync(::fileno(file_)) == 0;
    const int error = errno;
    std::fclose(file_);
    file_ = nullptr;
    if (!written || std::rename(partial_.c_str(), path_.c_str()) != 0) {
        const int why = written ? errno : error;
        ::unlink(partial_.c_str());
        return std::string("cannot be written: ") + std::strerror(why ? why : EIO);
    }
    return std::nullopt;
}

}  // namespace vemilo
