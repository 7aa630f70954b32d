// A second opinion from libsndfile: for a matrix of generated files, the rate, the channels and
// the frame count Vemilo reads agree with what libsndfile reports.

#include <gtest/gtest.h>
#include <sndfile.h>

#include "support/recording_reporter.h"
#include "support/temp_dir.h"
#include "support/trace_silencer.h"
#include "wav/file_slot.h"
#include "wav_writer/wav_writer.h"

namespace vemilo {
namespace {

using namespace testing;
using namespace writer;
using Bytes = std::vector<uint8_t>;

struct Variant {
    std::string name;
    Bytes bytes;
};

// Chunks that real files carry before and after their audio.
WavBuilder& withChunks(WavBuilder& builder, int placement) {
    const Bytes list = {'I', 'N', 'F', 'O', 'I', 'N', 'A', 'M', 4, 0, 0, 0, 'd', 'e', 'm', 'o'};
    switch (placement) {
        case 0: return builder.chunk("LIST", list).chunk("bext", Bytes(602, 0));
        case 1: return builder.chunk("JUNK", Bytes(27, 0)).chunk("iXML", Bytes(41, 'x'));
        default: return builder;
    }
}

std::vector<Variant> variants() {
    std::vector<Variant> out;
    int seed = 0;
    const auto add = [&](const std::string& name, const PcmFormat& format, const Bytes& extension, int placement) {
        const uint32_t frames = 700 + 13 * static_cast<uint32_t>(seed);
        const Bytes audio =
            noiseFrames(PcmFormat{1, format.channels, format.sampleRate, format.bitsPerSample}, frames, ++seed);
        WavBuilder builder;
        builder.riffHeader();
        if (placement == 0) withChunks(builder, 0);
        builder.fmt(format, extension);
        if (placement == 1) withChunks(builder, 1);
        builder.data(audio);
        if (placement == 2) withChunks(builder, 0).chunk("JUNK", Bytes(5, 0));
        out.push_back({name + " chunks " + std::to_string(placement), builder.bytes()});
    };
    for (uint16_t bits : {8, 16, 24, 32}) {
        for (uint16_t channels : {1, 2, 6, 8})
            add("int" + std::to_string(bits) + " x" + std::to_string(channels), PcmFormat{1, channels, 44100, bits}, {},
                channels % 3);
    }
    for (uint16_t bits : {32, 64}) {
        for (uint16_t channels : {1, 2, 5})
            add("float" + std::to_string(bits) + " x" + std::to_string(channels), PcmFormat{3, channels, 96000, bits},
                {}, channels % 3);
    }
    for (uint16_t channels : {2, 4, 8}) {
        add("extensible int24 x" + std::to_string(channels), PcmFormat{0xFFFE, channels, 48000, 24},
            extensibleExtension(1, 24), channels % 3);
        add("extensible float32 x" + std::to_string(channels), PcmFormat{0xFFFE, channels, 48000, 32},
            extensibleExtension(3, 32), (channels + 1) % 3);
    }
    const PcmFormat stereo{1, 2, 48000, 24};
    const Bytes audio = noiseFrames(stereo, 1234);
    out.push_back(
        {"RF64", WavBuilder().rf64Header().ds64(0, audio.size(), 1234).fmt(stereo).data(audio, 0xFFFFFFFF).bytes()});
    out.push_back({"RF64 with chunks after the data", WavBuilder()
                                                          .rf64Header()
                                                          .ds64(0, audio.size(), 1234)
                                                          .fmt(stereo)
                                                          .data(audio, 0xFFFFFFFF)
                                                          .chunk("LIST", Bytes(20, 1))
                                                          .bytes()});
    out.push_back({"streaming RIFF", WavBuilder().riffHeader(0xFFFFFFFF).fmt(stereo).data(audio, 0xFFFFFFFF).bytes()});
    return out;
}

TEST(SndfileAgreement, RateChannelsAndFrames) {
    TempDir dir;
    TraceSilencer silencer;
    RecordingReporter reporter;
    for (const Variant& variant : variants()) {
        SCOPED_TRACE(variant.name);
        const std::string path = dir.file("v.wav");
        writeFile(path, variant.bytes);
        FileSlot slot;
        EXPECT_EQ(loadFileSlot(slot, 0, path, reporter), WavError{});

        SF_INFO info{};
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
        sf_close(file);
        EXPECT_EQ(slot.format.sampleRate, static_cast<uint32_t>(info.samplerate));
        EXPECT_EQ(slot.format.channels, info.channels);
        EXPECT_EQ(slot.frameCount, static_cast<uint64_t>(info.frames));
    }
}

}  // namespace
}  // namespace vemilo
