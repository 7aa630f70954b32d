#include "wav/wav_header.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "wav/trace.h"
#include "wav/wav_reader.h"

namespace vemilo {
namespace {

constexpr uint32_t kFormatBlockBytes = 16;
// Enough of a "fmt " body to reach the extensible sub-format GUID (offset 24).
constexpr uint32_t kFormatBodyBytes = 40;
constexpr uint32_t kSizeFromDs64 = 0xFFFFFFFFu;
// A walk through this many chunks lets its caller handle pending events.
constexpr uint64_t kChunksBetweenPauses = 16384;

unsigned low32(uint64_t value) { return static_cast<unsigned>(value & 0xFFFFFFFFu); }

// A count of skipped bytes as the trace shows it: a signed 32-bit number, capped.
int shownCount(uint64_t count) { return count > INT32_MAX ? INT32_MAX : static_cast<int>(count); }

uint64_t readU64LE(const uint8_t* bytes) {
    return readU32LE(bytes) | (static_cast<uint64_t>(readU32LE(bytes + 4)) << 32);
}

uint64_t addSaturated(uint64_t position, uint64_t distance) {
    return distance > UINT64_MAX - position ? UINT64_MAX : position + distance;
}

// The file seen through one large window, so that a header of many small chunks costs a few
// system calls instead of several per chunk. Positions are logical: seeking past the end is
// allowed, and reading there gives nothing, as with the reader itself.
class HeaderView {
public:
    // The window is left uninitialised: only the bytes a read filled are ever looked at, and a walk
    // per file of an archive of small files must not clear 64 KiB each time.
    explicit HeaderView(WavReader& reader) : reader_(reader), window_(new uint8_t[kWindowBytes]) {}

    uint64_t position() const { return position_; }
    uint64_t size() const { return reader_.size(); }
    void seek(uint64_t position) { position_ = position; }

    // Reads up to count bytes at the position and moves past them.
    uint32_t read(uint8_t* out, uint32_t count) {
        uint32_t done = 0;
        while (done < count) {
            if (!holds(position_) && !fill(position_)) break;
            const uint64_t inWindow = windowStart_ + windowLength_ - position_;
            const uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(count - done, inWindow));
            std::memcpy(out + done, window_.get() + (position_ - windowStart_), take);
            done += take;
            position_ += take;
        }
        return done;
    }

    // Steps over a run of zero bytes; their count, or nothing when the file ends inside the run.
    std::optional<uint64_t> skipZeroBytes() {
        uint64_t count = 0;
        for (;;) {
            if (!holds(position_) && !fill(position_)) {
                trace("zeroskip err(readsize=0) %x\n", low32(position_));
                return std::nullopt;
            }
            const uint8_t* start = window_.get() + (position_ - windowStart_);
            const uint8_t* end = window_.get() + windowLength_;
            const uint8_t* nonZero = std::find_if(start, end, [](uint8_t byte) { return byte != 0; });
            count += static_cast<uint64_t>(nonZero - start);
            position_ += static_cast<uint64_t>(nonZero - start);
            if (nonZero != end) {
                trace("skip num=%d pos:%x\n", shownCount(count), low32(position_));
                return count;
            }
        }
    }

private:
    static constexpr uint32_t kWindowBytes = 64 * 1024;

    bool holds(uint64_t position) const { return position >= windowStart_ && position - windowStart_ < windowLength_; }

    bool fill(uint64_t position) {
        if (position >= reader_.size()) return false;
        reader_.seek(static_cast<int64_t>(std::min<uint64_t>(position, INT64_MAX)), SeekOrigin::Begin);
        windowStart_ = position;
        windowLength_ = reader_.read(window_.get(), kWindowBytes);
        return windowLength_ != 0;
    }

    WavReader& reader_;
    std::unique_ptr<uint8_t[]> window_;
    uint64_t windowStart_ = 0;
    uint64_t windowLength_ = 0;
    uint64_t position_ = 0;
};

// Reads what the walk needs of a "fmt " body and traces it, leaving the view at the body start.
// Bytes past the body's declared size belong to the next chunk and are taken as zero.
void readFormatBody(HeaderView& view, uint32_t bodySize, uint8_t (&body)[kFormatBodyBytes]) {
    const uint64_t bodyStart = view.position();
    std::memset(body, 0, sizeof body);
    (void)view.read(body, std::min(bodySize, kFormatBodyBytes));
    view.seek(bodyStart);

    trace("%d codecid\n", readU16LE(body + 0));
    trace("%d channel\n", readU16LE(body + 2));
    trace("%d sampling rate\n", static_cast<int>(readU32LE(body + 4)));
    trace("%d byte rate\n", static_cast<int>(readU32LE(body + 8)));
    trace("%d bytepersample\n", readU16LE(body + 12));
    trace("%d bitres\n", readU16LE(body + 14));
    if (bodySize > kFormatBlockBytes && readU16LE(body) == wave_format_code::kPcm) {
        trace("拡張フォーマット読み\n");
        if (readU16LE(body + 16) != 0) trace("exbuf読み\n");
    }
    trace("fmt pos: fmt 0x%x\n", low32(view.position()));
}

// The 64-bit sizes of an RF64/BW64 file; a chunk whose 32-bit size reads 0xFFFFFFFF takes its
// size from here.
struct Ds64 {
    bool present = false;
    uint64_t riffSize = 0;
    uint64_t dataSize = 0;
    uint64_t frameCount = 0;
    std::vector<std::pair<std::string, uint64_t>> table;  // other chunks' sizes
};

void readDs64(HeaderView& view, uint32_t bodySize, Ds64& ds64) {
    const uint64_t bodyStart = view.position();
    uint8_t fixed[28] = {};
    const uint32_t got = view.read(fixed, std::min<uint32_t>(bodySize, sizeof fixed));
    ds64.present = got >= 24;
    ds64.riffSize = readU64LE(fixed);
    ds64.dataSize = readU64LE(fixed + 8);
    ds64.frameCount = readU64LE(fixed + 16);
    const uint32_t tableLength = got >= 28 ? readU32LE(fixed + 24) : 0;
    // Each entry is a chunk ID and its 64-bit size; never more than the body holds.
    for (uint32_t i = 0; i < tableLength && 28 + 12ull * (i + 1) <= bodySize; ++i) {
        uint8_t entry[12] = {};
        if (view.read(entry, sizeof entry) != sizeof entry) break;
        ds64.table.emplace_back(std::string(reinterpret_cast<const char*>(entry), 4), readU64LE(entry + 4));
    }
    view.seek(bodyStart);
    trace("%llu ds64 riffsize\n", static_cast<unsigned long long>(ds64.riffSize));
    trace("%llu ds64 datasize\n", static_cast<unsigned long long>(ds64.dataSize));
    trace("%llu ds64 samplecount\n", static_cast<unsigned long long>(ds64.frameCount));
}

// The body size of a chunk, with RF64's placeholder resolved through ds64.
uint64_t chunkBodySize(const std::string& id, uint32_t declared, const Ds64& ds64) {
    if (declared != kSizeFromDs64 || !ds64.present) return declared;
    if (id == "data") return ds64.dataSize;
    for (const auto& [tableId, size] : ds64.table) {
        if (tableId == id) return size;
    }
    return declared;
}

// Sony Wave64: the GUIDs of its "riff", "wave", "fmt " and "data" chunks.
constexpr uint8_t kW64Riff[16] = {'r', 'i', 'f', 'f', 0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0, 0};
constexpr uint8_t kW64Tail[12] = {0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A};

bool isW64Guid(const uint8_t* guid, const char* fourcc) {
    return std::memcmp(guid, fourcc, 4) == 0 && std::memcmp(guid + 4, kW64Tail, sizeof kW64Tail) == 0;
}

// A Wave64 file's chunks: a GUID, a 64-bit size that counts the 24 bytes of the chunk's own
// header, and a body padded to 8 bytes. The format block is a WAV file's.
WavError walkW64(HeaderView& view, WavFormatInfo& info, uint8_t (&formatBody)[kFormatBodyBytes], bool& formatSeen,
                 const KeepWalking& keepWalking) {
    view.seek(40);  // past "riff", its size and "wave"
    for (uint64_t chunks = 1; view.position() < view.size(); ++chunks) {
        if (keepWalking && chunks % kChunksBetweenPauses == 0 && !keepWalking()) {
            return {WavProblem::Stopped, 0, view.position()};
        }
        const uint64_t chunkStart = view.position();
        uint8_t head[24] = {};
        // A few bytes too short for a chunk at the end are padding, as a WAV walk takes them.
        if (view.read(head, sizeof head) != sizeof head) break;
        const uint64_t size = readU64LE(head + 16);
        if (size < sizeof head) return {WavProblem::TruncatedChunk, 0, chunkStart};
        const uint64_t bodySize = size - sizeof head;
        if (isW64Guid(head, "fmt ")) {
            readFormatBody(view, static_cast<uint32_t>(std::min<uint64_t>(bodySize, UINT32_MAX)), formatBody);
            formatSeen = true;
        }
        if (isW64Guid(head, "data")) {
            info.dataOffset = view.position();
            info.dataBytes = bodySize;
        }
        view.seek(addSaturated(chunkStart, addSaturated(size, 7) & ~uint64_t{7}));
    }
    return {};
}

WavContainer containerOf(const uint8_t* id) {
    if (std::memcmp(id, "RF64", 4) == 0) return WavContainer::Rf64;
    if (std::memcmp(id, "BW64", 4) == 0) return WavContainer::Bw64;
    return WavContainer::Riff;
}

// The chunks of a RIFF, RF64 or BW64 file, from the one after "WAVE": the format, the audio and
// its MD5, each size as ds64 gives it where the file has one.
WavError walkRiff(HeaderView& view, WavFormatInfo& info, uint8_t (&formatBody)[kFormatBodyBytes], bool& formatSeen,
                  const KeepWalking& keepWalking) {
    Ds64 ds64;
    for (uint64_t chunks = 1; view.position() < view.size(); ++chunks) {
        // The caller may let the window handle what is pending here; the walk keeps no reference into it.
        if (keepWalking && chunks % kChunksBetweenPauses == 0 && !keepWalking()) {
            return {WavProblem::Stopped, 0, view.position()};
        }
        const uint64_t chunkStart = view.position();
        uint8_t idBytes[4] = {};
        const uint32_t idLength = view.read(idBytes, 4);
        if (idLength == 0) {
            trace("chunk read error\n");
            return {WavProblem::TruncatedChunk, 0, chunkStart};
        }
        uint8_t sizeBytes[4] = {};
        if (view.read(sizeBytes, 4) == 0) {
            trace("chunk size error\n");
            return {WavProblem::TruncatedChunk, 0, chunkStart};
        }
        // A short size read at the end of the file keeps its missing bytes as zero.
        const std::string id(reinterpret_cast<const char*>(idBytes), idLength);
        const uint32_t declaredSize = readU32LE(sizeBytes);
        if (traceEnabled()) traceText("chunk: " + id + " " + std::to_string(static_cast<int32_t>(declaredSize)) + "\n");

        uint64_t bodySize = chunkBodySize(id, declaredSize, ds64);
        if (id == "ds64" && info.container != WavContainer::Riff) readDs64(view, declaredSize, ds64);
        if (id == "fmt ") {
            readFormatBody(view, declaredSize, formatBody);
            formatSeen = true;
        }
        if (id == "MD5 " && declaredSize >= info.embeddedMd5.size()) {
            const uint64_t bodyStart = view.position();
            info.hasEmbeddedMd5 = view.read(info.embeddedMd5.data(), static_cast<uint32_t>(info.embeddedMd5.size())) ==
                                  info.embeddedMd5.size();
            view.seek(bodyStart);
        }
        if (id == "data") {
            info.dataOffset = view.position();
            info.dataRunsToEnd = declaredSize == kSizeFromDs64 && (!ds64.present || ds64.dataSize == 0);
            // A writer that could not seek back left the placeholder: the audio runs to the end.
            if (info.dataRunsToEnd) bodySize = view.size() > info.dataOffset ? view.size() - info.dataOffset : 0;
            info.dataBytes = bodySize;
        }

        view.seek(addSaturated(view.position(), bodySize));
        const std::optional<uint64_t> skipped = view.skipZeroBytes();
        trace("skipnum=%d\n", skipped ? shownCount(*skipped) : -1);
        trace("data pos: 0x%x\n", low32(view.position()));
    }
    return {};
}

}  // namespace

WavError parseWavHeader(const std::string& path, WavFormatInfo& info, const KeepWalking& keepWalking) {
    WavReader reader;
    if (const WavError refused = reader.open(path)) {
        trace("open error\n");
        return refused;
    }
    info.identity = reader.openedIdentity();
    HeaderView view(reader);

    uint8_t header[40] = {};
    const uint32_t headerLength = view.read(header, sizeof header);
    const bool wave = headerLength >= 12 &&
                      (std::memcmp(header, "RIFF", 4) == 0 || containerOf(header) != WavContainer::Riff) &&
                      std::memcmp(header + 8, "WAVE", 4) == 0;
    const bool wave64 =
        headerLength == sizeof header && std::memcmp(header, kW64Riff, 16) == 0 && isW64Guid(header + 24, "wave");
    if (!wave && !wave64) return {WavProblem::NotWave, 0, 0};
    info.container = wave64 ? WavContainer::W64 : containerOf(header);
    view.seek(12);

    uint8_t formatBody[kFormatBodyBytes] = {};
    bool formatSeen = false;
    const WavError stopped = wave64 ? walkW64(view, info, formatBody, formatSeen, keepWalking)
                                    : walkRiff(view, info, formatBody, formatSeen, keepWalking);
    if (stopped) return stopped;

    info.formatTag = readU16LE(formatBody + 0);
    info.byteRate = readU32LE(formatBody + 8);
    if (info.formatTag == wave_format_code::kExtensible && readU16LE(formatBody + 16) >= 22) {
        info.subFormat = readU16LE(formatBody + 24);
    }
    info.format = waveSampleFormat(info.formatTag, info.subFormat, readU32LE(formatBody + 4), readU16LE(formatBody + 2),
                                   readU16LE(formatBody + 14), readU16LE(formatBody + 12));
    if (!formatSeen || !info.format.usable()) return {WavProblem::NoFormat, 0, view.position()};
    return {};
}

}  // namespace vemilo
