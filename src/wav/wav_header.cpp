#include "wav/wav_header.h"

#include <cstring>

#include "wav/trace.h"
#include "wav/wav_reader.h"

namespace vemilo {
namespace {

constexpr uint32_t kFormatBlockBytes = 16;

unsigned low32(uint64_t value) { return static_cast<unsigned>(value & 0xFFFFFFFFu); }

// Reads the fixed part of a "fmt " body, leaving the reader at the body start. Bytes past the
// body's declared size belong to the next chunk and are taken as zero.
void readFormatBlock(WavReader& reader, uint32_t bodySize, uint8_t (&block)[kFormatBlockBytes]) {
    const uint64_t bodyStart = reader.position();
    std::memset(block, 0, sizeof block);
    const uint32_t wanted = bodySize < kFormatBlockBytes ? bodySize : kFormatBlockBytes;
    (void)reader.read(block, wanted);  // bytes the file does not hold stay zero
    reader.seek(static_cast<int64_t>(bodyStart), SeekOrigin::Begin);

    trace("%d codecid\n", readU16LE(block + 0));
    trace("%d channel\n", readU16LE(block + 2));
    trace("%d sampling rate\n", static_cast<int>(readU32LE(block + 4)));
    trace("%d byte rate\n", static_cast<int>(readU32LE(block + 8)));
    trace("%d bytepersample\n", readU16LE(block + 12));
    trace("%d bitres\n", readU16LE(block + 14));

    if (bodySize > kFormatBlockBytes && readU16LE(block) == 1) {
        trace("拡張フォーマット読み\n");
        uint8_t extension[2] = {0, 0};
        reader.seek(static_cast<int64_t>(bodyStart + kFormatBlockBytes), SeekOrigin::Begin);
        (void)reader.read(extension, bodySize > kFormatBlockBytes + 1 ? 2 : 1);
        reader.seek(static_cast<int64_t>(bodyStart), SeekOrigin::Begin);
        if (readU16LE(extension) != 0) trace("exbuf読み\n");
    }
    trace("fmt pos: fmt 0x%x\n", low32(reader.position()));
}

}  // namespace

int parseWavHeader(const std::string& path, WavFormatInfo& info) {
    WavReader reader;
    if (reader.open(path) != 0) {
        trace("open error\n");
        return 1;
    }

    uint8_t header[16] = {};
    reader.seek(0, SeekOrigin::Begin);
    const uint32_t headerBytes = reader.read(header, sizeof header);
    if (headerBytes < 12 || std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0) {
        return 1;
    }
    reader.seek(12, SeekOrigin::Begin);

    uint8_t formatBlock[kFormatBlockBytes] = {};
    while (reader.position() < reader.size()) {
        uint8_t id[4] = {};
        const uint32_t idBytes = reader.read(id, 4);
        if (idBytes == 0) {
            trace("chunk read error\n");
            return 1;
        }
        uint8_t sizeBytes[4] = {};
        if (reader.read(sizeBytes, 4) == 0) {
            trace("chunk size error\n");
            return 1;
        }
        // A short size read at the end of the file keeps its missing bytes as zero.
        const uint32_t bodySize = readU32LE(sizeBytes);
        traceText("chunk: " + std::string(reinterpret_cast<const char*>(id), idBytes) + " " +
                  std::to_string(static_cast<int32_t>(bodySize)) + "\n");

        if (idBytes == 4 && std::memcmp(id, "fmt ", 4) == 0) {
            readFormatBlock(reader, bodySize, formatBlock);
        }
        if (idBytes == 4 && std::memcmp(id, "data", 4) == 0) {
            info.dataBytes = bodySize;
            info.dataOffset = low32(reader.position());
        }

        reader.seek(static_cast<int64_t>(bodySize), SeekOrigin::Current);
        const int32_t skipped = reader.skipZeroBytes();
        trace("skipnum=%d\n", skipped);
        trace("data pos: 0x%x\n", low32(reader.position()));
    }
    reader.close();

    info.formatTag = readU16LE(formatBlock + 0);
    info.channels = readU16LE(formatBlock + 2);
    info.sampleRate = readU32LE(formatBlock + 4);
    info.byteRate = readU32LE(formatBlock + 8);
    info.blockAlign = readU16LE(formatBlock + 12);
    info.bitsPerSample = readU16LE(formatBlock + 14);
    return 0;
}

}  // namespace vemilo
