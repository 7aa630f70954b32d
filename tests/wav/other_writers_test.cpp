// Copies written by other programs (flac, sox, ffmpeg) as archivists meet them: written to pipes,
// with bytes or frames appended, with trailing tags, of every FLAC depth, cut short, in float W64
// and streaming CAF. Each must pass exactly when its audio is the master's and it is whole, in a
// comparison, in --md5 and in --info.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "support/cli_run.h"
#include "support/temp_dir.h"
#include "wav_writer/wav_writer.h"

namespace vemilo {
namespace {

using namespace testing;
using namespace writer;
using Bytes = std::vector<uint8_t>;

bool toolsPresent() {
    return std::system(
               "command -v flac >/dev/null && command -v sox >/dev/null && command -v ffmpeg >/dev/null && "
               "command -v metaflac >/dev/null") == 0;
}

// A master of the given depth in its container, valid bits left-justified as WAV keeps them.
Bytes masterWav(uint16_t containerBits, uint16_t validBits, uint32_t frames) {
    PcmFormat format{1, 2, 44100, containerBits};
    Bytes audio;
    appendBytes(audio, noiseFrames(format, frames, validBits));
    const unsigned bytes = containerBits / 8, zeroBits = containerBits - validBits;
    for (size_t at = 0; zeroBits != 0 && at < audio.size(); at += bytes)
        audio[at] &= static_cast<uint8_t>(0xFF << zeroBits);
    if (validBits == containerBits) return canonicalWav(format, audio);
    PcmFormat extensible = format;
    extensible.formatTag = 0xFFFE;
    return WavBuilder().riffHeader().fmt(extensible, extensibleExtension(1, validBits, 3)).data(audio).bytes();
}

// Where a FLAC stream's first frame begins: past "fLaC" and every metadata block.
size_t firstFrameOf(const std::string& flac) {
    size_t at = 4;
    for (;;) {
        const auto byte = [&](size_t i) { return static_cast<unsigned char>(flac.at(at + i)); };
        const bool last = (byte(0) & 0x80) != 0;
        at += 4 + ((size_t{byte(1)} << 16) | (size_t{byte(2)} << 8) | byte(3));
        if (last) return at;
    }
}

class OtherWriters : public ::testing::Test {
protected:
    void SetUp() override {
        if (!toolsPresent()) GTEST_SKIP() << "flac, sox or ffmpeg is missing (scripts/install-deps.sh --tests)";
    }
    void shell(const std::string& command) {
        ASSERT_EQ(std::system(("cd '" + dir.path() + "' && " + command + " 2>/dev/null").c_str()), 0) << command;
    }
    std::string put(const std::string& name, const Bytes& bytes) { return dir.put(name, bytes); }

    // A verdict, --md5 and --info for one copy of a master.
    void check(const std::string& master, const std::string& copy, int compared, bool checksumOfMaster, int info,
               const std::string& says = "") {
        SCOPED_TRACE(copy);
        const CliRun run = runTool({master, copy});
        EXPECT_EQ(run.status, compared) << run.out.substr(run.out.size() > 600 ? run.out.size() - 600 : 0);
        if (!says.empty()) {
            EXPECT_NE((run.out + run.err).find(says), std::string::npos) << run.out << run.err;
        }
        const CliRun sums = runTool({"--md5", master, copy});
        const std::vector<std::string> lines = sums.outLines();
        if (checksumOfMaster) {
            EXPECT_EQ(sums.status, 0) << sums.err;
            ASSERT_EQ(lines.size(), 2u);
            EXPECT_EQ(lines[1].substr(0, 32), lines[0].substr(0, 32));
        } else {
            EXPECT_EQ(sums.status, 2);
            EXPECT_EQ(lines.size(), 1u) << "a copy that is not whole gets no checksum";
        }
        EXPECT_EQ(runTool({"--info", copy}).status, info);
    }

    TempDir dir;
};

TEST_F(OtherWriters, FlacStreamsReadToTheirTrueEnd) {
    const std::string master = put("master.wav", masterWav(24, 24, 40000));
    shell("flac -s -f master.wav -o whole.flac");
    shell("ffmpeg -loglevel error -i master.wav -f flac pipe:1 > ffmpeg-pipe.flac");
    shell("flac -s -c - < master.wav > flac-pipe.flac");
    const std::string whole = readWhole(dir.file("whole.flac"));
    // A total of 0 with the MD5 kept: STREAMINFO's 36-bit total lies in bytes 21 to 25.
    std::string unknownTotal = whole;
    unknownTotal[21] = static_cast<char>(unknownTotal[21] & 0xF0);
    for (int i = 22; i < 26; ++i) unknownTotal[static_cast<size_t>(i)] = 0;
    writeWhole(dir.file("unknown-total.flac"), unknownTotal);
    std::string tagged = whole + "TAG" + std::string(125, ' ');  // ID3v1: 128 bytes at the very end
    writeWhole(dir.file("id3v1.flac"), tagged);
    std::string ape = whole + "APETAGEX" + std::string("\xD0\x07\0\0\x20\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 24);
    writeWhole(dir.file("ape.flac"), ape);
    std::string appended = whole;
    for (int i = 0; i < 5000; ++i) appended += static_cast<char>((i * 2654435761u) >> 24);
    writeWhole(dir.file("bytes-appended.flac"), appended);
    put("other.wav", masterWav(24, 24, 9000));
    shell("flac -s -f other.wav -o other.flac");
    const std::string other = readWhole(dir.file("other.flac"));
    writeWhole(dir.file("frames-appended.flac"), whole + other.substr(firstFrameOf(other)));

    check(master, dir.file("whole.flac"), 0, true, 0);
    check(master, dir.file("ffmpeg-pipe.flac"), 0, true, 0);
    check(master, dir.file("flac-pipe.flac"), 0, true, 0);
    check(master, dir.file("unknown-total.flac"), 0, true, 0);
    check(master, dir.file("id3v1.flac"), 0, true, 0);
    check(master, dir.file("ape.flac"), 0, true, 0);
    check(master, dir.file("bytes-appended.flac"), 2, false, 0, "から先の5000バイトは音声ではありません");
    check(master, dir.file("frames-appended.flac"), 2, false, 0, "STREAMINFOは全40000フレームとしていますが");
    // An unknown total is not shown as a number the header never had.
    const CliRun info = runTool({"--info", dir.file("ffmpeg-pipe.flac")});
    EXPECT_NE(info.out.find("サンプル数        40000 (ヘッダーでは不明)"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("再生時間 0:00:00.907"), std::string::npos) << info.out;
}

TEST_F(OtherWriters, FlacOfEveryDepthEqualsItsMaster) {
    for (const auto& [container, valid] :
         std::vector<std::pair<uint16_t, uint16_t>>{{16, 12}, {16, 16}, {24, 20}, {24, 24}, {32, 32}}) {
        const std::string name = std::to_string(valid);
        const std::string master = put(name + ".wav", masterWav(container, valid, 30000));
        shell("flac -s -f " + name + ".wav -o " + name + ".flac");
        const std::string copy = dir.file(name + ".flac");
        FILE* bps = ::popen(("metaflac --show-bps '" + copy + "'").c_str(), "r");
        char text[16] = {};
        ASSERT_NE(std::fgets(text, sizeof text, bps), nullptr);
        ::pclose(bps);
        EXPECT_EQ(std::atoi(text), valid) << "flac wrote another depth";
        const CliRun run = runTool({master, copy});
        EXPECT_EQ(run.status, 0) << name << run.out;
        // The checksum of a stream at its own depth is metaflac's.
        FILE* sum = ::popen(("metaflac --show-md5sum '" + copy + "'").c_str(), "r");
        char stored[33] = {};
        ASSERT_EQ(std::fread(stored, 1, 32, sum), 32u);
        ::pclose(sum);
        EXPECT_EQ(runTool({"--md5", copy}).out.substr(0, 32), stored) << name;
    }
}

TEST_F(OtherWriters, CopiesCutShortAreDamageEverywhere) {
    const std::string master = put("master.wav", masterWav(24, 24, 30000));
    shell("sox master.wav copy.aiff");
    shell("sox master.wav -e floating-point -b 32 float.wav && sox float.wav copy.aifc");
    shell("ffmpeg -loglevel error -i master.wav -c:a pcm_s24le copy.w64");
    shell("ffmpeg -loglevel error -i master.wav -c:a pcm_s24be copy.caf");
    for (const char* name : {"copy.aiff", "copy.aifc", "copy.w64", "copy.caf"}) {
        const std::string whole = readWhole(dir.file(name));
        const std::string against = std::string(name) == "copy.aifc" ? dir.file("float.wav") : master;
        check(against, dir.file(name), 0, true, 0);
        for (const size_t cut : {size_t{1}, size_t{5000}, whole.size() / 2}) {
            const std::string cutCopy = dir.file("cut-" + std::to_string(cut) + "-" + name);
            writeWhole(cutCopy, whole.substr(0, whole.size() - cut));
            check(against, cutCopy, 2, false, 2, "途中で切れています");
        }
    }
}

TEST_F(OtherWriters, FloatWave64AndStreamingCafReadRight) {
    put("master.wav", masterWav(24, 24, 30000));
    shell("sox master.wav -e floating-point -b 32 f32.wav && sox master.wav -e floating-point -b 64 f64.wav");
    shell("ffmpeg -loglevel error -i master.wav -c:a pcm_f32le f32.w64");
    shell("ffmpeg -loglevel error -i master.wav -c:a pcm_f64le f64.w64");
    shell("ffmpeg -loglevel error -i master.wav -c:a pcm_s24le -f caf pipe:1 > stream.caf");
    check(dir.file("f32.wav"), dir.file("f32.w64"), 0, true, 0);
    check(dir.file("f64.wav"), dir.file("f64.w64"), 0, true, 0);
    check(dir.file("master.wav"), dir.file("stream.caf"), 0, true, 0);
    // Integers against floats are told apart, as for two WAV files.
    EXPECT_EQ(runTool({dir.file("master.wav"), dir.file("f32.w64")}).status, 2);
}

}  // namespace
}  // namespace vemilo
