#pragma once
// A FLAC stream decoded by libFLAC, the reference decoder, through the system's one reader: every
// sample depth from 4 to 32 bits, a STREAMINFO whose total is 0 ("unknown", as a stream written
// to a pipe has it), lost sync and damaged frames, and the bytes after the last frame.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wav/wav_reader.h"

namespace vemilo {

struct FlacStreamInfo {
    uint32_t sampleRate = 0;
    uint16_t channels = 0;
    uint16_t bits = 0;                           // the stream's own sample depth, 4 to 32
    uint64_t totalFrames = 0;                    // as STREAMINFO says; 0: unknown
    std::optional<std::array<uint8_t, 16>> md5;  // nothing: the encoder left it unset
};

// What is wrong with a stream, in the log's words and in English.
struct FlacDamage {
    std::string logLine;
    std::string english;
};

class FlacStream {
public:
    FlacStream();
    ~FlacStream();
    FlacStream(const FlacStream&) = delete;
    FlacStream& operator=(const FlacStream&) = delete;

    // Reads the metadata through an open reader, which must outlive the stream; false when it is
    // not a FLAC stream libFLAC can decode.
    bool open(WavReader& reader);
    const FlacStreamInfo& info() const { return info_; }

    // Makes frame the next one read.
    void seek(uint64_t frame);
    // Up to count frames, left-justified in whole bytes as a WAV file lays them out (8-bit
    // unsigned); fewer where the stream ends or cannot be decoded further (damage then says why).
    uint64_t read(uint8_t* out, uint64_t count);
    // Frames decoded until the stream's end, for a stream whose total is unknown.
    uint64_t countFrames();

    // Once the last frame of the total was read: whether anything but a trailing tag follows it.
    // An unknown total ends where the stream does.
    void checkTheEnd(uint64_t totalFrames);

    const std::optional<FlacDamage>& damage() const { return damage_; }

private:
    struct Callbacks;
    bool decodeOne();
    void restartAt(uint64_t frame);
    void noteDamage(const std::string& logLine, const std::string& english);

    struct Decoder;
    std::unique_ptr<Decoder> decoder_;
    WavReader* reader_ = nullptr;
    FlacStreamInfo info_;
    uint16_t containerBytes_ = 0;   // bytes per sample in the WAV layout
    std::vector<uint8_t> pending_;  // decoded frames not yet taken, in the WAV layout
    size_t pendingTaken_ = 0;
    uint64_t nextFrame_ = 0;  // the frame the next read gives
    std::optional<FlacDamage> damage_;
};

}  // namespace vemilo
