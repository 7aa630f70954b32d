#pragma once
// One file of a pair read ahead on a thread of its own, so that a pair costs the slower of its two
// reads (or decodes) rather than their sum. The reader fills one half of the comparison's buffer
// while the comparison takes the other: no memory beyond the buffer it already has.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "wav/frame_source.h"

namespace vemilo {

class BlockPipe {
public:
    // Reads the source on from where it stands, half of storage at a time. While the pipe lives,
    // nothing else may touch the source; its end stops the reader and waits for it.
    BlockPipe(FrameSource& source, uint8_t* storage, uint64_t storageFrames, uint16_t frameBytes);
    ~BlockPipe();
    BlockPipe(const BlockPipe&) = delete;
    BlockPipe& operator=(const BlockPipe&) = delete;

    struct Block {
        const uint8_t* data = nullptr;
        uint64_t frames = 0;    // fewer than a half: the source holds no more
        uint64_t position = 0;  // where its first frame lies in the file
    };
    // The next block in order, once read; the one taken before is given back to the reader.
    Block next();

    // True when reading ahead is worth a thread: the file holds several halves more.
    static bool worthIt(uint64_t framesLeft, uint64_t storageFrames) {
        return storageFrames >= 2 && framesLeft > 4 * storageFrames;
    }

private:
    void read();

    FrameSource& source_;
    uint8_t* halves_[2];
    uint64_t halfFrames_;
    std::mutex mutex_;
    std::condition_variable changed_;
    Block filled_[2];
    bool full_[2] = {false, false};  // read and not yet taken back
    int taken_ = -1;                 // the half the comparison holds
    int nextToTake_ = 0;
    bool ended_ = false;  // the reader read its last block
    bool stopping_ = false;
    std::thread reader_;
};

}  // namespace vemilo
