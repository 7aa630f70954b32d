#include "wav/container_extent.h"

#include <cstring>

namespace vemilo {
namespace {

uint64_t bigEndian(const uint8_t* bytes, int count) {
    uint64_t value = 0;
    for (int i = 0; i < count; ++i) value = (value << 8) | bytes[i];
    return value;
}

// Chunks are never fewer than this many in a real file; a walk stops after so many.
constexpr int kMostChunks = 1 << 16;

}  // namespace

std::optional<ContainerExtent> aiffExtent(WavReader& reader) {
    uint64_t at = 12;  // past "FORM", its size and "AIFF"/"AIFC"
    for (int chunks = 0; chunks < kMostChunks && at + 8 <= reader.size(); ++chunks) {
        uint8_t head[16] = {};
        reader.seek(static_cast<int64_t>(at), SeekOrigin::Begin);
        if (reader.read(head, sizeof head) < 8) return std::nullopt;
        const uint64_t size = bigEndian(head + 4, 4);
        if (std::memcmp(head, "SSND", 4) == 0) {
            const uint64_t offset = bigEndian(head + 8, 4);
            ContainerExtent extent;
            extent.audioStart = at + 16 + offset;
            extent.declaredBytes = size >= 8 + offset ? size - 8 - offset : 0;
            return extent;
        }
        at += 8 + size + (size & 1);  // bodies are padded to an even length
    }
    return std::nullopt;
}

std::optional<ContainerExtent> cafExtent(WavReader& reader) {
    uint64_t at = 8;  // past "caff", its version and flags
    for (int chunks = 0; chunks < kMostChunks && at + 12 <= reader.size(); ++chunks) {
        uint8_t head[12] = {};
        reader.seek(static_cast<int64_t>(at), SeekOrigin::Begin);
        if (reader.read(head, sizeof head) != sizeof head) return std::nullopt;
        const auto size = static_cast<int64_t>(bigEndian(head + 4, 8));
        if (std::memcmp(head, "data", 4) == 0) {
            ContainerExtent extent;
            extent.sizeField = at + 4;
            extent.audioStart = at + 12 + 4;  // past the edit count
            extent.runsToEnd = size == -1;
            const uint64_t available = reader.size() > extent.audioStart ? reader.size() - extent.audioStart : 0;
            extent.declaredBytes = extent.runsToEnd ? available : size >= 4 ? static_cast<uint64_t>(size) - 4 : 0;
            return extent;
        }
        if (size < 0 || static_cast<uint64_t>(size) > reader.size()) return std::nullopt;
        at += 12 + static_cast<uint64_t>(size);
    }
    return std::nullopt;
}

}  // namespace vemilo
