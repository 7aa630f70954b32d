#include "compare/pair_measure.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "wav/text_format.h"

// The loops below are built twice, for AVX2 and for any x86-64, and the processor's best runs.
// clang does not clone templates; there the loops are built once, for any x86-64.
#if defined(__x86_64__) && !defined(__clang__)
#define VEMILO_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VEMILO_VECTOR_CLONES
#endif

namespace vemilo {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// Dropouts whose frames are listed; the rest are counted.
constexpr size_t kListedDropouts = 8;

// A sample as a number: integers (8-bit WAV samples are unsigned) in LSB, floats as they are.
template <int Bytes, bool Float>
double sampleAt(const uint8_t* bytes) {
    if constexpr (Float && Bytes == 4) {
        float value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    } else if constexpr (Float) {
        double value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    } else if constexpr (Bytes == 1) {
        return static_cast<double>(static_cast<int>(bytes[0]) - 128);
    } else if constexpr (Bytes == 2) {
        return static_cast<int16_t>(bytes[0] | (bytes[1] << 8));
    } else if constexpr (Bytes == 3) {
        const int32_t raw = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16);
        return (raw & 0x800000) ? raw - 0x1000000 : raw;
    } else {
        return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                                    (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24));
    }
}

double decibels(double ratio) { return ratio > 0 ? 20.0 * std::log10(ratio) : -kInfinity; }

// What one chunk of one channel adds up to, integer PCM of up to 24 bits.
struct IntegerFigures {
    int64_t squared1 = 0, squaredDifference = 0;  // a chunk's worth cannot overflow: 1024 x 2^50
    int32_t largest = 0;
    int32_t largestX = 0;  // file 1's largest magnitude
    int32_t differing = 0;
    int32_t starts = 0;                  // stretches of differing samples begun in the chunk
    int32_t polarity = 1, constant = 1;  // as 0 or 1, so that the loop stays free of branches
    uint32_t bits = 0;
};

// One sample's share of the chunk's figures; starts counts a difference after an agreeing sample.
inline void addSample(IntegerFigures& f, int32_t x, int32_t y, bool agreedBefore, uint8_t& differs, uint8_t& silent,
                      int32_t dc, int32_t lowest, int32_t highest) {
    const int32_t d = x - y;
    f.squared1 += int64_t{x} * x;
    f.squaredDifference += int64_t{d} * d;
    const int32_t magnitude = d < 0 ? -d : d;
    f.largest = magnitude > f.largest ? magnitude : f.largest;
    const int32_t level = x < 0 ? -x : x;
    f.largestX = level > f.largestX ? level : f.largestX;
    f.differing += d != 0;
    f.starts += (d != 0) & agreedBefore;
    f.polarity &= (y == -x) | ((x == lowest) & (y == highest));
    f.constant &= d == dc;
    f.bits |= static_cast<uint32_t>(y);
    differs |= d != 0;
    silent &= y == 0;
}

// The chunk's figures, and the frames that differ or where file 2 is silent, in one loop the
// compiler can run several samples at a time, on the widest vector instructions the processor has.
// The first sample is taken alone, so that the loop reads the sample before from the chunk.
VEMILO_VECTOR_CLONES IntegerFigures integerFigures(const int32_t* x, const int32_t* y, size_t n, bool inStretch,
                                                   uint8_t* differs, uint8_t* silent, int32_t dc, int32_t lowest,
                                                   int32_t highest) {
    IntegerFigures f;
    if (n == 0) return f;
    addSample(f, x[0], y[0], !inStretch, differs[0], silent[0], dc, lowest, highest);
    for (size_t i = 1; i < n; ++i)
        addSample(f, x[i], y[i], x[i - 1] == y[i - 1], differs[i], silent[i], dc, lowest, highest);
    return f;
}

// Whether g x lies within the tolerance of y for both bounds of g, at every sample.
template <typename T>
VEMILO_VECTOR_CLONES bool withinGain(const T* x, const T* y, size_t n, double low, double high, double tolerance) {
    int within = 1;
    for (size_t i = 0; i < n; ++i) {
        const double xv = static_cast<double>(x[i]), yv = static_cast<double>(y[i]);
        within &= (std::fabs(low * xv - yv) <= tolerance) & (std::fabs(high * xv - yv) <= tolerance);
    }
    return within != 0;
}

// Samples that differ where the one before did not, from index 1 on.
template <typename T>
VEMILO_VECTOR_CLONES uint64_t stretchStarts(const T* x, const T* y, size_t first, size_t last) {
    uint64_t starts = 0;
    for (size_t i = first + 1; i <= last; ++i) starts += (x[i] != y[i]) & (x[i - 1] == y[i - 1]);
    return starts;
}

// Frames in which any channel differs, and in which file 2 is silent on every channel.
template <typename T>
VEMILO_VECTOR_CLONES void markFrames(const T* x, const T* y, size_t n, uint8_t* differs, uint8_t* silent) {
    for (size_t i = 0; i < n; ++i) {
        differs[i] |= x[i] != y[i];
        silent[i] &= y[i] == 0;
    }
}

// One channel's samples of a chunk, from their interleaved frames, as integers. A 24-bit sample is
// read with the byte after it, which every sample but the chunk's last has within the frames.
template <int Bytes>
VEMILO_VECTOR_CLONES void gatherIntegers(const uint8_t* bytes, size_t stride, size_t n, int32_t* out) {
    if constexpr (Bytes == 1) {
        for (size_t i = 0; i < n; ++i) out[i] = static_cast<int32_t>(bytes[i * stride]) - 128;
    } else if constexpr (Bytes == 2) {
        for (size_t i = 0; i < n; ++i) {
            int16_t value;
            std::memcpy(&value, bytes + i * stride, sizeof value);
            out[i] = value;
        }
    } else {
        for (size_t i = 0; i + 1 < n; ++i) {
            uint32_t raw;
            std::memcpy(&raw, bytes + i * stride, sizeof raw);
            out[i] = static_cast<int32_t>(raw << 8) >> 8;
        }
        if (n != 0) {
            const uint8_t* last = bytes + (n - 1) * stride;
            const uint32_t raw = last[0] | (last[1] << 8) | (static_cast<uint32_t>(last[2]) << 16);
            out[n - 1] = static_cast<int32_t>(raw << 8) >> 8;
        }
    }
}

// What a chunk of one channel adds up to where the two files agree.
struct EqualFigures {
    int64_t squared = 0;
    int32_t largest = 0;
    uint32_t bits = 0;
};

VEMILO_VECTOR_CLONES EqualFigures equalFigures(const int32_t* x, size_t n) {
    EqualFigures f;
    for (size_t i = 0; i < n; ++i) {
        f.squared += int64_t{x[i]} * x[i];
        const int32_t level = x[i] < 0 ? -x[i] : x[i];
        f.largest = level > f.largest ? level : f.largest;
        f.bits |= static_cast<uint32_t>(x[i]);
    }
    return f;
}

// Both channels of 16-bit stereo frames in one pass: a frame is one 32-bit word, split in two,
// which runs several frames at a time where the channel-by-channel gather cannot.
VEMILO_VECTOR_CLONES void gatherStereo16(const uint8_t* bytes, size_t n, int32_t* left, int32_t* right) {
    for (size_t i = 0; i < n; ++i) {
        uint32_t frame;
        std::memcpy(&frame, bytes + 4 * i, sizeof frame);
        left[i] = static_cast<int16_t>(frame & 0xFFFFu);
        right[i] = static_cast<int16_t>(frame >> 16);
    }
}

}  // namespace

struct PairMeasurer::State {
    struct Channel {
        uint64_t differing = 0;
        double largest = 0;
        double sumSquaredDifference = 0, sumSquared1 = 0;
        uint64_t first = UINT64_MAX, last = 0;
        uint64_t stretches = 0;
        bool inStretch = false;
        // The relations still possible: each dies at the first sample it does not explain.
        bool polarity = true;
        bool dc = true, dcSet = false;
        double dcValue = 0;
        uint64_t bitsOfFile2 = 0;  // every sample of file 2 OR-ed: its low zero bits are a requantisation's
        bool gain = true;
        double gainLow = -kInfinity, gainHigh = kInfinity;
        // While polarity holds, a gain of -1 holds too: its bounds wait for file 1's largest sample.
        double invertedUpTo = 0;
    };

    SampleFormat format;
    uint16_t channels = 0;
    uint16_t slotBytes = 0;  // a channel's share of a frame
    double fullScale = 1;
    double tolerance = 1.5;          // how far file 2 may lie from g x for a gain within 1 LSB
    double lowest = 0, highest = 0;  // the integer range, for the one value that cannot be negated
    bool measurable = false;
    ResidueSink* residue = nullptr;
    std::vector<float> residueFrames;
    uint64_t frames = 0, differingFrames = 0, lastDiffering = 0;
    std::vector<Channel> perChannel;
    std::vector<uint8_t> orders;  // channels x channels: file 2's c has held file 1's d so far
    // A chunk of frames, each channel's samples of each file gathered apart.
    static constexpr size_t kChunk = 1024;
    std::vector<int32_t> xi, yi;  // integer PCM of up to 24 bits
    std::vector<double> xd, yd;   // anything else
    std::vector<uint8_t> frameDiffers, file2Silent;
    bool dropouts = true, inDropout = false;
    uint64_t dropoutCount = 0;
    std::vector<uint64_t> dropoutFrames;

    // A constraint g x within the tolerance of y on one channel's gain.
    void constrainGain(Channel& channel, double x, double y) const {
        const double slack = format.isFloat() ? 1e-6 * std::max(std::fabs(x), std::fabs(y)) + 1e-30 : tolerance;
        if (x == 0) {
            channel.gain = channel.gain && std::fabs(y) <= slack;
            return;
        }
        // Already within the bounds: no division.
        const double atLow = channel.gainLow * x, atHigh = channel.gainHigh * x;
        if (std::fabs(atLow - y) <= slack && std::fabs(atHigh - y) <= slack) return;
        double low = (y - slack) / x, high = (y + slack) / x;
        if (low > high) std::swap(low, high);
        channel.gainLow = std::max(channel.gainLow, low);
        channel.gainHigh = std::min(channel.gainHigh, high);
        if (channel.gainLow > channel.gainHigh) channel.gain = false;
    }

    template <int Bytes>
    void gatherChunk(const uint8_t* frames, size_t n, int32_t* out) const;
    template <int Bytes>
    void addEqualIntegers(const uint8_t* a, uint64_t count);
    template <int Bytes, bool Float>
    void addDifferent(const uint8_t* a, const uint8_t* b, uint64_t count, uint64_t frame1);
    template <typename T>
    void measureChunk(const T* xs, const T* ys, size_t n, uint64_t frame1);
    template <typename T>
    void measureChannel(Channel& channel, const T* x, const T* y, size_t n, uint64_t frame1);
    template <typename T>
    void noteWhere(Channel& channel, const T* x, const T* y, size_t n, uint64_t frame1);
    template <typename T>
    void constrainGainOver(Channel& channel, const T* x, const T* y, size_t n);
    // The relation every differing sample of these channels bears out, if one does.
    std::optional<MeasuredCause> relation(const std::vector<int>& which) const;
    MeasuredCause cause() const;
    template <int Bytes, bool Float>
    void addEqual(const uint8_t* a, uint64_t count);
};

// A chunk of frames, each channel's samples apart: channel c at out + c x kChunk.
template <int Bytes>
void PairMeasurer::State::gatherChunk(const uint8_t* frames, size_t n, int32_t* out) const {
    if (Bytes == 2 && channels == 2 && format.blockAlign == 4) {
        gatherStereo16(frames, n, out, out + kChunk);
        return;
    }
    for (uint16_t c = 0; c < channels; ++c)
        gatherIntegers<Bytes>(frames + size_t{c} * slotBytes, format.blockAlign, n, out + size_t{c} * kChunk);
}

// Where the files agree only file 1's levels count, and which channels could stand for others.
template <int Bytes>
void PairMeasurer::State::addEqualIntegers(const uint8_t* a, uint64_t count) {
    std::vector<int32_t> largest(channels, 0);
    for (uint64_t start = 0; start < count; start += kChunk) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, count - start));
        gatherChunk<Bytes>(a + start * format.blockAlign, n, xi.data());
        for (uint16_t c = 0; c < channels; ++c) {
            const int32_t* x = xi.data() + size_t{c} * kChunk;
            const EqualFigures f = equalFigures(x, n);
            Channel& channel = perChannel[c];
            channel.sumSquared1 += static_cast<double>(f.squared);
            channel.bitsOfFile2 |= f.bits;
            largest[c] = std::max(largest[c], f.largest);
            for (uint16_t d = 0; d < channels; ++d) {
                uint8_t& alive = orders[size_t{c} * channels + d];
                const int32_t* other = xi.data() + size_t{d} * kChunk;
                if (alive && d != c) alive = std::equal(x, x + n, other);
            }
        }
    }
    for (uint16_t c = 0; c < channels; ++c) {
        Channel& channel = perChannel[c];
        channel.polarity = channel.polarity && largest[c] == 0;
        channel.dc = channel.dc && (!channel.dcSet || channel.dcValue == 0);
        channel.dcSet = true;
        channel.inStretch = false;
        if (largest[c] != 0) constrainGain(channel, largest[c], largest[c]);
    }
    inDropout = false;
}

template <int Bytes, bool Float>
void PairMeasurer::State::addEqual(const uint8_t* a, uint64_t count) {
    if constexpr (!Float && Bytes <= 3) {
        addEqualIntegers<Bytes>(a, count);
        return;
    }
    const uint16_t frameBytes = format.blockAlign;
    for (uint16_t c = 0; c < channels; ++c) {
        Channel& channel = perChannel[c];
        double sum = 0, largestX = 0;
        uint64_t bits = 0;
        bool allZero = true;
        const uint8_t* at = a + size_t{c} * slotBytes;
        for (uint64_t f = 0; f < count; ++f, at += frameBytes) {
            const double x = sampleAt<Bytes, Float>(at);
            sum += x * x;
            largestX = std::max(largestX, std::fabs(x));
            allZero = allZero && x == 0;
            if constexpr (!Float) bits |= static_cast<uint64_t>(static_cast<int64_t>(x));
        }
        channel.sumSquared1 += sum;
        channel.bitsOfFile2 |= bits;
        channel.polarity = channel.polarity && allZero;
        channel.dc = channel.dc && (!channel.dcSet || channel.dcValue == 0);
        channel.dcSet = true;
        channel.inStretch = false;
        if (largestX != 0) constrainGain(channel, largestX, largestX);
        // Another channel of file 1 could have been file 2's here only where the two agree.
        for (uint16_t d = 0; d < channels; ++d) {
            uint8_t& alive = orders[size_t{c} * channels + d];
            for (uint64_t f = 0; alive && d != c && f < count; ++f) {
                const uint8_t* frame = a + f * frameBytes;
                alive = sampleAt<Bytes, Float>(frame + size_t{c} * slotBytes) ==
                        sampleAt<Bytes, Float>(frame + size_t{d} * slotBytes);
            }
        }
    }
    inDropout = false;
}

template <int Bytes, bool Float>
void PairMeasurer::State::addDifferent(const uint8_t* a, const uint8_t* b, uint64_t count, uint64_t frame1) {
    // Integer PCM of up to 24 bits is measured in integers, anything wider in doubles.
    constexpr bool kIntegers = !Float && Bytes <= 3;
    using Value = std::conditional_t<kIntegers, int32_t, double>;
    // A chunk at a time, each channel's samples gathered so that every measure is one plain loop.
    for (uint64_t start = 0; start < count; start += kChunk) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, count - start));
        if constexpr (kIntegers) {
            gatherChunk<Bytes>(a + start * format.blockAlign, n, xi.data());
            gatherChunk<Bytes>(b + start * format.blockAlign, n, yi.data());
            measureChunk<Value>(xi.data(), yi.data(), n, frame1 + start);
        } else {
            for (uint16_t c = 0; c < channels; ++c) {
                const uint8_t* atA = a + start * format.blockAlign + size_t{c} * slotBytes;
                const uint8_t* atB = b + start * format.blockAlign + size_t{c} * slotBytes;
                double* x = xd.data() + size_t{c} * kChunk;
                double* y = yd.data() + size_t{c} * kChunk;
                for (size_t i = 0; i < n; ++i, atA += format.blockAlign, atB += format.blockAlign) {
                    x[i] = sampleAt<Bytes, Float>(atA);
                    y[i] = sampleAt<Bytes, Float>(atB);
                }
            }
            measureChunk<Value>(xd.data(), yd.data(), n, frame1 + start);
        }
    }
}

// One chunk of gathered samples: each channel's figures and relations, then what frames share.
template <typename T>
void PairMeasurer::State::measureChunk(const T* xs, const T* ys, size_t n, uint64_t frame1) {
    std::fill(frameDiffers.begin(), frameDiffers.begin() + static_cast<std::ptrdiff_t>(n), 0);
    std::fill(file2Silent.begin(), file2Silent.begin() + static_cast<std::ptrdiff_t>(n), 1);
    for (uint16_t c = 0; c < channels; ++c) {
        const T* x = xs + size_t{c} * kChunk;
        const T* y = ys + size_t{c} * kChunk;
        measureChannel(perChannel[c], x, y, n, frame1);
    }
    for (uint16_t c = 0; c < channels; ++c) {
        for (uint16_t d = 0; d < channels; ++d) {
            uint8_t& alive = orders[size_t{c} * channels + d];
            const T* y = ys + size_t{c} * kChunk;
            const T* x = xs + size_t{d} * kChunk;
            for (size_t i = 0; alive && i < n; ++i) alive = y[i] == x[i];
        }
    }
    if (residue) {
        for (size_t i = 0; i < n; ++i) {
            for (uint16_t c = 0; c < channels; ++c) {
                const size_t at = size_t{c} * kChunk + i;
                residueFrames.push_back(static_cast<float>((static_cast<double>(xs[at]) - ys[at]) / fullScale));
            }
        }
    }
    const auto differs = frameDiffers.begin(), end = frameDiffers.begin() + static_cast<std::ptrdiff_t>(n);
    differingFrames += static_cast<uint64_t>(std::count(differs, end, uint8_t{1}));
    const auto lastDiffers =
        std::find(std::make_reverse_iterator(end), std::make_reverse_iterator(differs), uint8_t{1});
    if (lastDiffers.base() != differs) lastDiffering = frame1 + static_cast<uint64_t>(lastDiffers.base() - differs - 1);
    // Dropouts are looked for only while every differing frame so far was silent in file 2.
    for (size_t i = 0; dropouts && i < n; ++i) {
        if (!frameDiffers[i]) {
            inDropout = false;
            continue;
        }
        dropouts = file2Silent[i] != 0;
        if (dropouts && !inDropout) {
            ++dropoutCount;
            if (dropoutFrames.size() < kListedDropouts) dropoutFrames.push_back(frame1 + i);
        }
        inDropout = true;
    }
}

template <typename T>
void PairMeasurer::State::measureChannel(Channel& channel, const T* x, const T* y, size_t n, uint64_t frame1) {
    if (n == 0) return;
    if (!channel.dcSet) {
        channel.dcValue = static_cast<double>(x[0]) - y[0];
        channel.dcSet = true;
    }
    uint64_t differing = 0;
    double largestX = 0;
    if constexpr (std::is_integral_v<T>) {
        const IntegerFigures f = integerFigures(x, y, n, channel.inStretch, frameDiffers.data(), file2Silent.data(),
                                                static_cast<int32_t>(channel.dcValue), static_cast<int32_t>(lowest),
                                                static_cast<int32_t>(highest));
        channel.stretches += static_cast<uint64_t>(f.starts);
        channel.sumSquared1 += static_cast<double>(f.squared1);
        channel.sumSquaredDifference += static_cast<double>(f.squaredDifference);
        channel.largest = std::max(channel.largest, static_cast<double>(f.largest));
        differing = static_cast<uint64_t>(f.differing);
        channel.polarity = channel.polarity && f.polarity;
        channel.dc = channel.dc && f.constant;
        channel.bitsOfFile2 |= f.bits;
        largestX = f.largestX;
    } else {
        double squared = 0, differences = 0, largest = channel.largest;
        bool polarity = channel.polarity, constant = channel.dc;
        for (size_t i = 0; i < n; ++i) {
            const double d = x[i] - y[i];
            squared += x[i] * x[i];
            differences += d * d;
            largest = std::max(largest, std::fabs(d));
            differing += d != 0;
            polarity = polarity && (y[i] == -x[i] || (x[i] == lowest && y[i] == highest));
            constant = constant && d == channel.dcValue;
            if (!format.isFloat()) channel.bitsOfFile2 |= static_cast<uint64_t>(static_cast<int64_t>(y[i]));
        }
        channel.sumSquared1 += squared;
        channel.sumSquaredDifference += differences;
        channel.largest = largest;
        channel.polarity = polarity;
        channel.dc = constant;
        markFrames(x, y, n, frameDiffers.data(), file2Silent.data());
    }
    channel.differing += differing;
    if (differing != 0) noteWhere(channel, x, y, n, frame1);
    if (channel.gain && channel.polarity && largestX != 0) {
        channel.invertedUpTo = std::max(channel.invertedUpTo, largestX);
    } else if (channel.gain) {
        if (channel.invertedUpTo != 0) constrainGain(channel, channel.invertedUpTo, -channel.invertedUpTo);
        channel.invertedUpTo = 0;
        constrainGainOver(channel, x, y, n);
    }
    channel.inStretch = x[n - 1] != y[n - 1];
}

// Where a chunk's differences lie on one channel: its first and last, and the stretches they form.
template <typename T>
void PairMeasurer::State::noteWhere(Channel& channel, const T* x, const T* y, size_t n, uint64_t frame1) {
    size_t first = 0;
    while (x[first] == y[first]) ++first;
    size_t last = n - 1;
    while (x[last] == y[last]) --last;
    channel.first = std::min(channel.first, frame1 + first);
    channel.last = frame1 + last;
    // Integer chunks have counted their stretches with their figures.
    if constexpr (!std::is_integral_v<T>) {
        channel.stretches += (first != 0 || !channel.inStretch ? 1 : 0) + stretchStarts(x, y, first, last);
    }
}

// The gain every sample of a chunk allows: most chunks only confirm the bounds found before, at a
// multiplication a sample; those that narrow them are gone through sample by sample.
template <typename T>
void PairMeasurer::State::constrainGainOver(Channel& channel, const T* x, const T* y, size_t n) {
    if (!format.isFloat() && std::isfinite(channel.gainLow) && std::isfinite(channel.gainHigh) &&
        withinGain(x, y, n, channel.gainLow, channel.gainHigh, tolerance))
        return;
    for (size_t i = 0; channel.gain && i < n; ++i) constrainGain(channel, x[i], y[i]);
}

PairMeasurer::PairMeasurer(const SampleFormat& format, ResidueSink* residue) : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.format = format;
    s.measurable = measurable(format);
    s.residue = residue;
    if (!s.measurable) return;
    s.channels = format.channels;
    s.slotBytes = static_cast<uint16_t>(format.blockAlign / format.channels);
    if (format.isFloat()) {
        s.fullScale = 1;
    } else {
        s.fullScale = std::ldexp(1.0, format.bitsPerSample - 1);
        s.lowest = -s.fullScale;
        s.highest = s.fullScale - 1;
    }
    s.perChannel.resize(format.channels);
    s.orders.assign(size_t{format.channels} * format.channels, 1);
    const bool integers = !format.isFloat() && format.bitsPerSample <= 24;
    if (integers) {
        s.xi.resize(State::kChunk * format.channels);
        s.yi.resize(State::kChunk * format.channels);
    } else {
        s.xd.resize(State::kChunk * format.channels);
        s.yd.resize(State::kChunk * format.channels);
    }
    s.frameDiffers.resize(State::kChunk);
    s.file2Silent.resize(State::kChunk);
    if (residue) residue->begin(format.sampleRate, format.channels);
}

PairMeasurer::~PairMeasurer() = default;

bool PairMeasurer::measurable(const SampleFormat& format) {
    return format.channels != 0 &&
           (format.isDecodableInteger() || (format.isFloat() && format.blockAlign % format.channels == 0 &&
                                            format.bytesPerSample() <= format.blockAlign / format.channels));
}

void PairMeasurer::add(const uint8_t* a, const uint8_t* b, uint64_t count, uint64_t frame1, bool equal) {
    State& s = *state_;
    if (!s.measurable || count == 0) return;
    s.frames += count;
    const auto dispatch = [&](auto bytes, auto isFloat) {
        constexpr int kBytes = decltype(bytes)::value;
        constexpr bool kFloat = decltype(isFloat)::value;
        if (equal) {
            s.addEqual<kBytes, kFloat>(a, count);
            if (s.residue) s.residueFrames.assign(static_cast<size_t>(count) * s.channels, 0.0f);
        } else {
            s.addDifferent<kBytes, kFloat>(a, b, count, frame1);
        }
    };
    using I1 = std::integral_constant<int, 1>;
    using I2 = std::integral_constant<int, 2>;
    using I3 = std::integral_constant<int, 3>;
    using I4 = std::integral_constant<int, 4>;
    using I8 = std::integral_constant<int, 8>;
    using Integer = std::false_type;
    using Float = std::true_type;
    if (s.format.isFloat()) {
        s.format.bitsPerSample == 32 ? dispatch(I4{}, Float{}) : dispatch(I8{}, Float{});
    } else {
        switch (s.format.bitsPerSample) {
            case 8: dispatch(I1{}, Integer{}); break;
            case 16: dispatch(I2{}, Integer{}); break;
            case 24: dispatch(I3{}, Integer{}); break;
            default: dispatch(I4{}, Integer{}); break;
        }
    }
    if (s.residue && !s.residueFrames.empty()) {
        s.residue->add(s.residueFrames.data(), s.residueFrames.size() / s.channels);
        s.residueFrames.clear();
    }
}

}  // namespace vemilo

namespace vemilo {
namespace {

using Kind = MeasuredCause::Kind;

// A permutation of channels other than the identity under which file 2's channels were file 1's
// throughout; empty when there is none. Small channel counts only: 8 at the most.
std::vector<int> swappedOrder(const std::vector<uint8_t>& orders, int channels) {
    if (channels < 2 || channels > 8) return {};
    std::vector<int> order(static_cast<size_t>(channels));
    for (int c = 0; c < channels; ++c) order[static_cast<size_t>(c)] = c;
    while (std::next_permutation(order.begin(), order.end())) {
        bool holds = true;
        for (int c = 0; c < channels && holds; ++c)
            holds = orders[static_cast<size_t>(c) * static_cast<size_t>(channels) +
                           static_cast<size_t>(order[static_cast<size_t>(c)])] != 0;
        if (holds) return order;
    }
    return {};
}

}  // namespace

std::optional<MeasuredCause> PairMeasurer::State::relation(const std::vector<int>& which) const {
    const auto every = [&](auto holds) {
        return std::all_of(which.begin(), which.end(),
                           [&](int c) { return holds(perChannel[static_cast<size_t>(c)]); });
    };
    MeasuredCause cause;
    if (every([](const Channel& c) { return c.polarity; })) {
        cause.kind = Kind::PolarityInverted;
        return cause;
    }
    if (every([](const Channel& c) { return c.gain; })) {
        double low = -kInfinity, high = kInfinity;
        bool holds = true;
        for (int c : which) {
            Channel channel = perChannel[static_cast<size_t>(c)];
            if (channel.invertedUpTo != 0) constrainGain(channel, channel.invertedUpTo, -channel.invertedUpTo);
            holds = holds && channel.gain;
            low = std::max(low, channel.gainLow);
            high = std::min(high, channel.gainHigh);
        }
        // A gain of one is no gain: such differences are rounding, named below.
        if (holds && low <= high && !(low <= 1 && 1 <= high) && std::isfinite(low) && std::isfinite(high)) {
            cause.kind = Kind::Gain;
            cause.gainDb = decibels(std::fabs((low + high) / 2));
            return cause;
        }
    }
    if (every([](const Channel& c) { return c.dc && c.dcSet; }) &&
        !every([](const Channel& c) { return c.dcValue == 0; })) {
        cause.kind = Kind::DcOffset;
        for (int c : which) cause.offsets.push_back(-perChannel[static_cast<size_t>(c)].dcValue);
        return cause;
    }
    if (format.isFloat()) return std::nullopt;
    int zeroBits = format.bitsPerSample;
    for (int c : which) {
        const uint64_t bits = perChannel[static_cast<size_t>(c)].bitsOfFile2;
        if (bits != 0) zeroBits = std::min(zeroBits, __builtin_ctzll(bits));
    }
    const double step = std::ldexp(1.0, zeroBits);
    if (zeroBits >= 1 && zeroBits < format.bitsPerSample && every([&](const Channel& c) { return c.largest < step; })) {
        cause.kind = Kind::Requantised;
        cause.bits = static_cast<uint16_t>(format.bitsPerSample - zeroBits);
        return cause;
    }
    if (every([](const Channel& c) { return c.largest <= 1; })) {
        cause.kind = Kind::WithinOneLsb;
        return cause;
    }
    return std::nullopt;
}

MeasuredCause PairMeasurer::State::cause() const {
    std::vector<int> all(channels);
    for (int c = 0; c < channels; ++c) all[static_cast<size_t>(c)] = c;
    MeasuredCause found;
    if (const auto together = relation(all); together && together->kind == Kind::PolarityInverted) return *together;
    if (const std::vector<int> order = swappedOrder(orders, channels); !order.empty()) {
        found.kind = Kind::ChannelsSwapped;
        found.order = order;
        return found;
    }
    if (const auto together = relation(all)) return *together;
    if (dropouts) {
        found.kind = Kind::Dropouts;
        found.dropouts = dropoutCount;
        found.dropoutFrames = dropoutFrames;
        return found;
    }
    // One channel alone differs: its own relation, if it has one.
    std::vector<int> differing;
    for (int c = 0; c < channels; ++c) {
        if (perChannel[static_cast<size_t>(c)].differing != 0) differing.push_back(c);
    }
    if (differing.size() == 1) {
        if (auto alone = relation(differing)) {
            alone->channel = differing.front();
            return *alone;
        }
    }
    found.kind = Kind::NoSimpleRelation;
    return found;
}

uint64_t PairMeasurer::differingFrames() const { return state_->differingFrames; }

uint64_t PairMeasurer::lastDifferingFrame() const { return state_->lastDiffering; }

PairMeasureResult PairMeasurer::result() const {
    const State& s = *state_;
    PairMeasureResult result;
    result.frames = s.frames;
    result.differingFrames = s.differingFrames;
    const double frames = static_cast<double>(std::max<uint64_t>(s.frames, 1));
    for (const State::Channel& channel : s.perChannel) {
        ChannelMeasure measured;
        measured.differingSamples = channel.differing;
        measured.largest = channel.largest;
        measured.largestDbfs = decibels(channel.largest / s.fullScale);
        measured.residueRmsDbfs = decibels(std::sqrt(channel.sumSquaredDifference / frames) / s.fullScale);
        measured.nullDepthDb = channel.sumSquaredDifference == 0 ? -kInfinity
                               : channel.sumSquared1 == 0
                                   ? kInfinity
                                   : 10.0 * std::log10(channel.sumSquaredDifference / channel.sumSquared1);
        if (channel.differing != 0) {
            measured.firstFrame = channel.first;
            measured.lastFrame = channel.last;
        }
        measured.stretches = channel.stretches;
        result.largest = std::max(result.largest, channel.largest);
        result.channels.push_back(measured);
    }
    result.cause = s.differingFrames == 0 ? MeasuredCause{} : s.cause();
    result.integerPcm = s.measurable && !s.format.isFloat();
    for (const ChannelMeasure& channel : result.channels) {
        if (channel.lastFrame && (!result.lastDifferingFrame || *channel.lastFrame > *result.lastDifferingFrame))
            result.lastDifferingFrame = channel.lastFrame;
    }
    return result;
}

}  // namespace vemilo

namespace vemilo {

const char* MeasuredCause::name() const {
    switch (kind) {
        case Kind::None: return "none";
        case Kind::PolarityInverted: return "polarity_inverted";
        case Kind::ChannelsSwapped: return "channels_swapped";
        case Kind::Gain: return "gain";
        case Kind::DcOffset: return "dc_offset";
        case Kind::Requantised: return "requantised";
        case Kind::WithinOneLsb: return "within_one_lsb";
        case Kind::Dropouts: return "dropouts";
        case Kind::NoSimpleRelation: break;
    }
    return "no_simple_relation";
}

namespace {

std::string joined(const std::vector<std::string>& parts, const char* between) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : between) + part;
    return text;
}

std::string offsetsText(const std::vector<double>& offsets) {
    std::vector<std::string> parts;
    for (const double offset : offsets) parts.push_back(formatText("%+.9g", offset));
    return joined(parts, ", ");
}

std::string orderText(const std::vector<int>& order) {
    std::vector<std::string> parts;
    for (const int from : order) parts.push_back(std::to_string(from + 1));
    return joined(parts, ",");
}

std::string framesText(const std::vector<uint64_t>& frames, uint64_t count) {
    std::vector<std::string> parts;
    for (const uint64_t frame : frames) parts.push_back(std::to_string(frame + 1));
    return joined(parts, ", ") + (count > frames.size() ? ", ..." : "");
}

}  // namespace

std::string MeasuredCause::english() const {
    std::string text;
    switch (kind) {
        case Kind::None: return "nothing differs";
        case Kind::PolarityInverted: text = "polarity inverted"; break;
        case Kind::ChannelsSwapped:
            text = "channels swapped: file 2 holds file 1's channels " + orderText(order);
            break;
        case Kind::Gain: text = formatText("a constant gain of %+.2f dB", gainDb); break;
        case Kind::DcOffset: text = "a DC offset of " + offsetsText(offsets) + " (file 2 minus file 1)"; break;
        case Kind::Requantised: text = formatText("requantised to %u bits", static_cast<unsigned>(bits)); break;
        case Kind::WithinOneLsb: text = "differences of at most 1 LSB (dither or rounding)"; break;
        case Kind::Dropouts:
            text = formatText("%llu dropout%s where file 2 is silent, from frame ",
                              static_cast<unsigned long long>(dropouts), dropouts == 1 ? "" : "s") +
                   framesText(dropoutFrames, dropouts);
            break;
        case Kind::NoSimpleRelation: return "no simple relation";
    }
    return channel < 0 ? text : text + formatText(" on channel %d only", channel + 1);
}

std::string MeasuredCause::japanese() const {
    std::string text;
    switch (kind) {
        case Kind::None: return "相違なし";
        case Kind::PolarityInverted: text = "極性反転"; break;
        case Kind::ChannelsSwapped:
            text = "チャンネルの入れ替え(ファイル2はファイル1の " + orderText(order) + ")";
            break;
        case Kind::Gain: text = formatText("一定のゲイン %+.2f dB", gainDb); break;
        case Kind::DcOffset: text = "DCオフセット " + offsetsText(offsets) + " (ファイル2−ファイル1)"; break;
        case Kind::Requantised: text = formatText("%ubitへの再量子化", static_cast<unsigned>(bits)); break;
        case Kind::WithinOneLsb: text = "1LSB以内の相違(ディザか丸め)"; break;
        case Kind::Dropouts:
            text = formatText("ドロップアウト%llu箇所(ファイル2が無音): フレーム ",
                              static_cast<unsigned long long>(dropouts)) +
                   framesText(dropoutFrames, dropouts);
            break;
        case Kind::NoSimpleRelation: return "単純な関係なし";
    }
    return channel < 0 ? text : formatText("チャンネル%dのみ: ", channel + 1) + text;
}

}  // namespace vemilo
