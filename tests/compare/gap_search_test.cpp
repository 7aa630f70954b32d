// Resynchronisation: frames dropped from a copy or inserted into it are found, reported as gaps,
// and the comparison goes on after them.

#include <gtest/gtest.h>

#include <algorithm>

#include "compare/comparison_run.h"
#include "compare/options.h"
#include "support/recording_reporter.h"
#include "support/temp_dir.h"
#include "support/trace_silencer.h"
#include "wav/choose_file.h"
#include "wav_writer/wav_writer.h"

namespace vemilo {
namespace {

using namespace testing;
using namespace writer;
using Bytes = std::vector<uint8_t>;

struct Edit {
    enum Kind { Drop, Insert, Change } kind;
    uint64_t at;      // frame of file 1 (for Insert: before which frame of file 1 the new frames go)
    uint64_t frames;  // for Change: ignored
};

// File 1's frames with the edits applied, in order of their positions.
Bytes edited(const Bytes& audio, uint16_t frameBytes, const std::vector<Edit>& edits) {
    Bytes out;
    uint64_t next = 0;  // the next frame of file 1 to copy
    for (const Edit& edit : edits) {
        out.insert(out.end(), audio.begin() + next * frameBytes, audio.begin() + edit.at * frameBytes);
        next = edit.at;
        if (edit.kind == Edit::Drop) next += edit.frames;
        if (edit.kind == Edit::Insert) {
            for (uint64_t i = 0; i < edit.frames * frameBytes; ++i) out.push_back(static_cast<uint8_t>(0x5A + i));
        }
        if (edit.kind == Edit::Change) {
            const size_t start = out.size();
            out.insert(out.end(), audio.begin() + next * frameBytes, audio.begin() + (next + 1) * frameBytes);
            out[start] ^= 0x01;
            ++next;
        }
    }
    out.insert(out.end(), audio.begin() + next * frameBytes, audio.end());
    return out;
}

class GapSearchTest : public ::testing::Test {
protected:
    RunOutcome compare(const PcmFormat& format, const Bytes& audio1, const Bytes& audio2, uint32_t seconds = 10) {
        writeCanonicalWav(dir.file("1.wav"), format, audio1);
        writeCanonicalWav(dir.file("2.wav"), format, audio2);
        FileSlots slots;
        chooseFile(slots[0], 0, dir.file("1.wav"), host);
        chooseFile(slots[1], 1, dir.file("2.wav"), host);
        host.log.clear();
        host.options.values = ComparisonOptions::exact();
        host.options.values.resyncSeconds = seconds;
        return runComparison(slots, host, host.options);
    }

    TempDir dir;
    RecordingReporter host;
    TraceSilencer silencer;
};

TEST_F(GapSearchTest, GapsOfAnySizeAnywhereAreFoundAndTheRestAgrees) {
    const PcmFormat cd{1, 2, 44100, 16};
    const uint64_t length = 5 * 44100;
    const Bytes audio = noiseFrames(cd, length, 21);
    struct Case {
        const char* name;
        std::vector<Edit> edits;
        std::vector<Gap> gaps;
    };
    const uint64_t end = length - 20000;  // within the last second
    const Case cases[] = {
        {"1 frame dropped in the middle", {{Edit::Drop, 60000, 1}}, {{Gap::Kind::Missing, 60000, 60000, 1}}},
        {"2 frames dropped", {{Edit::Drop, 60000, 2}}, {{Gap::Kind::Missing, 60000, 60000, 2}}},
        {"4096 frames dropped", {{Edit::Drop, 60000, 4096}}, {{Gap::Kind::Missing, 60000, 60000, 4096}}},
        {"a second dropped", {{Edit::Drop, 60000, 44100}}, {{Gap::Kind::Missing, 60000, 60000, 44100}}},
        {"1 frame inserted", {{Edit::Insert, 60000, 1}}, {{Gap::Kind::Inserted, 60000, 60000, 1}}},
        {"4096 frames inserted", {{Edit::Insert, 60000, 4096}}, {{Gap::Kind::Inserted, 60000, 60000, 4096}}},
        {"a second inserted", {{Edit::Insert, 60000, 44100}}, {{Gap::Kind::Inserted, 60000, 60000, 44100}}},
        {"dropped at the start", {{Edit::Drop, 0, 4096}}, {{Gap::Kind::Missing, 0, 0, 4096}}},
        {"inserted at the start", {{Edit::Insert, 0, 2}}, {{Gap::Kind::Inserted, 0, 0, 2}}},
        {"dropped within the last second", {{Edit::Drop, end, 100}}, {{Gap::Kind::Missing, end, end, 100}}},
        {"inserted within the last second", {{Edit::Insert, end, 7}}, {{Gap::Kind::Inserted, end, end, 7}}},
        {"several gaps",
         {{Edit::Drop, 30000, 100}, {Edit::Drop, 70000, 1}, {Edit::Insert, 100000, 7}},
         {{Gap::Kind::Missing, 30000, 30000, 100},
          {Gap::Kind::Missing, 70000, 69900, 1},
          {Gap::Kind::Inserted, 100000, 99899, 7}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RunOutcome outcome = compare(cd, audio, edited(audio, 4, c.edits));
        EXPECT_EQ(outcome.gaps, c.gaps);
        EXPECT_EQ(outcome.differences, 0u);
        EXPECT_EQ(outcome.end, ComparisonEnd::BothEnded);
        EXPECT_EQ(verdictOf(outcome), Verdict::Different);
        EXPECT_NE(std::find(host.log.begin(), host.log.end(), gapLine(c.gaps.front())), host.log.end());
    }
    // The log lines, numbered from 1 as the difference lines are.
    EXPECT_EQ(gapLine({Gap::Kind::Missing, 60000, 60000, 4096}),
              "ファイル2: 4096サンプル欠落 (ファイル1の60001〜64096)");
    EXPECT_EQ(gapLine({Gap::Kind::Inserted, 60000, 60000, 1}), "ファイル2: 1サンプル挿入 (ファイル2の60001)");
}

TEST_F(GapSearchTest, ChangedSamplesSilenceAndTheWindow) {
    const PcmFormat cd{1, 2, 44100, 16};
    const Bytes noise = noiseFrames(cd, 3 * 44100, 22);

    // A changed sample before a gap is a difference; the gap is still found.
    RunOutcome outcome = compare(cd, noise, edited(noise, 4, {{Edit::Change, 50000, 0}, {Edit::Drop, 50010, 64}}));
    EXPECT_EQ(outcome.differences, 1u);
    EXPECT_EQ(outcome.gaps, (std::vector<Gap>{{Gap::Kind::Missing, 50010, 50010, 64}}));

    // A stretch that differs in place is differences, as without resynchronisation.
    outcome = compare(cd, noise, edited(noise, 4, {{Edit::Change, 1000, 0}, {Edit::Change, 90000, 0}}));
    EXPECT_EQ(outcome.differences, 2u);
    EXPECT_TRUE(outcome.gaps.empty());

    // Frames dropped inside silence could have gone anywhere in it: the earliest place is given.
    Bytes withSilence(noise.begin(), noise.begin() + 4 * 50000);
    const Bytes silence = silentFrames(cd, 1000);
    withSilence.insert(withSilence.end(), silence.begin(), silence.end());
    withSilence.insert(withSilence.end(), noise.begin() + 4 * 50000, noise.end());
    outcome = compare(cd, withSilence, edited(withSilence, 4, {{Edit::Drop, 50500, 100}}));
    EXPECT_EQ(outcome.gaps, (std::vector<Gap>{{Gap::Kind::Missing, 50000, 50000, 100}}));

    // A gap beyond the window is not a gap: everything after it differs.
    outcome = compare(cd, noise, edited(noise, 4, {{Edit::Drop, 30000, 50000}}), 1);
    EXPECT_TRUE(outcome.gaps.empty());
    EXPECT_EQ(outcome.end, ComparisonEnd::LimitExceeded);
}

// The rules that decide between readings of one difference: near the end the window still bounds
// a gap; where dropping and inserting the same number of frames explain it equally, the frames
// are missing from file 2.
TEST_F(GapSearchTest, TheWindowNearTheEndAndTheSideThatWinsATie) {
    const PcmFormat mono{1, 1, 8000, 16};
    const Bytes noise = noiseFrames(mono, 5 * 8000, 24);
    // Fewer frames than a match needs are left after these gaps: only both ends meeting tells.
    const uint64_t near = noise.size() / 2 - 150;
    RunOutcome outcome = compare(mono, noise, edited(noise, 2, {{Edit::Drop, near, 100}}), 1);
    EXPECT_EQ(outcome.gaps, (std::vector<Gap>{{Gap::Kind::Missing, near, near, 100}}));
    const uint64_t beyond = noise.size() / 2 - 8150;  // 8001 frames: one past a window of a second
    outcome = compare(mono, noise, edited(noise, 2, {{Edit::Drop, beyond, 8001}}), 1);
    EXPECT_TRUE(outcome.gaps.empty()) << "a gap longer than the window, near the end";
    EXPECT_NE(verdictOf(outcome), Verdict::Identical);

    // A stretch of period 10 with 5 frames dropped reads as well as 5 frames inserted.
    Bytes periodic = noiseFrames(mono, 1000, 25);
    const Bytes cycle = noiseFrames(mono, 10, 26);
    for (int i = 0; i < 2000; ++i) periodic.insert(periodic.end(), cycle.begin(), cycle.end());
    outcome = compare(mono, periodic, edited(periodic, 2, {{Edit::Drop, 1000, 5}}));
    ASSERT_EQ(outcome.gaps.size(), 1u);
    EXPECT_EQ(outcome.gaps[0].kind, Gap::Kind::Missing);
    EXPECT_EQ(outcome.gaps[0].frames, 5u);
}

TEST_F(GapSearchTest, EveryWidthAndChannelCount) {
    const PcmFormat formats[] = {{1, 1, 8000, 8},   {1, 1, 44100, 16}, {1, 2, 48000, 24},
                                 {3, 2, 48000, 32}, {1, 6, 48000, 24}, {3, 1, 8000, 64}};
    for (const PcmFormat& format : formats) {
        SCOPED_TRACE(::testing::Message() << format.bitsPerSample << " bits, " << format.channels << " channels");
        const Bytes audio = noiseFrames(format, 3 * format.sampleRate, 23);
        const uint64_t at = format.sampleRate;  // one second in
        const RunOutcome outcome = compare(
            format, audio, edited(audio, format.frameBytes(), {{Edit::Drop, at, 333}, {Edit::Insert, 2 * at, 5}}));
        EXPECT_EQ(outcome.gaps, (std::vector<Gap>{{Gap::Kind::Missing, at, at, 333},
                                                  {Gap::Kind::Inserted, 2 * at, 2 * at - 333, 5}}));
        EXPECT_EQ(outcome.differences, 0u);
    }
}

}  // namespace
}  // namespace vemilo
