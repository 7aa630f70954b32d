#include "wav/flac_md5.h"

#include <algorithm>

namespace vemilo {

void updateFlacConventionMd5(md5_ctx* md5, const uint8_t* frames, uint64_t count, const SampleFormat& format,
                             uint16_t significantBits, std::vector<uint8_t>& scratch) {
    const size_t bytes = static_cast<size_t>(count * format.blockAlign);
    const uint16_t width = format.bitsPerSample;
    if (format.isFloat() || (width != 8 && (significantBits == width || significantBits == 0))) {
        md5_update(md5, bytes, frames);
        return;
    }
    if (width == 8) {
        // Unsigned as WAV stores it, signed as FLAC hashes it.
        scratch.resize(bytes);
        for (size_t i = 0; i < bytes; ++i) scratch[i] = frames[i] ^ 0x80;
        md5_update(md5, bytes, scratch.data());
        return;
    }
    // A stream narrower than its samples (20 bits in 24): FLAC hashes the value itself, not the
    // value as the wider container left-justifies it.
    const uint16_t inBytes = format.bytesPerSample();
    const uint16_t outBytes = static_cast<uint16_t>((significantBits + 7) / 8);
    const size_t samples = static_cast<size_t>(count) * format.channels;
    scratch.resize(samples * outBytes);
    for (size_t i = 0; i < samples; ++i) {
        uint32_t raw = 0;
        for (uint16_t b = 0; b < inBytes; ++b) raw |= uint32_t{frames[i * inBytes + b]} << (8 * b);
        const int32_t value = static_cast<int32_t>(raw << (32 - width)) >> (32 - significantBits);
        for (uint16_t b = 0; b < outBytes; ++b) scratch[i * outBytes + b] = static_cast<uint8_t>(value >> (8 * b));
    }
    md5_update(md5, scratch.size(), scratch.data());
}

namespace {

// Long enough that a thread costs little beside it.
constexpr uint64_t kThreadedBytes = 16u << 20;
// Blocks waiting to be hashed: the decoder runs at most this far ahead.
constexpr size_t kQueuedBlocks = 2;

}  // namespace

FlacConventionHasher::FlacConventionHasher(const SampleFormat& format, uint16_t significantBits, uint64_t expectedBytes)
    : format_(format), significantBits_(significantBits) {
    md5_init(&md5_);
    if (expectedBytes >= kThreadedBytes) thread_ = std::thread([this] { hashInOrder(); });
}

FlacConventionHasher::~FlacConventionHasher() {
    if (!thread_.joinable()) return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void FlacConventionHasher::add(const uint8_t* frames, uint64_t count) {
    if (count == 0) return;
    if (!thread_.joinable()) {
        updateFlacConventionMd5(&md5_, frames, count, format_, significantBits_, scratch_);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return queued_.size() < kQueuedBlocks; });
    std::vector<uint8_t> block;
    if (!spare_.empty()) {
        block = std::move(spare_.back());
        spare_.pop_back();
    }
    lock.unlock();
    block.assign(frames, frames + count * format_.blockAlign);
    lock.lock();
    queued_.push_back(std::move(block));
    changed_.notify_all();
}

void FlacConventionHasher::addSilence(uint64_t count) {
    // FLAC hashes silence as zero samples at its own width, whatever the container.
    const uint64_t frameBytes =
        uint64_t{format_.channels} *
        (significantBits_ != 0 && !format_.isFloat() ? (significantBits_ + 7u) / 8u : format_.bytesPerSample());
    constexpr uint64_t kPiece = 16384;
    silence_.assign(kPiece * frameBytes, 0);
    for (uint64_t done = 0; done < count;) {
        const uint64_t frames = std::min(kPiece, count - done);
        if (thread_.joinable()) {
            // Behind what is queued: the order of the audio is the order of the hash.
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return queued_.empty(); });
        }
        md5_update(&md5_, static_cast<size_t>(frames * frameBytes), silence_.data());
        done += frames;
    }
}

void FlacConventionHasher::hashInOrder() {
    std::vector<uint8_t> scratch;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return closing_ || !queued_.empty(); });
        if (queued_.empty()) return;
        std::vector<uint8_t>& block = queued_.front();
        lock.unlock();
        updateFlacConventionMd5(&md5_, block.data(), block.size() / format_.blockAlign, format_, significantBits_,
                                scratch);
        lock.lock();
        spare_.push_back(std::move(block));
        queued_.pop_front();
        changed_.notify_all();
    }
}

std::array<uint8_t, 16> FlacConventionHasher::finish() {
    if (thread_.joinable()) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return queued_.empty(); });
    }
    std::array<uint8_t, 16> digest{};
    md5_digest(&md5_, digest.size(), digest.data());
    return digest;
}

}  // namespace vemilo
