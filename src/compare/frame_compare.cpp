#include <algorithm>
#include <cstring>
#include <string>

#include "compare/run_state.h"
#include "compare/options.h"
#include "wav/reporter.h"
#include "wav/text_format.h"

namespace vemilo {
namespace {

int64_t sampleValue(const uint8_t* bytes, uint16_t bitsPerSample) {
    switch (bitsPerSample) {
        case 8: return bytes[0];
        case 16: return static_cast<int16_t>(readU16LE(bytes));
        case 24: {
            const uint32_t raw = bytes[0] | (bytes[1] << 8) | (static_cast<uint32_t>(bytes[2]) << 16);
            return (raw & 0x800000u) ? static_cast<int64_t>(raw) - 0x1000000 : static_cast<int64_t>(raw);
        }
        default: return static_cast<int32_t>(readU32LE(bytes));
    }
}

// Index of the first frame in which the spans differ, or frameCount when they agree.
uint64_t firstDifferingFrame(const uint8_t* a, const uint8_t* b, uint64_t frameCount, uint16_t blockAlign) {
    const uint64_t bytes = frameCount * blockAlign;
    if (std::memcmp(a, b, bytes) == 0) return frameCount;
    constexpr uint64_t kChunk = 4096;
    uint64_t offset = 0;
    while (offset + kChunk < bytes && std::memcmp(a + offset, b + offset, kChunk) == 0) offset += kChunk;
    while (a[offset] == b[offset]) ++offset;
    return offset / blockAlign;
}

// Logs the end line when either file's data has ended; true then.
bool endOfData(const RunState& run, Reporter& reporter) {
    const bool ended1 = run.files[0].remaining == 0;
    const bool ended2 = run.files[1].remaining == 0;
    if (ended1 && ended2) {
        reporter.logLine("file1,file2が同時に終わりました。");
    } else if (ended1) {
        reporter.logLine("file1が終わりました。");
    } else if (ended2) {
        reporter.logLine("file2が終わりました。");
    }
    return ended1 || ended2;
}

void countEqualFrames(RunState& run, ComparisonCounts& counts, uint64_t frames) {
    run.files[0].remaining -= static_cast<uint32_t>(frames);
    run.files[1].remaining -= static_cast<uint32_t>(frames);
    counts.comparedCount += static_cast<uint32_t>(frames);
}

}  // namespace

std::string differenceLine(uint32_t frameNumber, uint64_t offset1, uint64_t offset2, const uint8_t* frame1,
                           const uint8_t* frame2, uint16_t bitsPerSample, uint16_t channels, uint16_t blockAlign) {
    std::string line = formatText("相違点 %10u(1:%llx 2:%llx)\t", frameNumber, static_cast<unsigned long long>(offset1),
                                  static_cast<unsigned long long>(offset2));
    const bool knownWidth = bitsPerSample == 8 || bitsPerSample == 16 || bitsPerSample == 24 || bitsPerSample == 32;
    const uint32_t sampleBytes = bitsPerSample / 8u;
    // Values are shown only where the frame really holds them.
    if (!knownWidth || (channels != 1 && channels != 2) || sampleBytes * channels > blockAlign) return line;
    const auto value = [&](const uint8_t* frame, int channel) {
        return static_cast<long long>(sampleValue(frame + channel * sampleBytes, bitsPerSample));
    };
    if (channels == 1) {
        line += formatText("1: %8lld\t2: %8lld", value(frame1, 0), value(frame2, 0));
    } else {
        line += formatText("1: %8lld,%8lld\t2: %8lld,%8lld", value(frame1, 0), value(frame1, 1), value(frame2, 0),
                           value(frame2, 1));
    }
    return line;
}

ComparisonCounts compareFrames(RunState& run, Reporter& reporter, const OptionSource& options) {
    ComparisonCounts counts;
    RunFile& file1 = run.files[0];
    RunFile& file2 = run.files[1];
    const FileSlot& format = file1.slot;
    const uint16_t blockAlign = format.blockAlign;

    // A file with nothing left to compare (silent throughout and zero skip on) ends at once.
    bool finished = endOfData(run, reporter);
    while (!finished) {
        if (counts.differenceCount > run.differenceLimit) {
            reporter.logLine("相違数がオーバーしました");
            break;
        }
        if (file1.reader.size() != 0) {
            const int percent = static_cast<int>(file1.reader.position() * 100 / file1.reader.size());
            if (reporter.progress() != percent) reporter.setProgress(percent);
        }
        const uint32_t bytes1 = file1.reader.read(file1.buffer.get(), run.blockBytes);
        const uint32_t bytes2 = file2.reader.read(file2.buffer.get(), run.blockBytes);
        if (bytes1 == 0) {
            reporter.logLine("読み取りエラー 0==0");
            break;
        }
        if (bytes2 == 0) {
            reporter.logLine("読み取りエラー 1==0");
            break;
        }
        reporter.processPendingEvents();

        // Only whole frames that both buffers really hold take part.
        const uint64_t blockFrames = std::min(bytes1 / blockAlign, bytes2 / blockAlign);
        const uint64_t blockStart1 = file1.reader.position() - bytes1;
        const uint64_t blockStart2 = file2.reader.position() - bytes2;
        uint64_t idx = 0;
        while (idx < blockFrames) {
            const uint64_t span = std::min<uint64_t>({blockFrames - idx, file1.remaining, file2.remaining});
            const uint8_t* at1 = file1.buffer.get() + idx * blockAlign;
            const uint8_t* at2 = file2.buffer.get() + idx * blockAlign;
            const uint64_t equal = firstDifferingFrame(at1, at2, span, blockAlign);
            countEqualFrames(run, counts, equal);
            idx += equal;
            if (equal == span) {
                if ((finished = endOfData(run, reporter))) break;
                continue;
            }

            ++counts.differenceCount;
            if (counts.differenceCount > run.differenceLimit) {
                break;  // the next round reports the overflow
            }
            if (options.detailDisplay()) {
                const uint64_t offset = idx * blockAlign;
                reporter.logLine(differenceLine(counts.comparedCount + 1, blockStart1 + offset, blockStart2 + offset,
                                            file1.buffer.get() + offset, file2.buffer.get() + offset,
                                            format.bitsPerSample, format.channels, blockAlign));
            }
            countEqualFrames(run, counts, 1);
            ++idx;
            if ((finished = endOfData(run, reporter))) break;
        }
    }

    if (counts.differenceCount == 0) {
        reporter.logLine("一致しました。");
    } else {
        reporter.logLine(formatText("相違点がありました。(%u)", counts.differenceCount));
    }
    reporter.logLine(formatText("比較サンプル(%u)", counts.comparedCount));
    return counts;
}

}  // namespace vemilo
