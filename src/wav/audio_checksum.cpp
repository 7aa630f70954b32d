#include "wav/audio_checksum.h"

#include <nettle/md5.h>

#include <algorithm>
#include <memory>

#include "wav/text_format.h"
#include "wav/trace.h"
#include "wav/wav_header.h"
#include "wav/wav_reader.h"

namespace vemilo {
namespace {

constexpr uint32_t kPieceBytes = 2u << 20;

}  // namespace

AudioChecksum audioChecksum(const std::string& path) {
    AudioChecksum checksum;
    WavFormatInfo info;
    const TraceSink previous = setTraceSink({});  // the walk's trace is not this report's
    const WavError walkError = parseWavHeader(path, info);
    setTraceSink(previous);
    if (walkError) {
        checksum.problem = describeError(walkError);
        return checksum;
    }
    WavReader reader;
    if (const WavError refused = reader.open(path)) {
        checksum.problem = describeError(refused);
        return checksum;
    }
    // A data chunk declared longer than the file is a copy cut short: a checksum of what is there
    // would be stored as if it were the whole audio.
    const uint64_t present =
        reader.size() > info.dataOffset ? std::min(info.dataBytes, reader.size() - info.dataOffset) : 0;
    if (present < info.dataBytes) {
        checksum.problem = formatText("the data chunk declares %llu bytes more than the file holds",
                                      static_cast<unsigned long long>(info.dataBytes - present));
        return checksum;
    }
    reader.seek(static_cast<int64_t>(info.dataOffset), SeekOrigin::Begin);
    md5_ctx context;
    md5_init(&context);
    const auto buffer = std::make_unique<uint8_t[]>(kPieceBytes);
    for (uint64_t done = 0; done < present;) {
        const uint32_t wanted = static_cast<uint32_t>(std::min<uint64_t>(kPieceBytes, present - done));
        const uint32_t got = reader.read(buffer.get(), wanted);
        if (got == 0) {
            checksum.problem = "read error";
            return checksum;
        }
        md5_update(&context, got, buffer.get());
        done += got;
    }
    std::array<uint8_t, 16> digest{};
    md5_digest(&context, digest.size(), digest.data());
    checksum.md5 = digest;
    checksum.hasEmbeddedMd5 = info.hasEmbeddedMd5;
    checksum.embeddedMatches = info.hasEmbeddedMd5 && info.embeddedMd5 == digest;
    return checksum;
}

std::string hexDigest(const std::array<uint8_t, 16>& digest) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

}  // namespace vemilo
