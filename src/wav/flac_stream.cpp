#include "wav/flac_stream.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cstring>

#include "wav/text_format.h"

namespace vemilo {
namespace {

const char* errorName(FLAC__StreamDecoderErrorStatus status) {
    switch (status) {
        case FLAC__STREAM_DECODER_ERROR_STATUS_LOST_SYNC: return "lost sync";
        case FLAC__STREAM_DECODER_ERROR_STATUS_BAD_HEADER: return "a bad frame header";
        case FLAC__STREAM_DECODER_ERROR_STATUS_FRAME_CRC_MISMATCH: return "a frame whose CRC does not match";
        case FLAC__STREAM_DECODER_ERROR_STATUS_UNPARSEABLE_STREAM: return "a stream it cannot parse";
        default: return "bad metadata";
    }
}

// Where the trailing tags that may follow a FLAC stream begin (ID3v1 "TAG", an APEv2 tag before
// it): the end of the file when there are none.
uint64_t trailingTagsStart(WavReader& reader) {
    uint64_t end = reader.size();
    uint8_t tail[128] = {};
    if (end >= sizeof tail) {
        reader.seek(static_cast<int64_t>(end - sizeof tail), SeekOrigin::Begin);
        if (reader.read(tail, sizeof tail) == sizeof tail && std::memcmp(tail, "TAG", 3) == 0) end -= sizeof tail;
    }
    uint8_t footer[32] = {};
    if (end >= sizeof footer) {
        reader.seek(static_cast<int64_t>(end - sizeof footer), SeekOrigin::Begin);
        if (reader.read(footer, sizeof footer) == sizeof footer && std::memcmp(footer, "APETAGEX", 8) == 0) {
            const uint64_t tagBytes = readU32LE(footer + 12) + ((readU32LE(footer + 20) & 0x80000000u) ? 32u : 0u);
            end -= std::min(end, tagBytes);
        }
    }
    return end;
}

// A frame's channels interleaved as WAV files lay them out, left-justified in Bytes bytes; a loop
// per width, since it runs for every sample decoded.
template <unsigned Bytes>
void interleave(uint8_t* out, const FLAC__int32* const buffer[], uint32_t frames, uint32_t channels, unsigned shift) {
    for (uint32_t i = 0; i < frames; ++i) {
        for (uint32_t channel = 0; channel < channels; ++channel) {
            const uint32_t value = static_cast<uint32_t>(buffer[channel][i]) << shift;
            if constexpr (Bytes == 1) {
                *out++ = static_cast<uint8_t>(value ^ 0x80u);  // WAV keeps 8-bit samples unsigned
            } else {
                for (unsigned b = 0; b < Bytes; ++b) out[b] = static_cast<uint8_t>(value >> (8 * b));
                out += Bytes;
            }
        }
    }
}

}  // namespace

struct FlacStream::Decoder {
    FLAC__StreamDecoder* handle = FLAC__stream_decoder_new();
    std::optional<FLAC__StreamDecoderErrorStatus> error;  // the first the decoder reported
    bool formatChanged = false;                           // a frame of another depth or channel count
    ~Decoder() {
        if (handle) FLAC__stream_decoder_delete(handle);
    }
};

// libFLAC's callbacks, which read through the reader and lay frames out as WAV files hold them.
struct FlacStream::Callbacks {
    static FlacStream& self(void* data) { return *static_cast<FlacStream*>(data); }

    static FLAC__StreamDecoderReadStatus read(const FLAC__StreamDecoder*, FLAC__byte buffer[], size_t* bytes,
                                              void* data) {
        const uint32_t wanted = static_cast<uint32_t>(std::min<size_t>(*bytes, 1u << 20));
        *bytes = self(data).reader_->read(buffer, wanted);
        return *bytes == 0 ? FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM : FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
    }
    static FLAC__StreamDecoderSeekStatus seek(const FLAC__StreamDecoder*, FLAC__uint64 offset, void* data) {
        if (offset > INT64_MAX) return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
        const uint64_t reached = self(data).reader_->seek(static_cast<int64_t>(offset), SeekOrigin::Begin);
        return reached == offset ? FLAC__STREAM_DECODER_SEEK_STATUS_OK : FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
    }
    static FLAC__StreamDecoderTellStatus tell(const FLAC__StreamDecoder*, FLAC__uint64* offset, void* data) {
        *offset = self(data).reader_->position();
        return FLAC__STREAM_DECODER_TELL_STATUS_OK;
    }
    static FLAC__StreamDecoderLengthStatus length(const FLAC__StreamDecoder*, FLAC__uint64* bytes, void* data) {
        *bytes = self(data).reader_->size();
        return FLAC__STREAM_DECODER_LENGTH_STATUS_OK;
    }
    static FLAC__bool atEnd(const FLAC__StreamDecoder*, void* data) {
        return self(data).reader_->position() >= self(data).reader_->size();
    }
    static FLAC__StreamDecoderWriteStatus write(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                                const FLAC__int32* const buffer[], void* data) {
        FlacStream& stream = self(data);
        const FLAC__FrameHeader& header = frame->header;
        if (header.channels != stream.info_.channels || header.bits_per_sample != stream.info_.bits) {
            stream.decoder_->formatChanged = true;
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        const uint16_t bytes = stream.containerBytes_;
        const unsigned shift = bytes * 8u - header.bits_per_sample;
        const size_t start = stream.pending_.size();
        stream.pending_.resize(start + size_t{header.blocksize} * header.channels * bytes);
        uint8_t* out = stream.pending_.data() + start;
        switch (bytes) {
            case 1: interleave<1>(out, buffer, header.blocksize, header.channels, shift); break;
            case 2: interleave<2>(out, buffer, header.blocksize, header.channels, shift); break;
            case 3: interleave<3>(out, buffer, header.blocksize, header.channels, shift); break;
            default: interleave<4>(out, buffer, header.blocksize, header.channels, shift); break;
        }
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }
    static void metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block, void* data) {
        if (block->type != FLAC__METADATA_TYPE_STREAMINFO) return;
        const FLAC__StreamMetadata_StreamInfo& streamInfo = block->data.stream_info;
        FlacStreamInfo& info = self(data).info_;
        info.sampleRate = streamInfo.sample_rate;
        info.channels = static_cast<uint16_t>(streamInfo.channels);
        info.bits = static_cast<uint16_t>(streamInfo.bits_per_sample);
        info.totalFrames = streamInfo.total_samples;
        std::array<uint8_t, 16> md5{};
        std::memcpy(md5.data(), streamInfo.md5sum, md5.size());
        // An encoder that could not compute it writes zeros.
        if (std::any_of(md5.begin(), md5.end(), [](uint8_t byte) { return byte != 0; })) info.md5 = md5;
    }
    static void error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* data) {
        if (!self(data).decoder_->error) self(data).decoder_->error = status;
    }
};

FlacStream::FlacStream() : decoder_(std::make_unique<Decoder>()) {}

FlacStream::~FlacStream() {
    if (decoder_->handle) FLAC__stream_decoder_finish(decoder_->handle);
}

bool FlacStream::open(WavReader& reader) {
    reader_ = &reader;
    reader.seek(0, SeekOrigin::Begin);
    FLAC__StreamDecoder* handle = decoder_->handle;
    if (!handle ||
        FLAC__stream_decoder_init_stream(handle, Callbacks::read, Callbacks::seek, Callbacks::tell, Callbacks::length,
                                         Callbacks::atEnd, Callbacks::write, Callbacks::metadata, Callbacks::error,
                                         this) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        return false;
    }
    if (!FLAC__stream_decoder_process_until_end_of_metadata(handle) || decoder_->error || info_.channels == 0 ||
        info_.bits < 4 || info_.bits > 32 || info_.sampleRate == 0) {
        return false;
    }
    containerBytes_ = static_cast<uint16_t>((info_.bits + 7) / 8);
    return true;
}

void FlacStream::noteDamage(const std::string& logLine, const std::string& english) {
    if (!damage_) damage_ = FlacDamage{logLine, english};
}

// One more frame into the pending bytes; false at the end of the stream or at damage, noted.
bool FlacStream::decodeOne() {
    FLAC__StreamDecoder* handle = decoder_->handle;
    if (damage_ || FLAC__stream_decoder_get_state(handle) == FLAC__STREAM_DECODER_END_OF_STREAM) return false;
    const size_t before = pending_.size();
    const bool decoded = FLAC__stream_decoder_process_single(handle);
    if (decoder_->error || decoder_->formatChanged || !decoded) {
        // Nothing of a frame that could not be decoded is compared, not even its silence.
        pending_.resize(before);
        const std::string reason = decoder_->formatChanged ? "a frame of another sample depth or channel count"
                                   : decoder_->error       ? errorName(*decoder_->error)
                                                           : "a read error";
        noteDamage(formatText("FLACの音声をフレーム%lluから先は復号できません: %s",
                              static_cast<unsigned long long>(nextFrame_), reason.c_str()),
                   formatText("cannot decode past frame %llu: %s", static_cast<unsigned long long>(nextFrame_),
                              reason.c_str()));
        return false;
    }
    return pending_.size() > before;
}

uint64_t FlacStream::read(uint8_t* out, uint64_t count) {
    const size_t frameBytes = size_t{containerBytes_} * info_.channels;
    uint64_t done = 0;
    while (done < count) {
        const uint64_t available = (pending_.size() - pendingTaken_) / frameBytes;
        if (available == 0) {
            pending_.clear();
            pendingTaken_ = 0;
            if (!decodeOne()) break;
            continue;
        }
        const uint64_t take = std::min(available, count - done);
        std::memcpy(out + done * frameBytes, pending_.data() + pendingTaken_, take * frameBytes);
        pendingTaken_ += take * frameBytes;
        done += take;
        nextFrame_ += take;
    }
    return done;
}

// Back to the start, then forward by decoding: for a stream libFLAC cannot seek in (one whose
// total is unknown, say).
void FlacStream::restartAt(uint64_t frame) {
    pending_.clear();
    pendingTaken_ = 0;
    nextFrame_ = 0;
    FLAC__StreamDecoder* handle = decoder_->handle;
    if (!FLAC__stream_decoder_reset(handle) || !FLAC__stream_decoder_process_until_end_of_metadata(handle)) {
        noteDamage("FLACの先頭へ戻れません", "cannot go back to the start of the stream");
        return;
    }
    std::vector<uint8_t> scratch(size_t{containerBytes_} * info_.channels * 4096);
    while (nextFrame_ < frame && read(scratch.data(), std::min<uint64_t>(4096, frame - nextFrame_)) != 0) {
    }
}

void FlacStream::seek(uint64_t frame) {
    if (frame == nextFrame_ || damage_) {
        nextFrame_ = damage_ ? frame : nextFrame_;
        return;
    }
    pending_.clear();
    pendingTaken_ = 0;
    FLAC__StreamDecoder* handle = decoder_->handle;
    // The frame holding the target is written from the target on while libFLAC seeks.
    if (info_.totalFrames != 0 && frame < info_.totalFrames && FLAC__stream_decoder_seek_absolute(handle, frame)) {
        nextFrame_ = frame;
        return;
    }
    if (FLAC__stream_decoder_get_state(handle) == FLAC__STREAM_DECODER_SEEK_ERROR) FLAC__stream_decoder_flush(handle);
    decoder_->error.reset();
    restartAt(frame);
}

uint64_t FlacStream::countFrames() {
    std::vector<uint8_t> scratch(size_t{containerBytes_} * info_.channels * 4096);
    while (read(scratch.data(), 4096) != 0) {
    }
    return nextFrame_;
}

void FlacStream::checkTheEnd(uint64_t totalFrames) {
    if (damage_ || nextFrame_ != totalFrames) return;
    FLAC__uint64 position = 0;
    if (!FLAC__stream_decoder_get_decode_position(decoder_->handle, &position)) return;
    const uint64_t resume = reader_->position();
    const uint64_t tags = trailingTagsStart(*reader_);
    reader_->seek(static_cast<int64_t>(resume), SeekOrigin::Begin);
    const bool moreInFrame = pending_.size() > pendingTaken_;
    if (!moreInFrame && position >= tags) return;
    // Something follows the last frame: more frames than STREAMINFO counts, or bytes that are none.
    if (moreInFrame || decodeOne()) {
        noteDamage(formatText("FLACのSTREAMINFOは全%lluフレームとしていますが、ストリームはその先も続いています",
                              static_cast<unsigned long long>(totalFrames)),
                   formatText("its STREAMINFO declares %llu frames, but the stream goes on past them",
                              static_cast<unsigned long long>(totalFrames)));
        return;
    }
    damage_.reset();  // decodeOne's own words for bytes that are not frames: these say more
    noteDamage(formatText("FLACの最後のフレームの後、バイト%lluから先の%lluバイトは音声ではありません",
                          static_cast<unsigned long long>(position), static_cast<unsigned long long>(tags - position)),
               formatText("%llu bytes after the last frame, from byte %llu, are not audio of this stream",
                          static_cast<unsigned long long>(tags - position), static_cast<unsigned long long>(position)));
}

}  // namespace vemilo
