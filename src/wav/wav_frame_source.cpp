#include <algorithm>

#include "wav/decoded_file.h"
#include "wav/file_slot.h"
#include "wav/frame_source.h"
#include "wav/wav_reader.h"

namespace vemilo {
namespace {

// The frames of a WAV file's data chunk, read straight from the file by byte offset.
class WavFrameSource : public FrameSource {
public:
    explicit WavFrameSource(const FileSlot& slot)
        : format_(slot.format), frameCount_(slot.frameCount), dataOffset_(slot.dataOffset) {}

    WavError open(const std::string& path) { return reader_.open(path); }

    const SampleFormat& format() const override { return format_; }
    uint64_t frameCount() const override { return frameCount_; }

    void seekFrame(uint64_t frame) override {
        const uint64_t offset =
            dataOffset_ + std::min<uint64_t>(frame, UINT64_MAX / format_.blockAlign - dataOffset_) * format_.blockAlign;
        reader_.seek(static_cast<int64_t>(std::min<uint64_t>(offset, INT64_MAX)), SeekOrigin::Begin);
    }

    uint64_t readFrames(uint8_t* buffer, uint64_t maxFrames) override {
        // One read per call: the engine asks for a block of about 2 MiB at a time.
        const uint64_t bytes =
            std::min<uint64_t>(maxFrames * format_.blockAlign, UINT32_MAX / format_.blockAlign * format_.blockAlign);
        // A partial frame at the end of the file is not a frame: it is never compared.
        return reader_.read(buffer, static_cast<uint32_t>(bytes)) / format_.blockAlign;
    }

    FileIdentity identity() const override { return reader_.identity(); }
    const FileIdentity& openedIdentity() const { return reader_.openedIdentity(); }
    uint64_t position() const override { return reader_.position(); }
    uint64_t fileBytes() const override { return reader_.size(); }

private:
    SampleFormat format_;
    uint64_t frameCount_;
    uint64_t dataOffset_;
    WavReader reader_;
};

}  // namespace

OpenedSource openFrameSource(const FileSlot& slot) {
    if (isDecoded(slot.container)) {
        auto decoded = std::make_unique<DecodedFrameSource>(slot.decoded, slot.leadingSilentFrames);
        if (WavError refused = decoded->open(slot.path)) return {nullptr, refused};
        if (decoded->openedIdentity() != slot.identity) return {nullptr, {WavProblem::Changed, 0, 0}};
        return {std::move(decoded), {}};
    }
    auto source = std::make_unique<WavFrameSource>(slot);
    if (WavError refused = source->open(slot.path)) return {nullptr, refused};
    // The frames must come from the file whose header was read, not one renamed over it since.
    if (source->openedIdentity() != slot.identity) return {nullptr, {WavProblem::Changed, 0, 0}};
    return {std::move(source), {}};
}

}  // namespace vemilo
