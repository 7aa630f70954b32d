// Copies of a WAV master in other containers, written by libsndfile: a faithful copy is identical,
// every damaged one is found at the frame sndfile-cmp names, and the checksum of the audio is the
// same in every container and equals what metaflac reports.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <unistd.h>
#include <cstdio>

#include <fstream>
#include <functional>
#include <random>

#include "compare/comparison_run.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"
#include "support/trace_silencer.h"
#include "wav/audio_checksum.h"
#include "wav/choose_file.h"

namespace vemilo {
namespace {

using namespace testing;

struct Encoding {
    const char* name;
    int subtype;
    bool isFloat;
};
const Encoding kInt8{"int8", SF_FORMAT_PCM_S8, false};
const Encoding kInt16{"int16", SF_FORMAT_PCM_16, false};
const Encoding kInt24{"int24", SF_FORMAT_PCM_24, false};
const Encoding kFloat{"float", SF_FORMAT_FLOAT, true};
const Encoding kDouble{"double", SF_FORMAT_DOUBLE, true};

struct ContainerCase {
    const char* name;
    const char* extension;
    int major;  // with the endianness libsndfile is asked for
    std::vector<Encoding> encodings;
};

std::vector<ContainerCase> containers() {
    return {
        {"FLAC", "flac", SF_FORMAT_FLAC, {kInt8, kInt16, kInt24}},
        {"AIFF", "aiff", SF_FORMAT_AIFF, {kInt8, kInt16, kInt24, kFloat, kDouble}},
        // AIFF-C with little-endian samples ("sowt").
        {"AIFF sowt", "aifc", SF_FORMAT_AIFF | SF_ENDIAN_LITTLE, {kInt16, kInt24}},
        {"W64", "w64", SF_FORMAT_W64, {kInt16, kInt24, kFloat, kDouble}},
        {"CAF", "caf", SF_FORMAT_CAF, {kInt16, kInt24, kFloat, kDouble}},
    };
}

// Audio as libsndfile takes it: integers left-justified in 32 bits, or doubles.
struct Audio {
    int channels = 0;
    std::vector<int32_t> integers;
    std::vector<double> reals;
    uint64_t frames() const {
        return (integers.empty() ? reals.size() : integers.size()) / static_cast<size_t>(channels);
    }
};

Audio noise(const Encoding& encoding, int channels, uint64_t frames, uint32_t seed) {
    std::mt19937 random(seed);
    Audio audio;
    audio.channels = channels;
    const size_t count = static_cast<size_t>(frames) * channels;
    if (encoding.isFloat) {
        std::uniform_real_distribution<double> value(-1.0, 1.0);
        for (size_t i = 0; i < count; ++i) {
            // A float file holds floats: round through float so that both files hold the same value.
            audio.reals.push_back(encoding.subtype == SF_FORMAT_FLOAT ? static_cast<float>(value(random))
                                                                      : value(random));
        }
    } else {
        const int bits = encoding.subtype == SF_FORMAT_PCM_S8 ? 8 : encoding.subtype == SF_FORMAT_PCM_16 ? 16 : 24;
        std::uniform_int_distribution<int32_t> value(-(1 << (bits - 1)), (1 << (bits - 1)) - 1);
        for (size_t i = 0; i < count; ++i)
            audio.integers.push_back(static_cast<int32_t>(static_cast<uint32_t>(value(random)) << (32 - bits)));
    }
    return audio;
}

void writeAudio(const std::string& path, int format, int rate, const Audio& audio) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = audio.channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    const auto frames = static_cast<sf_count_t>(audio.frames());
    const sf_count_t written = audio.integers.empty() ? sf_writef_double(file, audio.reals.data(), frames)
                                                      : sf_writef_int(file, audio.integers.data(), frames);
    EXPECT_EQ(written, frames);
    sf_close(file);
}

int wavFormat(const Encoding& encoding) {
    // WAV's 8-bit samples are unsigned; libsndfile converts.
    return SF_FORMAT_WAV | (encoding.subtype == SF_FORMAT_PCM_S8 ? SF_FORMAT_PCM_U8 : encoding.subtype);
}

// What a command prints on standard output, and its exit status.
std::pair<std::string, int> runCommand(const std::string& command) {
    std::string output;
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) return {"", -1};
    char buffer[512];
    while (size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
    const int status = ::pclose(pipe);
    return {output, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

bool toolPresent(const char* tool) { return runCommand(std::string("command -v ") + tool).second == 0; }

// The frame at which sndfile-cmp says two files differ; nothing when it says they agree.
std::optional<uint64_t> sndfileCmpFrame(const std::string& a, const std::string& b) {
    const auto [output, status] = runCommand("sndfile-cmp '" + a + "' '" + b + "'");
    if (status == 0) return std::nullopt;
    const size_t at = output.find("frame offset ");
    if (at == std::string::npos) return UINT64_MAX;
    return std::stoull(output.substr(at + 13));
}

class DecodedCopies : public ::testing::Test {
protected:
    void SetUp() override {
        if (!toolPresent("sndfile-cmp") || !toolPresent("metaflac"))
            GTEST_SKIP() << "sndfile-cmp or metaflac is missing (scripts/install-deps.sh --tests installs them)";
    }

    RunOutcome compare(const std::string& path1, const std::string& path2) {
        FileSlots slots;
        host.log.clear();
        chooseFile(slots[0], 0, path1, host);
        chooseFile(slots[1], 1, path2, host);
        return runComparison(slots, host, host.options);
    }

    TempDir dir;
    RecordingReporter host;
    TraceSilencer silencer;
};

TEST_F(DecodedCopies, EveryContainerAgreesWithSndfileCmpOnFaithfulAndDamagedCopies) {
    constexpr uint64_t kFrames = 3000;
    uint32_t seed = 0;
    for (const ContainerCase& container : containers()) {
        for (const Encoding& encoding : container.encodings) {
            for (const int channels : {1, 2, 6}) {
                SCOPED_TRACE(std::string(container.name) + " " + encoding.name + " x" + std::to_string(channels));
                const std::string master = dir.file("master.wav");
                const std::string copy = dir.file(std::string("copy.") + container.extension);
                Audio audio = noise(encoding, channels, kFrames, ++seed);
                writeAudio(master, wavFormat(encoding), 44100, audio);
                writeAudio(copy, container.major | encoding.subtype, 44100, audio);

                RunOutcome outcome = compare(master, copy);
                EXPECT_EQ(verdictOf(outcome), Verdict::Identical) << host.log.back();
                EXPECT_EQ(outcome.comparedFrames, kFrames);
                EXPECT_EQ(sndfileCmpFrame(master, copy), std::nullopt);
                // The same audio has one checksum in every container.
                const AudioChecksum masterSum = audioChecksum(master);
                const AudioChecksum copySum = audioChecksum(copy);
                ASSERT_TRUE(masterSum.md5 && copySum.md5) << masterSum.problem << copySum.problem;
                EXPECT_EQ(hexDigest(*masterSum.md5), hexDigest(*copySum.md5));
                if (container.major == SF_FORMAT_FLAC) {
                    EXPECT_EQ(runCommand("metaflac --show-md5sum '" + copy + "'").first,
                              hexDigest(*copySum.md5) + "\n");
                }

                // One sample changed, by its least significant bit or by much: found where sndfile-cmp finds it.
                const uint64_t frame = 100 + seed * 37 % 2000;
                const size_t sample = static_cast<size_t>(frame) * channels + seed % channels;
                for (const bool lsb : {true, false}) {
                    Audio damaged = audio;
                    if (encoding.isFloat) {
                        double& value = damaged.reals[sample];
                        if (!lsb) {
                            value = -value + 0.5;
                        } else if (encoding.subtype == SF_FORMAT_FLOAT) {
                            value = std::nextafter(static_cast<float>(value), 2.0f);
                        } else {
                            value = std::nextafter(value, 2.0);
                        }
                    } else {
                        const int bits = encoding.subtype == SF_FORMAT_PCM_S8   ? 8
                                         : encoding.subtype == SF_FORMAT_PCM_16 ? 16
                                                                                : 24;
                        damaged.integers[sample] ^= lsb ? static_cast<int32_t>(1u << (32 - bits)) : INT32_MIN;
                    }
                    writeAudio(copy, container.major | encoding.subtype, 44100, damaged);
                    outcome = compare(master, copy);
                    EXPECT_EQ(verdictOf(outcome), Verdict::Different) << (lsb ? "lsb" : "sample");
                    ASSERT_TRUE(outcome.firstDifference);
                    EXPECT_EQ((*outcome.firstDifference)[1], frame);
                    EXPECT_EQ(outcome.differences, 1u);
                    EXPECT_EQ(sndfileCmpFrame(master, copy), frame);
                }

                // A frame dropped: every frame after it differs, and the copy ends first.
                Audio dropped = audio;
                const auto dropFrame = [&](auto& values) {
                    values.erase(values.begin() + static_cast<std::ptrdiff_t>(frame * channels),
                                 values.begin() + static_cast<std::ptrdiff_t>((frame + 1) * channels));
                };
                if (dropped.integers.empty()) {
                    dropFrame(dropped.reals);
                } else {
                    dropFrame(dropped.integers);
                }
                writeAudio(copy, container.major | encoding.subtype, 44100, dropped);
                outcome = compare(master, copy);
                EXPECT_EQ(verdictOf(outcome), Verdict::Different);
                ASSERT_TRUE(outcome.firstDifference);
                EXPECT_EQ((*outcome.firstDifference)[0], frame);
                // sndfile-cmp stops at the lengths, which differ; Vemilo says where the audio does.
                EXPECT_NE(sndfileCmpFrame(master, copy), std::nullopt);
            }
        }
    }
}

TEST_F(DecodedCopies, FormatsThatDifferAreNamedAsForTwoWavFiles) {
    const std::string master = dir.file("master.wav");
    writeAudio(master, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 44100, noise(kInt24, 2, 500, 1));
    const struct {
        const char* name;
        int format;
        Audio audio;
        RunResult result;
    } cases[] = {
        {"16-bit FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, noise(kInt16, 2, 500, 2), RunResult::BlockAlignMismatch},
        {"48 kHz FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, noise(kInt24, 2, 500, 3), RunResult::RateMismatch},
        {"mono AIFF", SF_FORMAT_AIFF | SF_FORMAT_PCM_24, noise(kInt24, 1, 500, 4), RunResult::BlockAlignMismatch},
        {"3-channel 16-bit CAF", SF_FORMAT_CAF | SF_FORMAT_PCM_16, noise(kInt16, 3, 500, 5),
         RunResult::ChannelMismatch},
        {"float W64 of 4-byte frames", SF_FORMAT_W64 | SF_FORMAT_FLOAT, noise(kFloat, 1, 500, 6),
         RunResult::BlockAlignMismatch},
    };
    for (const auto& c : cases) {
        const std::string copy = dir.file("copy");
        writeAudio(copy, c.format, c.result == RunResult::RateMismatch ? 48000 : 44100, c.audio);
        EXPECT_EQ(compare(master, copy).result, c.result) << c.name;
    }
    // Integer against float of the same frame size.
    const std::string integers = dir.file("int32.wav");
    const std::string floats = dir.file("float.caf");
    Audio audio = noise(kInt16, 2, 500, 7);
    writeAudio(integers, SF_FORMAT_WAV | SF_FORMAT_PCM_32, 44100, audio);
    writeAudio(floats, SF_FORMAT_CAF | SF_FORMAT_FLOAT, 44100, noise(kFloat, 2, 500, 7));
    const RunOutcome outcome = compare(integers, floats);
    EXPECT_EQ(outcome.result, RunResult::DataFormatMismatch);
    EXPECT_EQ(outcome.message, "データ形式が違います。");
}

// Writes bytes over a file's own from an offset.
void patch(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(static_cast<std::streamoff>(offset));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST_F(DecodedCopies, TheStoredFlacMd5IsCheckedAndDamageNeverPasses) {
    const std::string master = dir.file("master.wav");
    const std::string copy = dir.file("copy.flac");
    const Audio audio = noise(kInt16, 2, 20000, 11);
    writeAudio(master, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, audio);
    writeAudio(copy, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, audio);
    const auto hasLine = [&](const std::string& text) {
        return std::any_of(host.log.begin(), host.log.end(),
                           [&](const std::string& line) { return line.find(text) != std::string::npos; });
    };

    // Good: identical, nothing said of the MD5.
    EXPECT_EQ(verdictOf(compare(master, copy)), Verdict::Identical);
    EXPECT_FALSE(hasLine("MD5"));
    // Zero skip starts past the leading silence: the MD5 is still checked (none here, but the path runs).
    host.options.values.zeroSkip = true;
    EXPECT_EQ(verdictOf(compare(master, copy)), Verdict::Identical);
    host.options.values.zeroSkip = false;

    // The STREAMINFO MD5 lies at byte 8 + 18 of a plain FLAC file.
    constexpr uint64_t kMd5At = 26;
    std::ifstream in(copy, std::ios::binary);
    std::vector<uint8_t> stored(16);
    in.seekg(kMd5At);
    in.read(reinterpret_cast<char*>(stored.data()), 16);
    in.close();

    // Wrong: the audio agrees frame for frame, yet the copy does not hold what its encoder wrote.
    std::vector<uint8_t> wrong = stored;
    wrong[0] ^= 1;
    patch(copy, kMd5At, wrong);
    RunOutcome outcome = compare(master, copy);
    EXPECT_EQ(outcome.differences, 0u);
    EXPECT_EQ(verdictOf(outcome), Verdict::Trouble);
    EXPECT_TRUE(hasLine("ファイル2: FLACに記録されたMD5が復号した音声のMD5と一致しません"));
    EXPECT_FALSE(audioChecksum(copy).md5);
    EXPECT_NE(audioChecksum(copy).problem.find("MD5 stored in the FLAC file does not match"), std::string::npos);

    // Unset: said once, no fault.
    patch(copy, kMd5At, std::vector<uint8_t>(16, 0));
    EXPECT_EQ(verdictOf(compare(master, copy)), Verdict::Identical);
    EXPECT_EQ(std::count_if(host.log.begin(), host.log.end(),
                            [](const std::string& line) { return line == "ファイル2: FLACにMD5が記録されていません"; }),
              1);
    EXPECT_EQ(audioChecksum(copy).remark, "no MD5 is stored in the FLAC file");

    // Truncated: trouble, whatever the frames that could be decoded showed.
    patch(copy, kMd5At, stored);
    std::ifstream whole(copy, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(whole)), {});
    whole.close();
    const std::string truncated = dir.file("truncated.flac");
    std::ofstream(truncated, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size() * 2 / 3));
    outcome = compare(master, truncated);
    EXPECT_EQ(verdictOf(outcome), Verdict::Trouble);
    EXPECT_LT(outcome.comparedFrames, 20000u);
    EXPECT_TRUE(hasLine("ファイル2: FLACの音声をフレーム"));
    EXPECT_FALSE(audioChecksum(truncated).md5);

    // A flipped bit inside the audio frames: the frame's CRC fails and decoding stops there.
    const std::string corrupt = dir.file("corrupt.flac");
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x10);
    std::ofstream(corrupt, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    EXPECT_EQ(verdictOf(compare(master, corrupt)), Verdict::Trouble);
    EXPECT_EQ(verdictOf(compare(corrupt, master)), Verdict::Trouble);
}

// Zero skip starts past a copy's leading silence; the silence still counts in its MD5, so a stored
// MD5 that the audio does not match is still found.
TEST_F(DecodedCopies, AWrongMd5IsFoundPastLeadingSilence) {
    Audio audio = noise(kInt16, 2, 20000, 13);
    std::fill(audio.integers.begin(), audio.integers.begin() + 2 * 4000, 0);
    const std::string master = dir.file("master.wav"), copy = dir.file("copy.flac");
    writeAudio(master, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, audio);
    writeAudio(copy, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, audio);
    host.options.values.zeroSkip = true;
    EXPECT_EQ(verdictOf(compare(master, copy)), Verdict::Identical);
    std::vector<uint8_t> md5(16);
    std::ifstream in(copy, std::ios::binary);
    in.seekg(26);
    in.read(reinterpret_cast<char*>(md5.data()), 16);
    in.close();
    md5[5] ^= 0x40;
    patch(copy, 26, md5);
    const RunOutcome outcome = compare(master, copy);
    EXPECT_EQ(outcome.skipped[1], 4000u);
    EXPECT_EQ(verdictOf(outcome), Verdict::Trouble);
}

// A copy rewritten in place or cut while it is compared: never a pass, and the run ends.
TEST_F(DecodedCopies, ACopyRewrittenOrCutDuringTheRunIsTroubleAndTheRunEnds) {
    const Audio audio = noise(kInt16, 1, 8000 * 200, 17);  // 3 MiB: two blocks, a yield between them
    const std::string master = dir.file("master.wav"), copy = dir.file("copy.flac");
    writeAudio(master, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, audio);
    writeAudio(copy, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 8000, audio);
    std::ifstream in(copy, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    in.close();
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"rewritten with the same bytes", [&] { std::ofstream(copy, std::ios::binary | std::ios::in) << bytes[100]; }},
        {"cut to half", [&] { ASSERT_EQ(::truncate(copy.c_str(), static_cast<off_t>(bytes.size() / 2)), 0); }},
    };
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        std::ofstream(copy, std::ios::binary | std::ios::trunc) << bytes;
        FileSlots slots;
        chooseFile(slots[0], 0, master, host);
        chooseFile(slots[1], 1, copy, host);
        host.yields = 0;
        host.onYield = [&, change = change] {
            if (host.yields == 1) change();
        };
        const RunOutcome outcome = runComparison(slots, host, host.options);
        host.onYield = nullptr;
        EXPECT_EQ(verdictOf(outcome), Verdict::Trouble);
        EXPECT_GE(host.yields, 1);
    }
}

TEST_F(DecodedCopies, ContentDecidesNotTheExtension) {
    const Audio audio = noise(kInt16, 2, 800, 21);
    const std::string master = dir.file("master.wav");
    const std::string disguised = dir.file("copy.wav");  // a FLAC stream by a WAV name
    writeAudio(master, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, audio);
    writeAudio(disguised, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, audio);
    EXPECT_EQ(verdictOf(compare(master, disguised)), Verdict::Identical);
    EXPECT_NE(std::find(host.log.begin(), host.log.end(), "形式:FLAC 44100Hz 16bit pcm stereo"), host.log.end());
    EXPECT_EQ(host.info[1][1], "44100Hz 16bit stereo FLAC");

    // Companded samples are not PCM: refused, named.
    const std::string ulaw = dir.file("ulaw.aifc");
    writeAudio(ulaw, SF_FORMAT_AIFF | SF_FORMAT_ULAW, 44100, audio);
    FileSlot slot;
    EXPECT_EQ(chooseFile(slot, 0, ulaw, host).problem, WavProblem::UnsupportedEncoding);
}

TEST_F(DecodedCopies, CutAndCorruptCopiesNeverPassNorHang) {
    const Audio audio = noise(kInt16, 2, 6000, 31);
    const std::string master = dir.file("master.wav");
    writeAudio(master, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, audio);
    std::mt19937 random(5);
    for (const ContainerCase& container : containers()) {
        SCOPED_TRACE(container.name);
        const std::string copy = dir.file(std::string("whole.") + container.extension);
        writeAudio(copy, container.major | SF_FORMAT_PCM_16, 44100, audio);
        std::ifstream in(copy, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        const std::string damaged = dir.file(std::string("damaged.") + container.extension);
        const auto check = [&](const std::vector<char>& file, const std::string& what) {
            std::ofstream(damaged, std::ios::binary | std::ios::trunc)
                .write(file.data(), static_cast<std::streamsize>(file.size()));
            const RunOutcome outcome = compare(master, damaged);
            EXPECT_NE(verdictOf(outcome), Verdict::Identical) << what;
        };
        // Cut anywhere, from inside the header to the last frame.
        for (size_t length = 0; length < bytes.size(); length += 1 + length / 3)
            check(std::vector<char>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)),
                  "cut at " + std::to_string(length));
        // A byte changed in the audio. Uncompressed containers decode it as another sample; FLAC
        // fails its frame's CRC. The header's bytes are left alone, some of which no reader checks.
        for (int trial = 0; trial < 12; ++trial) {
            std::vector<char> file = bytes;
            const size_t at = bytes.size() / 4 + random() % (bytes.size() / 2);
            file[at] = static_cast<char>(file[at] ^ (1 + random() % 255));
            check(file, "byte " + std::to_string(at) + " changed");
        }
    }
}

}  // namespace
}  // namespace vemilo
