#include "wav/audio_checksum.h"

#include <nettle/md5.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "wav/decoded_file.h"
#include "wav/flac_md5.h"
#include "wav/text_format.h"
#include "wav/trace.h"
#include "wav/wav_header.h"
#include "wav/wav_reader.h"

namespace vemilo {
namespace {

constexpr uint32_t kPieceBytes = 2u << 20;

// A FLAC, AIFF or CAF file: decoded from the first frame to the last. A FLAC file's stored
// MD5 is checked on the way.
AudioChecksum decodedChecksum(const std::string& path, const DecodedInfo& info) {
    AudioChecksum checksum;
    // Cut short, as a WAV file can be: said in the same words, and no checksum of what is left.
    if (info.missingBytes != 0) {
        checksum.problem = formatText("the data chunk declares %llu bytes more than the file holds",
                                      static_cast<unsigned long long>(info.missingBytes));
        return checksum;
    }
    DecodedFrameSource source(info, 0, DecodedFrameSource::Md5::Always);
    if (const WavError refused = source.open(path)) {
        checksum.problem = describeError(refused);
        return checksum;
    }
    const uint16_t frameBytes = info.format.blockAlign;
    const uint64_t pieceFrames = std::max<uint64_t>(kPieceBytes / frameBytes, 1);
    const auto buffer = std::make_unique<uint8_t[]>(pieceFrames * frameBytes);
    while (source.readFrames(buffer.get(), pieceFrames) == pieceFrames) {
    }
    checksum.md5 = source.audioMd5();
    if (!checksum.md5) {
        checksum.problem = source.readProblem().empty() ? "read error" : source.readProblem();
        return checksum;
    }
    if (info.container == Container::Flac && !info.storedMd5) checksum.remark = "no MD5 is stored in the FLAC file";
    return checksum;
}

}  // namespace

AudioChecksum audioChecksum(const std::string& path) {
    AudioChecksum checksum;
    WavFormatInfo info;
    const TraceSink previous = setTraceSink({});  // the walk's trace is not this report's
    const WavError walkError = parseWavHeader(path, info);
    setTraceSink(previous);
    if (walkError.problem == WavProblem::NotWave) {
        DecodedInfo decoded;
        if (const WavError probed = probeDecodedFile(path, decoded); probed.problem != WavProblem::NotWave) {
            if (probed) {
                checksum.problem = describeError(probed);
                return checksum;
            }
            return decodedChecksum(path, decoded);
        }
    }
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
    // The printed checksum follows FLAC's convention; an "MD5 " chunk holds that of the stored bytes,
    // which differ for 8-bit audio only.
    md5_ctx audio;
    md5_ctx stored;
    md5_init(&audio);
    md5_init(&stored);
    const uint16_t frameBytes = std::max<uint16_t>(info.format.blockAlign, 1);
    const uint32_t pieceBytes = std::max<uint32_t>(kPieceBytes / frameBytes, 1) * frameBytes;
    const auto buffer = std::make_unique<uint8_t[]>(pieceBytes);
    std::vector<uint8_t> scratch;
    for (uint64_t done = 0; done < present;) {
        const uint32_t wanted = static_cast<uint32_t>(std::min<uint64_t>(pieceBytes, present - done));
        const uint32_t got = reader.read(buffer.get(), wanted);
        if (got == 0) {
            checksum.problem = "read error";
            return checksum;
        }
        md5_update(&stored, got, buffer.get());
        const uint64_t frames = got / frameBytes;
        if (info.format.bitsPerSample == 8 && frames * frameBytes == got) {
            updateFlacConventionMd5(&audio, buffer.get(), frames, info.format, 8, scratch);
        } else {
            // Not 8-bit, or a partial frame at the end: the bytes as they are.
            md5_update(&audio, got, buffer.get());
        }
        done += got;
    }
    std::array<uint8_t, 16> digest{};
    md5_digest(&audio, digest.size(), digest.data());
    std::array<uint8_t, 16> storedDigest{};
    md5_digest(&stored, storedDigest.size(), storedDigest.data());
    checksum.md5 = digest;
    checksum.hasEmbeddedMd5 = info.hasEmbeddedMd5;
    checksum.embeddedMatches = info.hasEmbeddedMd5 && info.embeddedMd5 == storedDigest;
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
