#pragma once
// Audio files in containers whose samples are decoded (FLAC through libFLAC; AIFF, AIFF-C and CAF
// through libsndfile) into the byte layout a WAV file of the same format holds: little-endian
// samples, 8-bit unsigned, frames packed. A copy in one of them then compares with its WAV master
// byte for byte, and every difference line reads as it would for two WAV files.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "wav/frame_source.h"
#include "wav/sample_format.h"
#include "wav/wav_error.h"
#include "wav/wav_reader.h"

namespace vemilo {

enum class Container : uint8_t { Wav, Flac, Aiff, AiffC, W64, Caf };

// "WAV", "FLAC", "AIFF", "AIFF-C", "W64", "CAF".
const char* containerName(Container container);

// True for the containers whose samples are decoded; WAV and Wave64 are read as they lie.
inline bool isDecoded(Container container) { return container != Container::Wav && container != Container::W64; }

// The container the first bytes of a file announce, for the decoded ones; nothing for WAV and
// Wave64 (which the header walk reads itself) and for anything else.
std::optional<Container> decodedContainerOf(const uint8_t* bytes, size_t size);

// What a decoded file holds, as its header says.
struct DecodedInfo {
    Container container = Container::Flac;
    SampleFormat format;
    uint64_t frameCount = 0;         // as the header declares; counted by decoding where it does not say
    bool frameCountDecoded = false;  // FLAC: STREAMINFO's total was 0 ("unknown")
    FileIdentity identity;
    // Audio bytes the header declares beyond the end of the file: a copy cut short.
    uint64_t missingBytes = 0;
    // FLAC only: the depth of its samples and the MD5 its encoder stored (nothing when unset).
    uint16_t flacBits = 0;
    std::optional<std::array<uint8_t, 16>> storedMd5;
    // libsndfile: the frames it found at load time, and for CAF the data size it is shown (the
    // file's own is -1 in a stream, or more than the file holds in a copy cut short).
    uint64_t sndfileFrames = 0;
    uint64_t cafSizeField = 0;
    uint64_t cafShownSize = 0;
};

// Reads the header of a decoded file; Undecodable when its header cannot be read,
// UnsupportedEncoding (naming the encoding) for samples that are not integer PCM of 8 to 32 bits
// or IEEE float. A FLAC stream whose total is unknown is decoded once here to count its frames.
[[nodiscard]] WavError probeDecodedFile(const std::string& path, DecodedInfo& info);

// Frames of a decoded file, read in order. Reads that go on from frame 0 to the end also give the
// MD5 of the audio in FLAC's convention, and for a FLAC file check it against the stored one and
// that nothing but a trailing tag follows the last frame.
class DecodedFrameSource : public FrameSource {
public:
    // silentLeadingFrames: frames known to be silent at the start, which the MD5 takes as read
    // when the first read starts past them (zero skip). The MD5 is computed when asked for, and for
    // a FLAC file with a stored one to check; elsewhere it would only cost time.
    enum class Md5 { IfStored, Always };
    DecodedFrameSource(const DecodedInfo& info, uint64_t silentLeadingFrames, Md5 md5 = Md5::IfStored);
    ~DecodedFrameSource() override;

    [[nodiscard]] WavError open(const std::string& path);

    const SampleFormat& format() const override { return info_.format; }
    uint64_t frameCount() const override { return info_.frameCount; }
    void seekFrame(uint64_t frame) override;
    uint64_t readFrames(uint8_t* buffer, uint64_t maxFrames) override;
    // Offsets count the bytes of the decoded audio, as if it were a WAV file's data chunk alone.
    uint64_t position() const override { return nextFrame_ * info_.format.blockAlign; }
    uint64_t fileBytes() const override { return info_.frameCount * info_.format.blockAlign; }
    FileIdentity identity() const override { return reader_.identity(); }
    const FileIdentity& openedIdentity() const { return reader_.openedIdentity(); }
    std::string damage() const override;
    std::string remark() const override;

    // The MD5 of every frame, once read from the first to the last; nothing before.
    std::optional<std::array<uint8_t, 16>> audioMd5() const;
    // Why the audio could not be read to its end, in English, for the checksum commands; empty if it was.
    const std::string& readProblem() const { return readProblem_; }

private:
    struct Decoder;
    uint64_t decode(uint8_t* out, uint64_t frames);
    void noteEndedEarly();
    void hashFrames(const uint8_t* frames, uint64_t count);
    void finishIfComplete();

    DecodedInfo info_;
    uint64_t silentLeadingFrames_;
    bool hashing_;
    WavReader reader_;
    std::unique_ptr<Decoder> decoder_;
    uint64_t nextFrame_ = 0;
    uint64_t hashedFrames_ = 0;  // frames from the first that the MD5 holds
    bool endChecked_ = false;    // what follows the last frame was looked at
    bool finished_ = false;      // read from the first frame to the last
    std::array<uint8_t, 16> digest_{};
    std::string decodeError_;  // what went wrong decoding (Japanese, for the log)
    std::string readProblem_;  // the same in English
};

}  // namespace vemilo
