#pragma once
// The MD5 of audio in FLAC's convention: signed samples, little-endian, in as many bytes as their
// significant bits need; floats as their little-endian bytes. A WAV master and its copies in any
// container then have one checksum, the one FLAC stores.

#include <nettle/md5.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "wav/sample_format.h"

namespace vemilo {

// Adds count frames, laid out as a WAV file of the format holds them (8-bit unsigned), to the MD5.
// significantBits: a FLAC stream's own width where it is narrower than its container's samples.
void updateFlacConventionMd5(md5_ctx* md5, const uint8_t* frames, uint64_t count, const SampleFormat& format,
                             uint16_t significantBits, std::vector<uint8_t>& scratch);

// That MD5 over frames handed over in order. For long audio it runs on a thread of its own, so
// that hashing costs no time beside decoding: the frames are copied into a short queue of blocks.
class FlacConventionHasher {
public:
    // expectedBytes: how much audio is to come; enough of it is worth a thread.
    FlacConventionHasher(const SampleFormat& format, uint16_t significantBits, uint64_t expectedBytes);
    ~FlacConventionHasher();
    FlacConventionHasher(const FlacConventionHasher&) = delete;
    FlacConventionHasher& operator=(const FlacConventionHasher&) = delete;

    void add(const uint8_t* frames, uint64_t count);
    // Silent frames, hashed as silence is ("zero skip passed over them").
    void addSilence(uint64_t count);
    // The digest of everything added; nothing may be added after.
    std::array<uint8_t, 16> finish();

private:
    void hashInOrder();

    SampleFormat format_;
    uint16_t significantBits_;
    md5_ctx md5_{};
    std::vector<uint8_t> scratch_;
    std::vector<uint8_t> silence_;
    // The queue of the hashing thread, when there is one.
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<uint8_t>> queued_;  // frames not yet hashed
    std::vector<std::vector<uint8_t>> spare_;  // emptied blocks, to be filled again
    bool closing_ = false;
};

}  // namespace vemilo
