#include "wav/decoded_file.h"

#include <nettle/md5.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "wav/flac_md5.h"
#include "wav/text_format.h"

namespace vemilo {
namespace {

// Frames decoded per libsndfile call: the scratch buffer stays small whatever the caller asks for.
constexpr uint64_t kDecodeChunkFrames = 16384;

// libsndfile reads through the system's one reader, so that long paths, identity checks and
// descriptor handling are those of every other file.
sf_count_t virtualLength(void* reader) { return static_cast<sf_count_t>(static_cast<WavReader*>(reader)->size()); }

sf_count_t virtualSeek(sf_count_t offset, int whence, void* user) {
    auto* reader = static_cast<WavReader*>(user);
    switch (whence) {
        case SEEK_CUR: return static_cast<sf_count_t>(reader->seek(offset, SeekOrigin::Current));
        case SEEK_END:
            return static_cast<sf_count_t>(
                reader->seek(static_cast<int64_t>(reader->size()) + offset, SeekOrigin::Begin));
        default: return static_cast<sf_count_t>(reader->seek(offset, SeekOrigin::Begin));
    }
}

sf_count_t virtualRead(void* buffer, sf_count_t count, void* user) {
    auto* reader = static_cast<WavReader*>(user);
    sf_count_t done = 0;
    while (done < count) {
        const uint32_t piece = static_cast<uint32_t>(std::min<sf_count_t>(count - done, 1u << 30));
        const uint32_t got = reader->read(static_cast<uint8_t*>(buffer) + done, piece);
        if (got == 0) break;
        done += got;
    }
    return done;
}

sf_count_t virtualWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t virtualTell(void* reader) { return static_cast<sf_count_t>(static_cast<WavReader*>(reader)->position()); }

SF_VIRTUAL_IO virtualIo() { return {virtualLength, virtualSeek, virtualRead, virtualWrite, virtualTell}; }

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

// The sample width libsndfile's subtype gives, and whether it is a float; nothing for encodings
// that are not plain PCM (companded, ADPCM, lossy).
struct Width {
    uint16_t bits;
    bool isFloat;
};
std::optional<Width> widthOf(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8: return Width{8, false};
        case SF_FORMAT_PCM_16: return Width{16, false};
        case SF_FORMAT_PCM_24: return Width{24, false};
        case SF_FORMAT_PCM_32: return Width{32, false};
        case SF_FORMAT_FLOAT: return Width{32, true};
        case SF_FORMAT_DOUBLE: return Width{64, true};
        default: return std::nullopt;
    }
}

// The STREAMINFO block of a FLAC file, past an ID3v2 tag if one leads: its sample width and MD5.
void readFlacStreamInfo(WavReader& reader, DecodedInfo& info) {
    uint8_t head[10] = {};
    uint64_t start = 0;
    if (reader.read(head, sizeof head) == sizeof head && std::memcmp(head, "ID3", 3) == 0) {
        const uint64_t tagBytes = (uint64_t{head[6] & 0x7Fu} << 21) | ((head[7] & 0x7Fu) << 14) |
                                  ((head[8] & 0x7Fu) << 7) | (head[9] & 0x7Fu);
        start = 10 + tagBytes + ((head[5] & 0x10) ? 10 : 0);
    }
    reader.seek(static_cast<int64_t>(start), SeekOrigin::Begin);
    uint8_t block[8 + 34] = {};
    if (reader.read(block, sizeof block) != sizeof block || std::memcmp(block, "fLaC", 4) != 0 ||
        (block[4] & 0x7F) != 0) {
        return;
    }
    const uint8_t* streamInfo = block + 8;
    info.flacBits = static_cast<uint16_t>((((streamInfo[12] & 1) << 4) | (streamInfo[13] >> 4)) + 1);
    std::array<uint8_t, 16> md5{};
    std::memcpy(md5.data(), streamInfo + 18, md5.size());
    // An encoder that could not compute it writes zeros.
    if (std::any_of(md5.begin(), md5.end(), [](uint8_t byte) { return byte != 0; })) info.storedMd5 = md5;
}

// Left-justified samples as a WAV file stores them: little-endian at their width, 8-bit unsigned.
// A loop per width, since this runs for every sample of every decoded file.
void packIntegers(const int32_t* samples, size_t count, uint16_t sampleBytes, uint8_t* out) {
    const auto raw = [samples](size_t i) { return static_cast<uint32_t>(samples[i]); };
    switch (sampleBytes) {
        case 1:
            for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>((raw(i) >> 24) ^ 0x80);
            break;
        case 2:
            for (size_t i = 0; i < count; ++i) {
                out[2 * i] = static_cast<uint8_t>(raw(i) >> 16);
                out[2 * i + 1] = static_cast<uint8_t>(raw(i) >> 24);
            }
            break;
        case 3:
            for (size_t i = 0; i < count; ++i) {
                out[3 * i] = static_cast<uint8_t>(raw(i) >> 8);
                out[3 * i + 1] = static_cast<uint8_t>(raw(i) >> 16);
                out[3 * i + 2] = static_cast<uint8_t>(raw(i) >> 24);
            }
            break;
        default:
            for (size_t i = 0; i < count; ++i) {
                for (int b = 0; b < 4; ++b) out[4 * i + b] = static_cast<uint8_t>(raw(i) >> (8 * b));
            }
            break;
    }
}

}  // namespace

const char* containerName(Container container) {
    switch (container) {
        case Container::Wav: return "WAV";
        case Container::Flac: return "FLAC";
        case Container::Aiff: return "AIFF";
        case Container::AiffC: return "AIFF-C";
        case Container::W64: return "W64";
        case Container::Caf: return "CAF";
    }
    return "?";
}

std::optional<Container> decodedContainerOf(const uint8_t* bytes, size_t size) {
    static const uint8_t kW64Riff[16] = {'r',  'i',  'f',  'f',  0x2E, 0x91, 0xCF, 0x11,
                                         0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00};
    if (size >= 4 && std::memcmp(bytes, "fLaC", 4) == 0) return Container::Flac;
    // A tag some taggers put before the FLAC stream.
    if (size >= 10 && std::memcmp(bytes, "ID3", 3) == 0) return Container::Flac;
    if (size >= 12 && std::memcmp(bytes, "FORM", 4) == 0) {
        if (std::memcmp(bytes + 8, "AIFF", 4) == 0) return Container::Aiff;
        if (std::memcmp(bytes + 8, "AIFC", 4) == 0) return Container::AiffC;
    }
    if (size >= 16 && std::memcmp(bytes, kW64Riff, 16) == 0) return Container::W64;
    if (size >= 4 && std::memcmp(bytes, "caff", 4) == 0) return Container::Caf;
    return std::nullopt;
}

struct DecodedFrameSource::Decoder {
    SndfileHandle file;
    std::vector<int32_t> integers;
    std::vector<float> floats;
    std::vector<double> doubles;
    std::vector<uint8_t> md5Scratch;
    md5_ctx md5{};
};

namespace {

// Opens the reader's file through libsndfile; a null handle when it cannot.
SndfileHandle openSndfile(WavReader& reader, SF_INFO& sfInfo) {
    SF_VIRTUAL_IO io = virtualIo();
    sfInfo = {};
    reader.seek(0, SeekOrigin::Begin);
    return SndfileHandle(sf_open_virtual(&io, SFM_READ, &sfInfo, &reader));
}

}  // namespace

WavError probeDecodedFile(const std::string& path, DecodedInfo& info) {
    WavReader reader;
    if (const WavError refused = reader.open(path)) return refused;
    info.identity = reader.openedIdentity();
    uint8_t head[16] = {};
    const uint32_t got = reader.read(head, sizeof head);
    const std::optional<Container> container = decodedContainerOf(head, got);
    if (!container) return {WavProblem::NotWave, 0, 0};
    info.container = *container;

    SF_INFO sfInfo{};
    const SndfileHandle file = openSndfile(reader, sfInfo);
    if (!file || sfInfo.channels <= 0 || sfInfo.channels > UINT16_MAX || sfInfo.samplerate <= 0 || sfInfo.frames < 0) {
        return {WavProblem::Undecodable, 0, 0};
    }
    const std::optional<Width> width = widthOf(sfInfo.format);
    if (!width) return {WavProblem::UnsupportedEncoding, 0, 0};
    const uint32_t blockAlign = static_cast<uint32_t>(sfInfo.channels) * (width->bits / 8);
    if (blockAlign > UINT16_MAX) return {WavProblem::UnsupportedEncoding, 0, 0};

    SampleFormat& format = info.format;
    format.encoding = width->isFloat ? SampleEncoding::IeeeFloat : SampleEncoding::IntegerPcm;
    format.code = width->isFloat ? wave_format_code::kIeeeFloat : wave_format_code::kPcm;
    format.sampleRate = static_cast<uint32_t>(sfInfo.samplerate);
    format.channels = static_cast<uint16_t>(sfInfo.channels);
    format.bitsPerSample = width->bits;
    format.blockAlign = static_cast<uint16_t>(blockAlign);
    info.frameCount = static_cast<uint64_t>(sfInfo.frames);
    if (info.container == Container::Flac) {
        reader.seek(0, SeekOrigin::Begin);
        readFlacStreamInfo(reader, info);
    }
    return {};
}

DecodedFrameSource::DecodedFrameSource(const DecodedInfo& info, uint64_t silentLeadingFrames, Md5 md5)
    : info_(info),
      silentLeadingFrames_(std::min(silentLeadingFrames, info.frameCount)),
      hashing_(md5 == Md5::Always || info.storedMd5.has_value()) {}

DecodedFrameSource::~DecodedFrameSource() = default;

WavError DecodedFrameSource::open(const std::string& path) {
    if (const WavError refused = reader_.open(path)) return refused;
    auto decoder = std::make_unique<Decoder>();
    SF_INFO sfInfo{};
    decoder->file = openSndfile(reader_, sfInfo);
    if (!decoder->file) return {WavProblem::Undecodable, 0, 0};
    // The header read at load time must still describe the file.
    const std::optional<Width> width = widthOf(sfInfo.format);
    if (!width || width->bits != info_.format.bitsPerSample || sfInfo.channels != info_.format.channels ||
        static_cast<uint64_t>(sfInfo.frames) != info_.frameCount) {
        return {WavProblem::Changed, 0, 0};
    }
    md5_init(&decoder->md5);
    decoder_ = std::move(decoder);
    return {};
}

void DecodedFrameSource::seekFrame(uint64_t frame) {
    nextFrame_ = std::min(frame, info_.frameCount);
    if (!decodeError_.empty()) return;
    if (sf_seek(decoder_->file.get(), static_cast<sf_count_t>(nextFrame_), SEEK_SET) < 0) {
        decodeError_ = formatText("%sのフレーム%lluへ移動できません: %s", containerName(info_.container),
                                  static_cast<unsigned long long>(nextFrame_), sf_strerror(decoder_->file.get()));
        readProblem_ = formatText("cannot seek to frame %llu: %s", static_cast<unsigned long long>(nextFrame_),
                                  sf_strerror(decoder_->file.get()));
    }
}

uint64_t DecodedFrameSource::readFrames(uint8_t* buffer, uint64_t maxFrames) {
    // After a decode error nothing more is trusted: the file ends there for the comparison.
    if (!decodeError_.empty()) return 0;
    const SampleFormat& format = info_.format;
    const uint16_t sampleBytes = format.bytesPerSample();
    SNDFILE* file = decoder_->file.get();
    uint64_t done = 0;
    while (done < maxFrames && nextFrame_ < info_.frameCount) {
        const uint64_t wanted = std::min({kDecodeChunkFrames, maxFrames - done, info_.frameCount - nextFrame_});
        const size_t samples = static_cast<size_t>(wanted) * format.channels;
        uint8_t* out = buffer + done * format.blockAlign;
        sf_count_t got = 0;
        if (format.isFloat() && format.bitsPerSample == 32) {
            decoder_->floats.resize(samples);
            got = sf_readf_float(file, decoder_->floats.data(), static_cast<sf_count_t>(wanted));
            std::memcpy(out, decoder_->floats.data(), static_cast<size_t>(got) * format.blockAlign);
        } else if (format.isFloat()) {
            decoder_->doubles.resize(samples);
            got = sf_readf_double(file, decoder_->doubles.data(), static_cast<sf_count_t>(wanted));
            std::memcpy(out, decoder_->doubles.data(), static_cast<size_t>(got) * format.blockAlign);
        } else {
            // libsndfile gives every integer width left-justified in 32 bits.
            decoder_->integers.resize(samples);
            got = sf_readf_int(file, decoder_->integers.data(), static_cast<sf_count_t>(wanted));
            packIntegers(decoder_->integers.data(), static_cast<size_t>(std::max<sf_count_t>(got, 0)) * format.channels,
                         sampleBytes, out);
        }
        if (got < 0) got = 0;
        hashFrames(out, static_cast<uint64_t>(got));
        nextFrame_ += static_cast<uint64_t>(got);
        done += static_cast<uint64_t>(got);
        const int error = sf_error(file);
        if (error != SF_ERR_NO_ERROR || static_cast<uint64_t>(got) < wanted) {
            const char* reason = error != SF_ERR_NO_ERROR ? sf_error_number(error) : "the file ends early";
            decodeError_ = formatText("%sの音声をフレーム%lluから先は復号できません(全%llu): %s",
                                      containerName(info_.container), static_cast<unsigned long long>(nextFrame_),
                                      static_cast<unsigned long long>(info_.frameCount), reason);
            readProblem_ =
                formatText("cannot decode past frame %llu of %llu: %s", static_cast<unsigned long long>(nextFrame_),
                           static_cast<unsigned long long>(info_.frameCount), reason);
            break;
        }
    }
    finishIfComplete();
    return done;
}

void DecodedFrameSource::hashFrames(const uint8_t* frames, uint64_t count) {
    if (!hashing_) return;
    const uint64_t first = nextFrame_;
    // Frames known to be silent that a zero skip passed over count as read.
    if (hashedFrames_ < first && first <= silentLeadingFrames_) {
        std::vector<uint8_t>& zeros = decoder_->md5Scratch;
        const uint64_t bytesPerFrame =
            uint64_t{info_.format.channels} * (info_.container == Container::Flac && info_.flacBits != 0
                                                   ? (info_.flacBits + 7u) / 8u
                                                   : info_.format.bytesPerSample());
        zeros.assign(kDecodeChunkFrames * bytesPerFrame, 0);
        while (hashedFrames_ < first) {
            const uint64_t frames = std::min(kDecodeChunkFrames, first - hashedFrames_);
            md5_update(&decoder_->md5, static_cast<size_t>(frames * bytesPerFrame), zeros.data());
            hashedFrames_ += frames;
        }
    }
    if (hashedFrames_ != first || count == 0) return;
    updateFlacConventionMd5(&decoder_->md5, frames, count, info_.format,
                            info_.container == Container::Flac ? info_.flacBits : info_.format.bitsPerSample,
                            decoder_->md5Scratch);
    hashedFrames_ += count;
}

void DecodedFrameSource::finishIfComplete() {
    // Without the MD5, reaching the last frame is what counts.
    const uint64_t complete = hashing_ ? hashedFrames_ : nextFrame_;
    if (finished_ || complete != info_.frameCount || !decodeError_.empty()) return;
    finished_ = true;
    md5_digest(&decoder_->md5, digest_.size(), digest_.data());
    if (info_.storedMd5 && *info_.storedMd5 != digest_) {
        decodeError_ = "FLACに記録されたMD5が復号した音声のMD5と一致しません";
        readProblem_ = "the MD5 stored in the FLAC file does not match its decoded audio";
    }
}

std::string DecodedFrameSource::damage() const { return decodeError_; }

std::string DecodedFrameSource::remark() const {
    if (finished_ && info_.container == Container::Flac && !info_.storedMd5) return "FLACにMD5が記録されていません";
    return {};
}

std::optional<std::array<uint8_t, 16>> DecodedFrameSource::audioMd5() const {
    if (!hashing_ || !finished_ || !decodeError_.empty()) return std::nullopt;
    return digest_;
}

}  // namespace vemilo
