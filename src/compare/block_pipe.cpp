#include "compare/block_pipe.h"

namespace vemilo {

BlockPipe::BlockPipe(FrameSource& source, uint8_t* storage, uint64_t storageFrames, uint16_t frameBytes)
    : source_(source), halfFrames_(storageFrames / 2) {
    halves_[0] = storage;
    halves_[1] = storage + halfFrames_ * frameBytes;
    reader_ = std::thread([this] { read(); });
}

BlockPipe::~BlockPipe() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    reader_.join();
}

// Fills the halves in turn, each once the comparison has given it back, until the source ends.
void BlockPipe::read() {
    for (int half = 0;; half = 1 - half) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || (!full_[half] && taken_ != half); });
            if (stopping_) return;
        }
        const uint64_t position = source_.position();
        const uint64_t frames = source_.readFrames(halves_[half], halfFrames_);
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            filled_[half] = {halves_[half], frames, position};
            full_[half] = true;
            ended_ = frames < halfFrames_;
        }
        changed_.notify_all();
        if (frames < halfFrames_) return;
    }
}

BlockPipe::Block BlockPipe::next() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (taken_ >= 0) {
        full_[taken_] = false;
        taken_ = -1;
        changed_.notify_all();
    }
    changed_.wait(lock, [&] { return full_[nextToTake_] || (ended_ && !full_[nextToTake_]); });
    if (!full_[nextToTake_]) return {nullptr, 0, 0};  // the last block was taken before
    taken_ = nextToTake_;
    nextToTake_ = 1 - nextToTake_;
    return filled_[taken_];
}

}  // namespace vemilo
