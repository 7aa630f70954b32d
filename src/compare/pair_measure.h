#pragma once
// How much and why two files differ: the null test of a pair, measured over every frame compared.
// Per channel: the differing samples, the largest difference, the residue's RMS, the null depth,
// where the differences lie; and a cause named when one simple relation explains every differing
// sample (polarity, a permutation of channels, a gain, a DC offset, a requantisation, differences
// of at most 1 LSB, dropouts, or one of these on one channel only).

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "wav/sample_format.h"

namespace vemilo {

struct ChannelMeasure {
    uint64_t differingSamples = 0;
    // The largest difference: in LSB for integer PCM, in full-scale units (1.0) for floats.
    double largest = 0;
    double largestDbfs = 0;                         // -inf when nothing differs
    double residueRmsDbfs = 0;                      // the RMS of file 1 minus file 2, -inf when nothing differs
    double nullDepthDb = 0;                         // residue RMS against file 1's RMS; -inf when nothing differs
    std::optional<uint64_t> firstFrame, lastFrame;  // of file 1's data, from 0
    uint64_t stretches = 0;                         // runs of consecutive frames in which the channel differs
};

// The relation that explains every differing sample, when there is one.
struct MeasuredCause {
    enum class Kind : uint8_t {
        None,              // nothing differs
        PolarityInverted,  // file 2 = -file 1
        ChannelsSwapped,   // file 2's channels are file 1's in another order
        Gain,              // file 2 = round(g x file 1), within 1 LSB
        DcOffset,          // file 2 = file 1 + a constant per channel
        Requantised,       // file 2 is file 1 at fewer bits: truncated or rounded
        WithinOneLsb,      // every difference is at most 1 LSB: dither or rounding
        Dropouts,          // file 2 is silent where it differs
        NoSimpleRelation,
    };
    Kind kind = Kind::None;
    int channel = -1;             // the one channel that differs, when the relation holds there only
    double gainDb = 0;            // Gain
    std::vector<double> offsets;  // DcOffset: per channel, in LSB (full scale for floats)
    uint16_t bits = 0;            // Requantised: the depth file 2 was brought to
    std::vector<int> order;       // ChannelsSwapped: file 2's channel c holds file 1's order[c]
    uint64_t dropouts = 0;        // Dropouts: stretches, and the first frames of a few
    std::vector<uint64_t> dropoutFrames;

    std::string english() const;  // "polarity inverted", "gain -6.02 dB on channel 2 only"
    std::string japanese() const;
    const char* name() const;  // "polarity_inverted", for reports
};

struct PairMeasureResult {
    uint64_t frames = 0;  // frames measured
    std::vector<ChannelMeasure> channels;
    MeasuredCause cause;
    uint64_t differingFrames = 0;
    double largest = 0;                          // over every channel, as ChannelMeasure's
    bool integerPcm = false;                     // largest is then in LSB
    std::optional<uint64_t> lastDifferingFrame;  // of file 1
};

// Where the residue goes, frame by frame as measured: file 1 minus file 2.
class ResidueSink {
public:
    virtual ~ResidueSink() = default;
    // Before any frame: the residue's rate and channels.
    virtual void begin(uint32_t sampleRate, uint16_t channels) = 0;
    // count frames of differences, each channel a float in full-scale units, interleaved.
    virtual void add(const float* differences, uint64_t count) = 0;
};

// Takes spans of the frames compared, both files' in step, and measures them.
class PairMeasurer {
public:
    // The format both files share; nothing is measured when it is neither integer PCM nor float.
    explicit PairMeasurer(const SampleFormat& format, ResidueSink* residue = nullptr);
    ~PairMeasurer();
    PairMeasurer(const PairMeasurer&) = delete;
    PairMeasurer& operator=(const PairMeasurer&) = delete;

    static bool measurable(const SampleFormat& format);

    // count frames of each file, compared in step; frame1 is the index of a's first frame in file 1.
    // equal: the caller knows the spans are byte for byte the same.
    void add(const uint8_t* a, const uint8_t* b, uint64_t count, uint64_t frame1, bool equal = false);

    PairMeasureResult result() const;
    // Frames that differed so far, and the last of them (in file 1).
    uint64_t differingFrames() const;
    uint64_t lastDifferingFrame() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace vemilo
