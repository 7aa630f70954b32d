#include "wav_writer/wav_writer.h"

#include <fstream>
#include <stdexcept>

namespace vemilo::writer {
namespace {

void putU16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void putU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void putId(std::vector<uint8_t>& out, const std::string& id) {
    for (size_t i = 0; i < 4; ++i) out.push_back(i < id.size() ? static_cast<uint8_t>(id[i]) : ' ');
}

}  // namespace

uint16_t PcmFormat::frameBytes() const {
    return blockAlign != 0 ? blockAlign : static_cast<uint16_t>(channels * ((bitsPerSample + 7) / 8));
}

WavBuilder& WavBuilder::riffHeader(uint32_t riffSize) {
    putId(bytes_, "RIFF");
    putU32(bytes_, riffSize);
    putId(bytes_, "WAVE");
    fixRiffSize_ = riffSize == 0;
    return *this;
}

WavBuilder& WavBuilder::rf64Header(const std::string& id) {
    putId(bytes_, id);
    putU32(bytes_, 0xFFFFFFFFu);
    putId(bytes_, "WAVE");
    fixRiffSize_ = false;
    return *this;
}

WavBuilder& WavBuilder::ds64(uint64_t riffSize, uint64_t dataSize, uint64_t frameCount,
                             const std::vector<std::pair<std::string, uint64_t>>& table) {
    std::vector<uint8_t> body;
    for (uint64_t value : {riffSize, dataSize, frameCount}) {
        putU32(body, static_cast<uint32_t>(value));
        putU32(body, static_cast<uint32_t>(value >> 32));
    }
    putU32(body, static_cast<uint32_t>(table.size()));
    for (const auto& [id, size] : table) {
        putId(body, id);
        putU32(body, static_cast<uint32_t>(size));
        putU32(body, static_cast<uint32_t>(size >> 32));
    }
    return chunk("ds64", body);
}

std::vector<uint8_t> extensibleExtension(uint16_t subFormat, uint16_t validBits, uint32_t channelMask) {
    std::vector<uint8_t> extension;
    putU16(extension, 22);
    putU16(extension, validBits);
    putU32(extension, channelMask);
    putU16(extension, subFormat);
    for (uint8_t byte : {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}) {
        extension.push_back(byte);
    }
    return extension;
}

WavBuilder& WavBuilder::fmt(const PcmFormat& format, std::vector<uint8_t> extension) {
    std::vector<uint8_t> body;
    const uint16_t frame = format.frameBytes();
    putU16(body, format.formatTag);
    putU16(body, format.channels);
    putU32(body, format.sampleRate);
    putU32(body, format.byteRate != 0 ? format.byteRate : format.sampleRate * frame);
    putU16(body, frame);
    putU16(body, format.bitsPerSample);
    appendBytes(body, extension);
    return chunk("fmt ", body);
}

WavBuilder& WavBuilder::data(const std::vector<uint8_t>& audio, int64_t declaredSize) {
    putId(bytes_, "data");
    putU32(bytes_, static_cast<uint32_t>(declaredSize >= 0 ? declaredSize : static_cast<int64_t>(audio.size())));
    appendBytes(bytes_, audio);
    if (declaredSize < 0 && audio.size() % 2 == 1) bytes_.push_back(0);
    return *this;
}

WavBuilder& WavBuilder::chunk(const std::string& id, const std::vector<uint8_t>& body, bool pad) {
    putId(bytes_, id);
    putU32(bytes_, static_cast<uint32_t>(body.size()));
    appendBytes(bytes_, body);
    if (pad && body.size() % 2 == 1) bytes_.push_back(0);
    return *this;
}

WavBuilder& WavBuilder::raw(const std::vector<uint8_t>& bytes) {
    appendBytes(bytes_, bytes);
    return *this;
}

std::vector<uint8_t> WavBuilder::bytes() const {
    std::vector<uint8_t> out = bytes_;
    if (fixRiffSize_ && out.size() >= 8) {
        const uint32_t size = static_cast<uint32_t>(out.size() - 8);
        for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(size >> (8 * i));
    }
    return out;
}

void WavBuilder::write(const std::string& path) const { writeFile(path, bytes()); }

std::vector<uint8_t> canonicalWav(const PcmFormat& format, const std::vector<uint8_t>& audio) {
    return WavBuilder().riffHeader().fmt(format).data(audio).bytes();
}

void writeCanonicalWav(const std::string& path, const PcmFormat& format, const std::vector<uint8_t>& audio) {
    writeFile(path, canonicalWav(format, audio));
}

std::vector<uint8_t> noiseFrames(const PcmFormat& format, uint32_t frameCount, uint32_t seed) {
    const uint16_t frame = format.frameBytes();
    std::vector<uint8_t> out(static_cast<size_t>(frameCount) * frame);
    uint32_t state = seed * 2654435761u + 12345u;
    for (auto& byte : out) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    // Make sure no frame is silent: its first byte differs from the silent value.
    const uint8_t silent = format.bitsPerSample == 8 ? 0x80 : 0x00;
    for (size_t at = 0; at < out.size(); at += frame) {
        if (out[at] == silent) out[at] = static_cast<uint8_t>(silent + 1);
    }
    return out;
}

std::vector<uint8_t> silentFrames(const PcmFormat& format, uint32_t frameCount) {
    return std::vector<uint8_t>(static_cast<size_t>(frameCount) * format.frameBytes(),
                                format.bitsPerSample == 8 ? 0x80 : 0x00);
}

void appendBytes(std::vector<uint8_t>& to, const std::vector<uint8_t>& from) {
    to.insert(to.end(), from.begin(), from.end());
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace vemilo::writer
