#include "wav/wav_header.h"

#include <cerrno>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "wav/trace.h"
#include "wav/wav_reader.h"
#include "wav_writer/wav_writer.h"

namespace vemilo {
namespace {

using namespace testing;
using namespace writer;

struct Walk {
    WavError result;
    WavFormatInfo info;
    std::string trace;
};

Walk walkBytes(const std::vector<uint8_t>& bytes) {
    TempDir dir;
    const std::string path = dir.file("f.wav");
    writeFile(path, bytes);
    Walk walk{};
    const TraceSink previous = setTraceSink([&](const std::string& line) { walk.trace += line; });
    walk.result = parseWavHeader(path, walk.info);
    setTraceSink(previous);
    return walk;
}

std::vector<uint8_t> fmtWithExtension(uint16_t formatTag, std::vector<uint8_t> extension) {
    PcmFormat format{formatTag, 2, 44100, 16};
    return WavBuilder().riffHeader().fmt(format, extension).data(std::vector<uint8_t>(8, 1)).bytes();
}

TEST(ParseWavHeader, CanonicalFileGivesFormatAndDataPosition) {
    const Walk walk = walkBytes(canonicalWav(PcmFormat{1, 2, 44100, 16}, std::vector<uint8_t>(400, 3)));
    EXPECT_EQ(walk.result.problem, WavProblem::None);
    EXPECT_EQ(walk.info.dataOffset, 44u);
    EXPECT_EQ(walk.info.dataBytes, 400u);
    EXPECT_EQ(walk.info.formatTag, 1);
    EXPECT_EQ(walk.info.format.channels, 2);
    EXPECT_EQ(walk.info.format.sampleRate, 44100u);
    EXPECT_EQ(walk.info.byteRate, 176400u);
    EXPECT_EQ(walk.info.format.blockAlign, 4);
    EXPECT_EQ(walk.info.format.bitsPerSample, 16);
    EXPECT_EQ(
        walk.trace,
        "chunk: fmt  16\n1 codecid\n2 channel\n44100 sampling rate\n176400 byte rate\n4 bytepersample\n16 bitres\n"
        "fmt pos: fmt 0x14\nskip num=0 pos:24\nskipnum=0\ndata pos: 0x24\n"
        "chunk: data 400\nzeroskip err(readsize=0) 1bc\nskipnum=-1\ndata pos: 0x1bc\n");
}

TEST(ParseWavHeader, ExtensionTraceLines) {
    struct Case {
        const char* name;
        uint16_t formatTag;
        std::vector<uint8_t> extension;
        bool extended;
        bool exbuf;
    };
    std::vector<uint8_t> ext22 = {22, 0};
    ext22.resize(24, 0);
    const Case cases[] = {
        {"18 bytes, PCM, no extension data", 1, {0, 0}, true, false},
        {"40 bytes, PCM, 22 bytes of extension", 1, ext22, true, true},
        {"40 bytes, 0xFFFE", 0xFFFE, ext22, false, false},
        {"16 bytes, PCM", 1, {}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Walk walk = walkBytes(fmtWithExtension(c.formatTag, c.extension));
        EXPECT_EQ(walk.result.problem, WavProblem::None);
        EXPECT_EQ(walk.trace.find("拡張フォーマット読み\n") != std::string::npos, c.extended);
        EXPECT_EQ(walk.trace.find("exbuf読み\n") != std::string::npos, c.exbuf);
        EXPECT_EQ(walk.info.formatTag, c.formatTag);
        // The look-ahead returns to the body start, so data is still found.
        EXPECT_EQ(walk.info.dataBytes, 8u);
    }
}

TEST(ParseWavHeader, OddDataWithAndWithoutPad) {
    const PcmFormat mono8{1, 1, 8000, 8};
    // Odd data, pad byte, then LIST: the walk finds LIST right after the pad.
    Walk padded = walkBytes(
        WavBuilder().riffHeader().fmt(mono8).data(std::vector<uint8_t>(5, 0x90)).chunk("LIST", {1, 2, 3, 4}).bytes());
    EXPECT_EQ(padded.result.problem, WavProblem::None);
    EXPECT_NE(padded.trace.find("chunk: LIST 4\n"), std::string::npos);
    EXPECT_EQ(padded.info.dataBytes, 5u);

    // Odd data as the last thing in the file, without its pad byte.
    Walk unpadded = walkBytes(WavBuilder().riffHeader().fmt(mono8).data(std::vector<uint8_t>(5, 0x90), 5).bytes());
    EXPECT_EQ(unpadded.result.problem, WavProblem::None);
    EXPECT_EQ(unpadded.info.dataBytes, 5u);
}

TEST(ParseWavHeader, StrayBytesAfterTheLastChunk) {
    for (size_t stray = 1; stray <= 4; ++stray) {
        SCOPED_TRACE(stray);
        std::vector<uint8_t> bytes = canonicalWav(PcmFormat{}, std::vector<uint8_t>(40, 5));
        bytes.push_back(0x41);
        bytes.resize(bytes.size() + stray - 1, 0x42);
        const Walk walk = walkBytes(bytes);
        EXPECT_NE(walk.result.problem, WavProblem::None);
        EXPECT_NE(walk.trace.find("chunk size error\n"), std::string::npos);
        EXPECT_EQ(walk.info.format.blockAlign, 0);  // the format reaches the record only after a full walk
        EXPECT_EQ(walk.info.format.sampleRate, 0u);
        EXPECT_EQ(walk.info.dataBytes, 40u);  // what the walk found before failing stays
    }
}

TEST(ParseWavHeader, NotRiffWave) {
    std::vector<uint8_t> notRiff = canonicalWav(PcmFormat{}, std::vector<uint8_t>(8, 1));
    notRiff[0] = 'X';
    std::vector<uint8_t> notWave = canonicalWav(PcmFormat{}, std::vector<uint8_t>(8, 1));
    notWave[11] = 'X';
    for (const auto& bytes : {notRiff, notWave, std::vector<uint8_t>{'R', 'I', 'F', 'F'}, std::vector<uint8_t>{}}) {
        const Walk walk = walkBytes(bytes);
        EXPECT_NE(walk.result.problem, WavProblem::None);
        EXPECT_EQ(walk.info.dataBytes, 0u);
        EXPECT_EQ(walk.info.format.blockAlign, 0);
        EXPECT_EQ(walk.trace, "");
    }
}

TEST(ParseWavHeader, LaterChunksOverrideAndOverlongBodiesEndTheWalk) {
    PcmFormat first{1, 2, 44100, 16};
    PcmFormat second{1, 1, 8000, 8};
    const Walk twice =
        walkBytes(WavBuilder().riffHeader().fmt(first).data({1, 2, 3, 4}).fmt(second).data({9, 9}).bytes());
    EXPECT_EQ(twice.result.problem, WavProblem::None);
    EXPECT_EQ(twice.info.format.sampleRate, 8000u);
    EXPECT_EQ(twice.info.dataBytes, 2u);

    // A data chunk that declares more than the file holds: the walk still ends normally.
    const Walk overlong =
        walkBytes(WavBuilder().riffHeader().fmt(first).data(std::vector<uint8_t>(16, 1), 0x7FFFFFF0).bytes());
    EXPECT_EQ(overlong.result.problem, WavProblem::None);
    EXPECT_EQ(overlong.info.dataBytes, 0x7FFFFFF0u);
    EXPECT_EQ(overlong.info.dataOffset, 44u);

    // Sizes with the top bit set never move the walk backwards.
    const Walk huge = walkBytes(WavBuilder()
                                    .riffHeader()
                                    .fmt(first)
                                    .data({1, 2, 3, 4})
                                    .raw({'j', 'u', 'n', 'k', 0xF8, 0xFF, 0xFF, 0xFF})
                                    .bytes());
    EXPECT_EQ(huge.result.problem, WavProblem::None);
    EXPECT_EQ(huge.info.dataBytes, 4u);
}

TEST(ParseWavHeader, ShortFmtBodyReadsNothingOfTheNextChunk) {
    // A "fmt " body of 4 bytes: the rest of the format block is zero, not the next chunk's ID.
    std::vector<uint8_t> body = {1, 0, 2, 0};
    const Walk walk = walkBytes(WavBuilder().riffHeader().chunk("fmt ", body).data({1, 2, 3, 4}).bytes());
    EXPECT_EQ(walk.result.problem, WavProblem::NoFormat);  // the walk ends, but without a rate
    EXPECT_EQ(walk.info.format.channels, 2);
    EXPECT_EQ(walk.info.format.sampleRate, 0u);
    EXPECT_EQ(walk.info.format.bitsPerSample, 0);
    EXPECT_EQ(walk.info.dataBytes, 4u);
}

TEST(ParseWavHeader, ChunkIdIsTracedAsExactlyItsFourBytes) {
    std::vector<uint8_t> bytes = canonicalWav(PcmFormat{}, {1, 2, 3, 4});
    const std::vector<uint8_t> odd = {'a', 0, 'b', 'c', 0, 0, 0, 0};
    appendBytes(bytes, odd);
    const Walk walk = walkBytes(bytes);
    EXPECT_EQ(walk.result.problem, WavProblem::None);
    EXPECT_NE(walk.trace.find(std::string("chunk: a\0bc 0\n", 14)), std::string::npos);
}

TEST(ParseWavHeader, MissingFileTracesOpenError) {
    TempDir dir;
    std::string trace;
    const TraceSink previous = setTraceSink([&](const std::string& line) { trace += line; });
    WavFormatInfo info;
    EXPECT_EQ(parseWavHeader(dir.file("nope.wav"), info), (WavError{WavProblem::CannotOpen, ENOENT, 0}));
    setTraceSink(previous);
    EXPECT_EQ(trace, "open error\n");
}

}  // namespace
}  // namespace vemilo

namespace vemilo {
namespace {

TEST(ParseWavHeader, AMillionTinyChunksCostFewReadsAndCanBeStopped) {
    using namespace writer;
    std::vector<uint8_t> bytes = canonicalWav(PcmFormat{}, std::vector<uint8_t>(400, 1));
    const std::vector<uint8_t> tiny = {'j', 'u', 'n', 'k', 0, 0, 0, 0};
    bytes.reserve(bytes.size() + tiny.size() * 1000000);
    for (int i = 0; i < 1000000; ++i) bytes.insert(bytes.end(), tiny.begin(), tiny.end());
    testing::TempDir dir;
    writeFile(dir.file("tiny.wav"), bytes);
    const TraceSink previous = setTraceSink({});

    WavFormatInfo info;
    int pauses = 0;
    const uint64_t before = WavReader::systemCallsMade();
    EXPECT_EQ(parseWavHeader(dir.file("tiny.wav"), info, [&] { return ++pauses > 0; }), WavError{});
    // A read per 64 KiB window and a seek before it, not several per chunk.
    EXPECT_LE(WavReader::systemCallsMade() - before, 2 * (bytes.size() / 65536 + 4));
    EXPECT_EQ(info.dataBytes, 400u);
    EXPECT_EQ(pauses, 1000002 / 16384);

    // The caller may stop a long walk at a pause: nothing of the format is taken then.
    WavFormatInfo stopped;
    EXPECT_EQ(parseWavHeader(dir.file("tiny.wav"), stopped, [] { return false; }).problem, WavProblem::Stopped);
    EXPECT_EQ(stopped.format.sampleRate, 0u);
    setTraceSink(previous);
}

}  // namespace
}  // namespace vemilo
