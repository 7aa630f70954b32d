#include "wav/decoded_file.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "wav/container_extent.h"
#include "wav/flac_md5.h"
#include "wav/flac_stream.h"
#include "wav/text_format.h"

namespace vemilo {
namespace {

// Frames decoded per libsndfile call: the scratch buffer stays small whatever the caller asks for.
constexpr uint64_t kDecodeChunkFrames = 16384;

// What libsndfile reads: the file through the system's one reader (so that long paths, identity
// checks and descriptor handling are those of every other file), with a CAF data size shown as
// the audio the file holds when the file's own says -1 or more than is there.
struct SndfileInput {
    WavReader* reader = nullptr;
    uint64_t sizeField = 0;  // 0: nothing shown otherwise
    uint8_t shownSize[8] = {};
};

WavReader& readerOf(void* input) { return *static_cast<SndfileInput*>(input)->reader; }

sf_count_t virtualLength(void* input) { return static_cast<sf_count_t>(readerOf(input).size()); }

sf_count_t virtualSeek(sf_count_t offset, int whence, void* input) {
    WavReader& reader = readerOf(input);
    switch (whence) {
        case SEEK_CUR: return static_cast<sf_count_t>(reader.seek(offset, SeekOrigin::Current));
        case SEEK_END:
            return static_cast<sf_count_t>(
                reader.seek(static_cast<int64_t>(reader.size()) + offset, SeekOrigin::Begin));
        default: return static_cast<sf_count_t>(reader.seek(offset, SeekOrigin::Begin));
    }
}

sf_count_t virtualRead(void* buffer, sf_count_t count, void* input) {
    WavReader& reader = readerOf(input);
    const uint64_t start = reader.position();
    sf_count_t done = 0;
    while (done < count) {
        const uint32_t piece = static_cast<uint32_t>(std::min<sf_count_t>(count - done, 1u << 30));
        const uint32_t got = reader.read(static_cast<uint8_t*>(buffer) + done, piece);
        if (got == 0) break;
        done += got;
    }
    const SndfileInput& shown = *static_cast<SndfileInput*>(input);
    for (uint64_t i = 0; shown.sizeField != 0 && i < sizeof shown.shownSize; ++i) {
        const uint64_t at = shown.sizeField + i;
        if (at >= start && at < start + static_cast<uint64_t>(done))
            static_cast<uint8_t*>(buffer)[at - start] = shown.shownSize[i];
    }
    return done;
}

sf_count_t virtualWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t virtualTell(void* input) { return static_cast<sf_count_t>(readerOf(input).position()); }

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

SndfileHandle openSndfile(SndfileInput& input, SF_INFO& sfInfo) {
    SF_VIRTUAL_IO io = {virtualLength, virtualSeek, virtualRead, virtualWrite, virtualTell};
    sfInfo = {};
    input.reader->seek(0, SeekOrigin::Begin);
    return SndfileHandle(sf_open_virtual(&io, SFM_READ, &sfInfo, &input));
}

void showCafSize(SndfileInput& input, const DecodedInfo& info) {
    input.sizeField = info.cafSizeField;
    for (int i = 0; i < 8; ++i) input.shownSize[i] = static_cast<uint8_t>(info.cafShownSize >> (8 * (7 - i)));
}

// The sample width libsndfile's subtype gives, and whether it is a float; for encodings that are
// not plain PCM (companded, ADPCM, lossy), their name.
struct Width {
    uint16_t bits = 0;
    bool isFloat = false;
    const char* otherEncoding = nullptr;
};
Width widthOf(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_S8:
        case SF_FORMAT_PCM_U8: return {8, false};
        case SF_FORMAT_PCM_16: return {16, false};
        case SF_FORMAT_PCM_24: return {24, false};
        case SF_FORMAT_PCM_32: return {32, false};
        case SF_FORMAT_FLOAT: return {32, true};
        case SF_FORMAT_DOUBLE: return {64, true};
        case SF_FORMAT_ULAW: return {0, false, "µ-law"};
        case SF_FORMAT_ALAW: return {0, false, "A-law"};
        case SF_FORMAT_IMA_ADPCM: return {0, false, "IMA ADPCM"};
        case SF_FORMAT_MS_ADPCM: return {0, false, "MS ADPCM"};
        case SF_FORMAT_GSM610: return {0, false, "GSM 6.10"};
        case SF_FORMAT_ALAC_16:
        case SF_FORMAT_ALAC_20:
        case SF_FORMAT_ALAC_24:
        case SF_FORMAT_ALAC_32: return {0, false, "ALAC"};
        default: return {0, false, "an encoding other than PCM"};
    }
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

void setFormat(SampleFormat& format, uint32_t rate, uint16_t channels, uint16_t bits, bool isFloat) {
    format.encoding = isFloat ? SampleEncoding::IeeeFloat : SampleEncoding::IntegerPcm;
    format.code = isFloat ? wave_format_code::kIeeeFloat : wave_format_code::kPcm;
    format.sampleRate = rate;
    format.channels = channels;
    format.bitsPerSample = bits;
    format.blockAlign = static_cast<uint16_t>(channels * (bits / 8));
}

WavError probeFlac(WavReader& reader, DecodedInfo& info) {
    FlacStream stream;
    if (!stream.open(reader)) return {WavProblem::Undecodable, 0, 0, "FLAC"};
    const FlacStreamInfo& flac = stream.info();
    const uint16_t containerBits = static_cast<uint16_t>((flac.bits + 7) / 8 * 8);
    if (uint32_t{flac.channels} * containerBits / 8 > UINT16_MAX)
        return {WavProblem::UnsupportedEncoding, 0, 0, "FLAC"};
    setFormat(info.format, flac.sampleRate, flac.channels, containerBits, false);
    info.flacBits = flac.bits;
    info.storedMd5 = flac.md5;
    info.frameCount = flac.totalFrames;
    // Written to a pipe, a stream cannot go back to say how long it was: it is as long as it decodes.
    if (flac.totalFrames == 0) {
        info.frameCount = stream.countFrames();
        info.frameCountDecoded = true;
    }
    return {};
}

WavError probeSndfile(WavReader& reader, DecodedInfo& info) {
    const std::optional<ContainerExtent> extent =
        info.container == Container::Caf ? cafExtent(reader) : aiffExtent(reader);
    SndfileInput input{&reader};
    if (extent && info.container == Container::Caf) {
        const uint64_t available = reader.size() > extent->audioStart ? reader.size() - extent->audioStart : 0;
        info.cafSizeField = extent->sizeField;
        info.cafShownSize = std::min(extent->declaredBytes, available) + 4;  // with the edit count
        showCafSize(input, info);
    }
    SF_INFO sfInfo{};
    const SndfileHandle file = openSndfile(input, sfInfo);
    const char* name = containerName(info.container);
    if (!file || sfInfo.channels <= 0 || sfInfo.channels > UINT16_MAX || sfInfo.samplerate <= 0 || sfInfo.frames < 0)
        return {WavProblem::Undecodable, 0, 0, name};
    const Width width = widthOf(sfInfo.format);
    if (width.bits == 0) return {WavProblem::UnsupportedEncoding, 0, 0, width.otherEncoding};
    if (uint32_t{static_cast<uint16_t>(sfInfo.channels)} * (width.bits / 8) > UINT16_MAX)
        return {WavProblem::UnsupportedEncoding, 0, 0, name};
    setFormat(info.format, static_cast<uint32_t>(sfInfo.samplerate), static_cast<uint16_t>(sfInfo.channels), width.bits,
              width.isFloat);
    info.sndfileFrames = static_cast<uint64_t>(sfInfo.frames);
    info.frameCount = info.sndfileFrames;
    if (extent) {
        // Declared frames, as a WAV file's are: those past the end are missing, not absent.
        info.missingBytes = extent->missingBytes(reader.size());
        if (info.missingBytes != 0) info.frameCount = extent->declaredBytes / info.format.blockAlign;
    }
    return {};
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
    if (size >= 4 && std::memcmp(bytes, "fLaC", 4) == 0) return Container::Flac;
    // A tag some taggers put before the FLAC stream.
    if (size >= 10 && std::memcmp(bytes, "ID3", 3) == 0) return Container::Flac;
    if (size >= 12 && std::memcmp(bytes, "FORM", 4) == 0) {
        if (std::memcmp(bytes + 8, "AIFF", 4) == 0) return Container::Aiff;
        if (std::memcmp(bytes + 8, "AIFC", 4) == 0) return Container::AiffC;
    }
    if (size >= 4 && std::memcmp(bytes, "caff", 4) == 0) return Container::Caf;
    return std::nullopt;
}

WavError probeDecodedFile(const std::string& path, DecodedInfo& info) {
    WavReader reader;
    if (const WavError refused = reader.open(path)) return refused;
    info.identity = reader.openedIdentity();
    uint8_t head[16] = {};
    const uint32_t got = reader.read(head, sizeof head);
    const std::optional<Container> container = decodedContainerOf(head, got);
    if (!container) return {WavProblem::NotWave, 0, 0};
    info.container = *container;
    return info.container == Container::Flac ? probeFlac(reader, info) : probeSndfile(reader, info);
}

struct DecodedFrameSource::Decoder {
    SndfileInput input;
    SndfileHandle file;
    std::unique_ptr<FlacStream> flac;
    std::vector<int32_t> integers;
    std::unique_ptr<FlacConventionHasher> hasher;
};

DecodedFrameSource::DecodedFrameSource(const DecodedInfo& info, uint64_t silentLeadingFrames, Md5 md5)
    : info_(info),
      silentLeadingFrames_(std::min(silentLeadingFrames, info.frameCount)),
      hashing_(md5 == Md5::Always || info.storedMd5.has_value()) {}

DecodedFrameSource::~DecodedFrameSource() = default;

WavError DecodedFrameSource::open(const std::string& path) {
    if (const WavError refused = reader_.open(path)) return refused;
    auto decoder = std::make_unique<Decoder>();
    // The header read at load time must still describe the file.
    if (info_.container == Container::Flac) {
        decoder->flac = std::make_unique<FlacStream>();
        if (!decoder->flac->open(reader_)) return {WavProblem::Undecodable, 0, 0, "FLAC"};
        const FlacStreamInfo& flac = decoder->flac->info();
        if (flac.bits != info_.flacBits || flac.channels != info_.format.channels ||
            (!info_.frameCountDecoded && flac.totalFrames != info_.frameCount))
            return {WavProblem::Changed, 0, 0};
    } else {
        decoder->input.reader = &reader_;
        if (info_.container == Container::Caf) showCafSize(decoder->input, info_);
        SF_INFO sfInfo{};
        decoder->file = openSndfile(decoder->input, sfInfo);
        if (!decoder->file) return {WavProblem::Undecodable, 0, 0, containerName(info_.container)};
        const Width width = widthOf(sfInfo.format);
        if (width.bits != info_.format.bitsPerSample || sfInfo.channels != info_.format.channels ||
            static_cast<uint64_t>(sfInfo.frames) != info_.sndfileFrames)
            return {WavProblem::Changed, 0, 0};
    }
    if (hashing_) {
        decoder->hasher = std::make_unique<FlacConventionHasher>(
            info_.format, info_.container == Container::Flac ? info_.flacBits : info_.format.bitsPerSample,
            info_.frameCount * info_.format.blockAlign);
    }
    decoder_ = std::move(decoder);
    return {};
}

void DecodedFrameSource::seekFrame(uint64_t frame) {
    nextFrame_ = std::min(frame, info_.frameCount);
    if (!decodeError_.empty()) return;
    if (decoder_->flac) {
        decoder_->flac->seek(nextFrame_);
        return;
    }
    if (sf_seek(decoder_->file.get(), static_cast<sf_count_t>(std::min(nextFrame_, info_.sndfileFrames)), SEEK_SET) <
        0) {
        decodeError_ = formatText("%sのフレーム%lluへ移動できません: %s", containerName(info_.container),
                                  static_cast<unsigned long long>(nextFrame_), sf_strerror(decoder_->file.get()));
        readProblem_ = formatText("cannot seek to frame %llu: %s", static_cast<unsigned long long>(nextFrame_),
                                  sf_strerror(decoder_->file.get()));
    }
}

// Up to frames frames in the WAV layout; fewer where the file ends or cannot be decoded.
uint64_t DecodedFrameSource::decode(uint8_t* out, uint64_t frames) {
    if (decoder_->flac) {
        const uint64_t got = decoder_->flac->read(out, frames);
        if (const auto& damage = decoder_->flac->damage()) {
            decodeError_ = damage->logLine;
            readProblem_ = damage->english;
        }
        return got;
    }
    const SampleFormat& format = info_.format;
    SNDFILE* file = decoder_->file.get();
    sf_count_t got = 0;
    if (format.isFloat() && format.bitsPerSample == 32) {
        got = sf_readf_float(file, reinterpret_cast<float*>(out), static_cast<sf_count_t>(frames));
    } else if (format.isFloat()) {
        got = sf_readf_double(file, reinterpret_cast<double*>(out), static_cast<sf_count_t>(frames));
    } else {
        // libsndfile gives every integer width left-justified in 32 bits.
        decoder_->integers.resize(static_cast<size_t>(frames) * format.channels);
        got = sf_readf_int(file, decoder_->integers.data(), static_cast<sf_count_t>(frames));
        packIntegers(decoder_->integers.data(), static_cast<size_t>(std::max<sf_count_t>(got, 0)) * format.channels,
                     format.bytesPerSample(), out);
    }
    if (const int error = sf_error(file); error != SF_ERR_NO_ERROR) {
        decodeError_ = formatText(
            "%sの音声をフレーム%lluから先は復号できません: %s", containerName(info_.container),
            static_cast<unsigned long long>(nextFrame_) + static_cast<unsigned long long>(std::max<sf_count_t>(got, 0)),
            sf_error_number(error));
        readProblem_ = formatText(
            "cannot decode past frame %llu: %s",
            static_cast<unsigned long long>(nextFrame_) + static_cast<unsigned long long>(std::max<sf_count_t>(got, 0)),
            sf_error_number(error));
    }
    return static_cast<uint64_t>(std::max<sf_count_t>(got, 0));
}

uint64_t DecodedFrameSource::readFrames(uint8_t* buffer, uint64_t maxFrames) {
    // After a decode error nothing more is trusted: the file ends there for the comparison.
    if (!decodeError_.empty()) return 0;
    const uint16_t frameBytes = info_.format.blockAlign;
    uint64_t done = 0;
    while (done < maxFrames && nextFrame_ < info_.frameCount) {
        const uint64_t wanted = std::min({kDecodeChunkFrames, maxFrames - done, info_.frameCount - nextFrame_});
        uint8_t* out = buffer + done * frameBytes;
        const uint64_t got = decode(out, wanted);
        hashFrames(out, got);
        nextFrame_ += got;
        done += got;
        if (got < wanted) {
            noteEndedEarly();
            break;
        }
    }
    finishIfComplete();
    return done;
}

// A file that ended before the frames its header declares: named as a cut file is, or as a FLAC
// stream shorter than its STREAMINFO.
void DecodedFrameSource::noteEndedEarly() {
    if (!decodeError_.empty()) return;
    const auto frame = static_cast<unsigned long long>(nextFrame_);
    const auto total = static_cast<unsigned long long>(info_.frameCount);
    if (info_.container == Container::Flac) {
        decodeError_ =
            formatText("FLACのストリームはフレーム%lluで終わり、STREAMINFOの全%lluフレームに足りません", frame, total);
        readProblem_ = formatText("the stream ends at frame %llu of the %llu its STREAMINFO declares", frame, total);
        return;
    }
    decodeError_ = formatText("%sの音声はフレーム%lluで終わり、ヘッダーの全%lluフレームに足りません",
                              containerName(info_.container), frame, total);
    readProblem_ = formatText("the audio ends at frame %llu of the %llu its header declares", frame, total);
}

void DecodedFrameSource::hashFrames(const uint8_t* frames, uint64_t count) {
    if (!hashing_) return;
    const uint64_t first = nextFrame_;
    // Frames known to be silent that a zero skip passed over count as read.
    if (hashedFrames_ < first && first <= silentLeadingFrames_) {
        decoder_->hasher->addSilence(first - hashedFrames_);
        hashedFrames_ = first;
    }
    if (hashedFrames_ != first || count == 0) return;
    decoder_->hasher->add(frames, count);
    hashedFrames_ += count;
}

void DecodedFrameSource::finishIfComplete() {
    if (!decodeError_.empty()) return;
    // Whoever reads the last frame reads what follows it too: more frames, or bytes that are none,
    // are damage, and say so before any checksum could.
    if (!endChecked_ && nextFrame_ == info_.frameCount && decoder_->flac) {
        endChecked_ = true;
        decoder_->flac->checkTheEnd(info_.frameCount);
        if (const auto& damage = decoder_->flac->damage()) {
            decodeError_ = damage->logLine;
            readProblem_ = damage->english;
            return;
        }
    }
    // Without the MD5, reaching the last frame is what counts.
    const uint64_t complete = hashing_ ? hashedFrames_ : nextFrame_;
    if (finished_ || complete != info_.frameCount) return;
    finished_ = true;
    if (hashing_) digest_ = decoder_->hasher->finish();
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
