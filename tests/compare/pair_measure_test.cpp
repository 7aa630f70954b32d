// The null test of a pair: each simple relation named over integer PCM of 16, 24 and 32 bits and
// float, in mono, stereo and 6 channels; two relations mixed, and a single changed sample, never
// explained away; the figures against sox's stats, the residue file against file 1 minus file 2.

#include "compare/pair_measure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "support/cli_run.h"
#include "support/temp_dir.h"
#include "wav_writer/wav_writer.h"

namespace vemilo {
namespace {

using namespace testing;
using Kind = MeasuredCause::Kind;

struct Layout {
    uint16_t bits;
    bool isFloat;
    uint16_t channels;
    SampleFormat format() const {
        SampleFormat f;
        f.encoding = isFloat ? SampleEncoding::IeeeFloat : SampleEncoding::IntegerPcm;
        f.code = isFloat ? 3 : 1;
        f.sampleRate = 48000;
        f.channels = channels;
        f.bitsPerSample = bits;
        f.blockAlign = static_cast<uint16_t>(channels * bits / 8);
        return f;
    }
};

// Samples as numbers, frame after frame, channel after channel; integers at half of full scale at
// most, so that a gain or an offset never clips.
using Samples = std::vector<double>;

Samples noise(const Layout& layout, size_t frames, uint32_t seed) {
    std::mt19937 random(seed);
    const double half = layout.isFloat ? 0.5 : std::ldexp(1.0, layout.bits - 2);
    std::uniform_real_distribution<double> value(-half, half);
    Samples samples(frames * layout.channels);
    for (double& sample : samples) sample = layout.isFloat ? value(random) : std::round(value(random));
    if (layout.isFloat && layout.bits == 32) {
        for (double& sample : samples) sample = static_cast<float>(sample);
    }
    return samples;
}

std::vector<uint8_t> bytesOf(const Layout& layout, const Samples& samples) {
    std::vector<uint8_t> bytes(samples.size() * layout.bits / 8);
    uint8_t* out = bytes.data();
    for (const double sample : samples) {
        if (layout.isFloat && layout.bits == 32) {
            const float value = static_cast<float>(sample);
            std::memcpy(out, &value, 4);
        } else if (layout.isFloat) {
            std::memcpy(out, &sample, 8);
        } else {
            const auto value = static_cast<int64_t>(sample);
            for (int b = 0; b < layout.bits / 8; ++b) out[b] = static_cast<uint8_t>(value >> (8 * b));
        }
        out += layout.bits / 8;
    }
    return bytes;
}

// What a pair measures, fed in spans as the engine feeds it: equal spans told apart.
PairMeasureResult measure(const Layout& layout, const Samples& one, const Samples& two) {
    PairMeasurer measurer(layout.format());
    const std::vector<uint8_t> a = bytesOf(layout, one), b = bytesOf(layout, two);
    const size_t frameBytes = layout.format().blockAlign, frames = one.size() / layout.channels;
    for (size_t start = 0; start < frames;) {
        const size_t count = std::min<size_t>(777, frames - start);
        const bool equal =
            std::memcmp(a.data() + start * frameBytes, b.data() + start * frameBytes, count * frameBytes) == 0;
        measurer.add(a.data() + start * frameBytes, b.data() + start * frameBytes, count, start, equal);
        start += count;
    }
    return measurer.result();
}

// file 2 from file 1: each sample given its frame and channel.
using Change = std::function<double(const Samples& one, size_t frame, int channel, int channels)>;

Samples changed(const Samples& one, int channels, const Change& change) {
    Samples two(one.size());
    for (size_t i = 0; i < one.size(); ++i)
        two[i] = change(one, i / channels, static_cast<int>(i % channels), channels);
    return two;
}

double at(const Samples& one, size_t frame, int channel, int channels) { return one[frame * channels + channel]; }

TEST(PairMeasure, EachSimpleRelationIsNamedInEveryLayout) {
    const Layout layouts[] = {{16, false, 1}, {16, false, 2}, {24, false, 2}, {24, false, 6},
                              {32, false, 2}, {32, true, 1},  {32, true, 2},  {64, true, 6}};
    struct Case {
        const char* name;
        Kind kind;
        Change change;
        bool integersOnly = false;
        bool twoChannelsOrMore = false;
    };
    const Case cases[] = {
        {"polarity", Kind::PolarityInverted, [](auto& s, size_t f, int c, int n) { return -at(s, f, c, n); }},
        // Integers rounded to whole LSB, floats to the precision they are stored in.
        {"gain of 0.8", Kind::Gain,
         [](auto& s, size_t f, int c, int n) {
             const double x = at(s, f, c, n);
             return std::fabs(x) < 1 ? x * 0.8 : std::round(x * 0.8);
         }},
        {"DC offset", Kind::DcOffset, [](auto& s, size_t f, int c, int n) { return at(s, f, c, n) + 7; }, true},
        {"within 1 LSB", Kind::WithinOneLsb,
         [](auto& s, size_t f, int c, int n) { return at(s, f, c, n) + static_cast<double>((f * 7 + c) % 3) - 1; },
         true},
        {"channels rotated", Kind::ChannelsSwapped,
         [](auto& s, size_t f, int c, int n) { return at(s, f, (c + 1) % n, n); }, false, true},
        {"dropouts", Kind::Dropouts,
         [](auto& s, size_t f, int c, int n) { return f % 1000 < 30 ? 0.0 : at(s, f, c, n); }},
        // Rotated over the whole of one span the engine hands over; the channels tell apart elsewhere.
        {"channels rotated over one stretch only", Kind::NoSimpleRelation,
         [](auto& s, size_t f, int c, int n) {
             return f >= 1554 && f < 2331 ? at(s, f, (c + 1) % n, n) : at(s, f, c, n);
         },
         false, true},
        {"polarity on the last channel only", Kind::PolarityInverted,
         [](auto& s, size_t f, int c, int n) { return c == n - 1 ? -at(s, f, c, n) : at(s, f, c, n); }, false, true},
        {"polarity with a DC offset", Kind::NoSimpleRelation,
         [](auto& s, size_t f, int c, int n) { return -at(s, f, c, n) + 3; }, true},
        {"gain with dropouts", Kind::NoSimpleRelation,
         [](auto& s, size_t f, int c, int n) { return f % 1000 < 30 ? 0.0 : std::round(at(s, f, c, n) * 0.5); }, true},
        {"one sample changed", Kind::NoSimpleRelation,
         [](auto& s, size_t f, int c, int n) { return at(s, f, c, n) + (f == 4321 && c == 0 ? 1000 : 0); }, true},
    };
    for (const Layout& layout : layouts) {
        for (const Case& c : cases) {
            if ((c.integersOnly && layout.isFloat) || (c.twoChannelsOrMore && layout.channels < 2)) continue;
            SCOPED_TRACE(::testing::Message()
                         << c.name << ", " << layout.bits << (layout.isFloat ? "-bit float, " : "-bit, ")
                         << layout.channels << " channels");
            const Samples one = noise(layout, 5000, layout.bits + layout.channels);
            const PairMeasureResult result = measure(layout, one, changed(one, layout.channels, c.change));
            EXPECT_EQ(result.cause.kind, c.kind) << result.cause.english();
            EXPECT_EQ(result.frames, 5000u);
            if (std::string(c.name) == "gain of 0.8") {
                EXPECT_NEAR(result.cause.gainDb, -1.94, 0.01);
            }
            if (std::string(c.name) == "polarity on the last channel only") {
                EXPECT_EQ(result.cause.channel, layout.channels - 1);
            }
            if (c.kind == Kind::Dropouts) {
                EXPECT_EQ(result.cause.dropouts, 5u);
            }
        }
    }
}

TEST(PairMeasure, RequantisationNamesTheDepthAndFiguresAreExact) {
    const Layout layout{24, false, 2};
    const Samples one = noise(layout, 4000, 3);
    // Truncated to 16 bits (the low 8 zero), and rounded to 20.
    const Samples truncated =
        changed(one, 2, [](auto& s, size_t f, int c, int n) { return std::floor(at(s, f, c, n) / 256) * 256; });
    EXPECT_EQ(measure(layout, one, truncated).cause.english(), "requantised to 16 bits");
    const Samples rounded =
        changed(one, 2, [](auto& s, size_t f, int c, int n) { return std::round(at(s, f, c, n) / 16) * 16; });
    const PairMeasureResult result = measure(layout, one, rounded);
    EXPECT_EQ(result.cause.bits, 20u);
    // Every figure from its definition: differing samples, the largest, RMS and null depth.
    for (int c = 0; c < 2; ++c) {
        uint64_t differing = 0;
        double largest = 0, squared = 0, level = 0;
        std::optional<uint64_t> first;
        for (size_t f = 0; f < 4000; ++f) {
            const double d = one[f * 2 + c] - rounded[f * 2 + c];
            differing += d != 0;
            largest = std::max(largest, std::fabs(d));
            squared += d * d;
            level += one[f * 2 + c] * one[f * 2 + c];
            if (d != 0 && !first) first = f;
        }
        const ChannelMeasure& measured = result.channels[static_cast<size_t>(c)];
        EXPECT_EQ(measured.differingSamples, differing);
        EXPECT_EQ(measured.largest, largest);
        EXPECT_NEAR(measured.residueRmsDbfs, 20 * std::log10(std::sqrt(squared / 4000) / 8388608.0), 1e-9);
        EXPECT_NEAR(measured.nullDepthDb, 10 * std::log10(squared / level), 1e-9);
        EXPECT_EQ(measured.firstFrame, first);
    }
}

// Where differences lie: stretches that run across the measurer's chunks and the engine's spans are
// counted once, in integers and in floats alike.
TEST(PairMeasure, StretchesAcrossChunksAreCountedOnce) {
    for (const Layout& layout : {Layout{16, false, 2}, Layout{24, false, 1}, Layout{32, true, 2}}) {
        SCOPED_TRACE(layout.bits);
        const Samples one = noise(layout, 4000, 11);
        const auto inStretch = [](size_t f) {
            return f == 0 || (f >= 1000 && f < 1100) || (f >= 2040 && f < 3080) || f == 3500 || f == 3502 || f == 3999;
        };
        const Samples two = changed(one, layout.channels, [&](auto& s, size_t f, int c, int n) {
            return at(s, f, c, n) + (inStretch(f) && c == 0 ? 1 : 0);
        });
        const PairMeasureResult result = measure(layout, one, two);
        const ChannelMeasure& changedChannel = result.channels[0];
        EXPECT_EQ(changedChannel.stretches, 6u);
        EXPECT_EQ(changedChannel.firstFrame, 0u);
        EXPECT_EQ(changedChannel.lastFrame, 3999u);
        EXPECT_EQ(changedChannel.differingSamples, 1u + 100 + 1040 + 3);
        if (layout.channels == 2) {
            EXPECT_EQ(result.channels[1].stretches, 0u);
        }
    }
}

class MeasuredFiles : public ::testing::Test {
protected:
    TempDir dir;
};

// sox mixes file 1 with file 2 negated and measures the null: its peak and RMS levels are ours.
TEST_F(MeasuredFiles, FiguresAgreeWithSoxStatsOnANullMix) {
    if (std::system("command -v sox >/dev/null") != 0) GTEST_SKIP() << "sox is missing";
    const writer::PcmFormat cd{1, 2, 44100, 16};
    std::vector<uint8_t> one = writer::noiseFrames(cd, 44100, 8), two = one;
    for (size_t i = 0; i < two.size(); i += 2) {
        const auto value = static_cast<int16_t>(two[i] | (two[i + 1] << 8));
        const auto quieter = static_cast<int16_t>(value / 3 + (i / 2 % 5 == 0 ? 40 : 0));
        two[i] = static_cast<uint8_t>(quieter);
        two[i + 1] = static_cast<uint8_t>(quieter >> 8);
    }
    for (size_t i = 0; i < one.size(); i += 2) {  // half scale, so that the mix never clips
        const auto value = static_cast<int16_t>(static_cast<int16_t>(one[i] | (one[i + 1] << 8)) / 2);
        one[i] = static_cast<uint8_t>(value);
        one[i + 1] = static_cast<uint8_t>(value >> 8);
    }
    writer::writeCanonicalWav(dir.file("1.wav"), cd, one);
    writer::writeCanonicalWav(dir.file("2.wav"), cd, two);
    const CliRun run = runTool({"--measure", "--json", dir.file("1.wav"), dir.file("2.wav")});
    const auto measured = nlohmann::json::parse(run.out)["pairs"][0]["measure"]["channels"];
    FILE* pipe = ::popen(
        ("sox -m -v 1 '" + dir.file("1.wav") + "' -v -1 '" + dir.file("2.wav") + "' -n stats 2>&1").c_str(), "r");
    std::string stats;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) stats += buffer;
    ::pclose(pipe);
    // "Pk lev dB      -3.12     -3.12     -3.10": overall, then each channel.
    const auto column = [&](const std::string& name, int channel) {
        std::istringstream line(stats.substr(stats.find(name) + name.size()));
        double value = 0;
        for (int i = 0; i <= channel + 1; ++i) line >> value;
        return value;
    };
    for (int c = 0; c < 2; ++c) {
        EXPECT_NEAR(measured[c]["largest_dbfs"].get<double>(), column("Pk lev dB", c), 0.05) << stats;
        EXPECT_NEAR(measured[c]["residue_rms_dbfs"].get<double>(), column("RMS lev dB", c), 0.05) << stats;
    }
}

// The residue is file 1 minus file 2, sample for sample, in full-scale floats.
TEST_F(MeasuredFiles, TheResidueFileIsFileOneMinusFileTwo) {
    const writer::PcmFormat format{1, 2, 48000, 24};
    const std::vector<uint8_t> one = writer::noiseFrames(format, 3000, 4);
    std::vector<uint8_t> two = one;
    for (size_t i = 0; i < two.size(); i += 7) two[i] ^= 0x55;
    writer::writeCanonicalWav(dir.file("1.wav"), format, one);
    writer::writeCanonicalWav(dir.file("2.wav"), format, two);
    const CliRun run = runTool({"--residue=" + dir.file("residue.wav"), dir.file("1.wav"), dir.file("2.wav")});
    EXPECT_EQ(run.status, 1) << run.err;
    const std::string residue = readWhole(dir.file("residue.wav"));
    ASSERT_EQ(residue.size(), 56 + 3000 * 2 * 4u);
    EXPECT_EQ(residue.substr(0, 4), "RIFF");
    const auto sample24 = [](const std::vector<uint8_t>& bytes, size_t i) {
        const int32_t raw = bytes[3 * i] | (bytes[3 * i + 1] << 8) | (bytes[3 * i + 2] << 16);
        return static_cast<double>((raw & 0x800000) ? raw - 0x1000000 : raw);
    };
    for (size_t i = 0; i < 6000; ++i) {
        float value;
        std::memcpy(&value, residue.data() + 56 + 4 * i, 4);
        ASSERT_EQ(value, static_cast<float>((sample24(one, i) - sample24(two, i)) / 8388608.0)) << i;
    }
    // Never over an input.
    const CliRun over = runTool({"--residue=" + dir.file("2.wav"), dir.file("1.wav"), dir.file("2.wav")});
    EXPECT_EQ(over.status, 2);
    EXPECT_EQ(readWhole(dir.file("2.wav")).size(), 44 + two.size());
}

}  // namespace
}  // namespace vemilo
