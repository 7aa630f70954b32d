#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "compare/options.h"
#include "compare/run_state.h"
#include "wav/reporter.h"
#include "wav/text_format.h"
#include "wav/wav_reader.h"

namespace vemilo {
namespace {

// A sample of integer audio, from its little-endian bytes; 8-bit audio is unsigned.
int64_t integerSample(const uint8_t* bytes, uint16_t bitsPerSample) {
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

double floatSample(const uint8_t* bytes, uint16_t bitsPerSample) {
    if (bitsPerSample == 32) {
        const uint32_t raw = readU32LE(bytes);
        float value;
        std::memcpy(&value, &raw, sizeof value);
        return value;
    }
    const uint64_t raw = readU32LE(bytes) | (static_cast<uint64_t>(readU32LE(bytes + 4)) << 32);
    double value;
    std::memcpy(&value, &raw, sizeof value);
    return value;
}

// One channel's value as the detail line shows it, right-aligned in eight places.
std::string sampleText(const uint8_t* frame, int channel, const SampleFormat& format) {
    const uint8_t* bytes = frame + static_cast<size_t>(channel) * format.bytesPerSample();
    if (format.isFloat())
        return formatText(format.bitsPerSample == 32 ? "%8.9g" : "%8.17g", floatSample(bytes, format.bitsPerSample));
    return formatText("%8lld", static_cast<long long>(integerSample(bytes, format.bitsPerSample)));
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
bool endOfData(const RunState& run, Reporter& reporter, RunOutcome& outcome) {
    const bool ended1 = run.files[0].remaining == 0;
    const bool ended2 = run.files[1].remaining == 0;
    if (ended1 && ended2) {
        reporter.logLine("file1,file2が同時に終わりました。");
        outcome.end = ComparisonEnd::BothEnded;
    } else if (ended1) {
        reporter.logLine("file1が終わりました。");
        outcome.end = ComparisonEnd::File1Ended;
    } else if (ended2) {
        reporter.logLine("file2が終わりました。");
        outcome.end = ComparisonEnd::File2Ended;
    }
    return ended1 || ended2;
}

// Records where a differing frame lies and which channels differ in it, and by how much.
void noteDifference(const RunState& run, RunOutcome& outcome) {
    const FrameStream& file1 = run.files[0];
    const FrameStream& file2 = run.files[1];
    const SampleFormat& format = file1.slot.format;
    const std::array<uint64_t, 2> at = {file1.frameIndex(), file2.frameIndex()};
    if (!outcome.firstDifference) outcome.firstDifference = at;
    outcome.lastDifference = at;
    outcome.differingFrames.push_back(outcome.comparedFrames);
    outcome.differenceLevels.push_back(1.0);

    if (format.channels == 0 || format.blockAlign % format.channels != 0) return;
    const uint32_t channelBytes = format.blockAlign / format.channels;
    outcome.channelsDiffering.resize(format.channels, 0);
    const bool integer = format.isDecodableInteger();
    const bool floats = format.isFloat() && format.bytesPerSample() <= channelBytes;
    if (integer) outcome.maxAbsDifference.resize(format.channels, 0);
    double level = 0;
    for (uint32_t channel = 0; channel < format.channels; ++channel) {
        const uint8_t* a = file1.next() + static_cast<size_t>(channel) * channelBytes;
        const uint8_t* b = file2.next() + static_cast<size_t>(channel) * channelBytes;
        if (std::memcmp(a, b, channelBytes) == 0) continue;
        ++outcome.channelsDiffering[channel];
        if (integer) {
            const int64_t difference = integerSample(a, format.bitsPerSample) - integerSample(b, format.bitsPerSample);
            const uint64_t magnitude = static_cast<uint64_t>(difference < 0 ? -difference : difference);
            outcome.maxAbsDifference[channel] = std::max(outcome.maxAbsDifference[channel], magnitude);
            level = std::max(level, std::ldexp(static_cast<double>(magnitude), 1 - format.bitsPerSample));
        } else if (floats) {
            const double difference =
                std::fabs(floatSample(a, format.bitsPerSample) - floatSample(b, format.bitsPerSample));
            // NaN and infinity against a number: as large as a difference can be drawn.
            level = std::max(level, std::isfinite(difference) ? difference : 2.0);
        }
    }
    if (integer || floats) outcome.differenceLevels.back() = level;
}

// The rest of a span, from a differing frame on, measured in one pass rather than frame by frame:
// every differing frame counts, none is shown.
void measureRest(RunState& run, uint64_t count, RunOutcome& outcome) {
    FrameStream& file1 = run.files[0];
    FrameStream& file2 = run.files[1];
    const uint64_t before = run.measure->differingFrames();
    const uint64_t shift = file2.frameIndex() - file1.frameIndex();
    if (!outcome.firstDifference) outcome.firstDifference = std::array{file1.frameIndex(), file2.frameIndex()};
    run.measure->add(file1.next(), file2.next(), count, file1.frameIndex());
    outcome.differences += run.measure->differingFrames() - before;
    const uint64_t last = run.measure->lastDifferingFrame();
    outcome.lastDifference = std::array{last, last + shift};
    file1.take(count);
    file2.take(count);
    outcome.comparedFrames += count;
}

// A figure in decibels as the log shows it: "-inf" where nothing differs.
std::string decibelText(double value) {
    return std::isfinite(value) ? formatText("%.2f", value) : value < 0 ? "-inf" : "inf";
}

// The measured pair into the outcome, and its lines into the log: one per channel, then the cause.
void finishMeasure(const RunState& run, Reporter& reporter, RunOutcome& outcome) {
    outcome.measure = run.measure->result();
    outcome.tolerance = run.tolerance;
    const PairMeasureResult& measured = *outcome.measure;
    outcome.channelsDiffering.clear();
    outcome.maxAbsDifference.clear();
    for (size_t c = 0; c < measured.channels.size(); ++c) {
        const ChannelMeasure& channel = measured.channels[c];
        outcome.channelsDiffering.push_back(channel.differingSamples);
        if (measured.integerPcm) outcome.maxAbsDifference.push_back(static_cast<uint64_t>(channel.largest));
        const std::string largest =
            measured.integerPcm ? formatText("%.0fLSB", channel.largest) : formatText("%.9g", channel.largest);
        const std::string where =
            channel.firstFrame
                ? formatText(" フレーム%llu〜%llu 区間%llu", static_cast<unsigned long long>(*channel.firstFrame) + 1,
                             static_cast<unsigned long long>(*channel.lastFrame) + 1,
                             static_cast<unsigned long long>(channel.stretches))
                : std::string();
        logFormatted(reporter, "測定 チャンネル%zu: 相違%lluサンプル 最大%s(%s dBFS) 残差RMS %s dBFS ヌル深度 %s dB%s",
                     c + 1, static_cast<unsigned long long>(channel.differingSamples), largest.c_str(),
                     decibelText(channel.largestDbfs).c_str(), decibelText(channel.residueRmsDbfs).c_str(),
                     decibelText(channel.nullDepthDb).c_str(), where.c_str());
    }
    if (measured.differingFrames != 0) reporter.logLine("原因: " + measured.cause.japanese());
    if (run.tolerance && measured.integerPcm && measured.differingFrames != 0) {
        logFormatted(reporter, "許容差±%uLSB: 最大%.0fLSB、%s", *run.tolerance, measured.largest,
                     verdictOf(outcome) == Verdict::WithinTolerance ? "許容差内です。" : "許容差を超えています。");
    }
}

// The progress bar shows how much of file 1 had been read before a block.
void showProgress(uint64_t position, uint64_t fileSize, Reporter& reporter) {
    if (fileSize == 0) return;
    const int percent = static_cast<int>(std::min(position, fileSize) * 100 / fileSize);
    if (reporter.progress() != percent) reporter.setProgress(percent);
}

}  // namespace

std::string differenceLine(uint64_t frameNumber, uint64_t offset1, uint64_t offset2, const uint8_t* frame1,
                           const uint8_t* frame2, const SampleFormat& format) {
    std::string line = formatText("相違点 %10llu(1:%llx 2:%llx)\t", static_cast<unsigned long long>(frameNumber),
                                  static_cast<unsigned long long>(offset1), static_cast<unsigned long long>(offset2));
    const bool knownWidth = format.isFloat() || format.hasIntegerWidth();
    const uint32_t sampleBytes = format.bytesPerSample();
    // Values are shown only where the frame really holds them.
    if (!knownWidth || (format.channels != 1 && format.channels != 2) ||
        sampleBytes * format.channels > format.blockAlign) {
        return line;
    }
    if (format.channels == 1) {
        line += "1: " + sampleText(frame1, 0, format) + "\t2: " + sampleText(frame2, 0, format);
    } else {
        line += "1: " + sampleText(frame1, 0, format) + "," + sampleText(frame1, 1, format) +
                "\t2: " + sampleText(frame2, 0, format) + "," + sampleText(frame2, 1, format);
    }
    return line;
}

namespace {

// Reads on each file whose frames were all compared. False when the run ends here: stopped by the
// user, or a file that ran short of its declared frames.
bool refillEmptied(RunState& run, Reporter& reporter, RunOutcome& outcome) {
    FrameStream& file1 = run.files[0];
    FrameStream& file2 = run.files[1];
    bool read = false;
    for (FrameStream* file : {&file1, &file2}) {
        if (file->frames() != 0 || file->exhausted) continue;
        if (!read) showProgress(file1.bufferOffset + file1.end, file1.source->fileBytes(), reporter);
        file->refillAhead();
        read = true;
    }
    if (read) {
        // Any handler may run here: the run reads its own copies of the slots, and only the
        // detail option anew, at each difference.
        reporter.processPendingEvents();
        if (reporter.stopRequested()) {
            outcome.end = ComparisonEnd::Stopped;
            return false;
        }
    }
    // A file that ends while frames are still declared ends the comparison once the frames
    // both hold are compared; the line names the file that ran short.
    if (file1.frames() == 0) {
        reporter.logLine("読み取りエラー 0==0");
        outcome.end = ComparisonEnd::ReadError1;
        return false;
    }
    if (file2.frames() == 0) {
        reporter.logLine("読み取りエラー 1==0");
        outcome.end = ComparisonEnd::ReadError2;
        return false;
    }
    return true;
}

// The run's closing lines: the verdict, and what it does not cover.
void sayWhatWasCompared(const RunState& run, Reporter& reporter, const RunOutcome& outcome) {
    if (outcome.differences == 0 && outcome.gaps.empty()) {
        reporter.logLine("一致しました。");
    } else {
        // Each gap counts once among the differences the verdict line gives.
        const uint64_t counted = outcome.differences + uint64_t{outcome.gaps.size()};
        logFormatted(reporter, "相違点がありました。(%llu)", static_cast<unsigned long long>(counted));
    }
    // "一致しました" after zero skip or a match point covers only the frames compared: what was
    // passed over at the start is said, as the command line's report counts it.
    if (outcome.skipped[0] != 0 || outcome.skipped[1] != 0) {
        logFormatted(reporter, "比較しなかった先頭のサンプル: ファイル1 %llu、ファイル2 %llu",
                     static_cast<unsigned long long>(outcome.skipped[0]),
                     static_cast<unsigned long long>(outcome.skipped[1]));
    }
    if (!outcome.gaps.empty()) {
        uint64_t missing = 0, inserted = 0;
        for (const Gap& gap : outcome.gaps) (gap.kind == Gap::Kind::Missing ? missing : inserted) += gap.frames;
        logFormatted(reporter, "欠落%lluサンプル、挿入%lluサンプル%s", static_cast<unsigned long long>(missing),
                     static_cast<unsigned long long>(inserted),
                     outcome.differences == 0 ? "。ほかのフレームはすべて一致しました。" : "");
    }
    // The verdict alone would read as success for a truncated copy: say what was never compared.
    if (outcome.end == ComparisonEnd::File1Ended || outcome.end == ComparisonEnd::File2Ended) {
        const int wentOn = outcome.end == ComparisonEnd::File1Ended ? 2 : 1;
        logFormatted(reporter, "ファイル%dの残り%lluサンプルは比較されませんでした。", wentOn,
                     static_cast<unsigned long long>(run.files[wentOn - 1].remaining));
    }
}

// A copy cut short of its declared data, or a file changed under the run, must never pass
// whatever its frames showed.
void noteDamage(const RunState& run, RunOutcome& outcome) {
    for (int side = 0; side < 2; ++side) {
        const FrameStream& file = run.files[side];
        if (file.slot.missingDataBytes != 0) {
            outcome.damage.push_back(
                formatText("ファイル%dのデータはヘッダーが示す長さより%lluバイト短く、途中で切れています。", side + 1,
                           static_cast<unsigned long long>(file.slot.missingDataBytes)));
        }
        // The gap search reads on descriptors of its own: a file it could not open as the same one
        // was read in part from another, so nothing past its first gap can be trusted.
        const bool reopenedOther = run.gaps && run.gaps->openError(side).problem == WavProblem::Changed;
        if (file.source->identity() != file.slot.identity || reopenedOther) {
            outcome.damage.push_back(formatText("ファイル%dは比較中に変更されました。", side + 1));
        } else if (run.gaps && run.gaps->openError(side)) {
            outcome.damage.push_back(formatText("ファイル%dを再同期のために開き直せません: %s", side + 1,
                                                describeError(run.gaps->openError(side)).c_str()));
        }
        if (const std::string found = file.source->damage(); !found.empty()) {
            outcome.damage.push_back(formatText("ファイル%d: %s", side + 1, found.c_str()));
        }
    }
}

}  // namespace

void compareFrames(RunState& run, Reporter& reporter, const OptionSource& options, RunOutcome& outcome) {
    FrameStream& file1 = run.files[0];
    FrameStream& file2 = run.files[1];
    const SampleFormat& format = file1.slot.format;
    const uint16_t blockAlign = format.blockAlign;
    outcome.comparable = std::min(file1.remaining, file2.remaining);

    // The first loads were read before the match search and are compared from the start point.
    showProgress(file1.offset(), file1.source->fileBytes(), reporter);
    // A file with nothing left to compare (silent throughout and zero skip on) ends at once.
    bool finished = endOfData(run, reporter, outcome);
    // Where the frames compared since the last difference or gap began: a gap found later may lie
    // anywhere in between.
    uint64_t agreeingSince = file1.frameIndex();
    while (!finished) {
        if (!refillEmptied(run, reporter, outcome)) break;

        for (;;) {
            const uint64_t span = std::min({file1.frames(), file2.frames(), file1.remaining, file2.remaining});
            if (span == 0) break;
            const uint64_t equal = firstDifferingFrame(file1.next(), file2.next(), span, blockAlign);
            if (run.measure) run.measure->add(file1.next(), file2.next(), equal, file1.frameIndex(), true);
            file1.take(equal);
            file2.take(equal);
            outcome.comparedFrames += equal;
            // Past the difference limit a measured run goes on, but looks for no more gaps.
            const bool withinLimit = outcome.differences < run.differenceLimit;
            if (equal < span && run.resync.windowFrames != 0 && withinLimit) {
                if (!run.gaps) run.gaps = std::make_unique<GapSearch>(file1.slot, file2.slot, run.resync);
                if (const std::optional<Gap> gap = run.gaps->find(file1.frameIndex(), file2.frameIndex(),
                                                                  file1.remaining, file2.remaining, agreeingSince)) {
                    outcome.gaps.push_back(*gap);
                    reporter.logLine(gapLine(*gap));
                    (gap->kind == Gap::Kind::Missing ? file1 : file2).skip(gap->frames);
                    agreeingSince = file1.frameIndex();
                    if ((finished = endOfData(run, reporter, outcome))) break;
                    continue;
                }
            }
            if (equal < span && run.measure && (!withinLimit || !options.detailDisplay())) {
                measureRest(run, span - equal, outcome);
                agreeingSince = file1.frameIndex();
            } else if (equal < span) {
                ++outcome.differences;
                if (outcome.differences > run.differenceLimit) {
                    reporter.logLine("相違数がオーバーしました");
                    outcome.end = ComparisonEnd::LimitExceeded;
                    finished = true;
                    break;
                }
                if (options.detailDisplay()) {
                    reporter.logLine(differenceLine(outcome.comparedFrames + 1, file1.offset(), file2.offset(),
                                                    file1.next(), file2.next(), format));
                }
                noteDifference(run, outcome);
                if (run.measure) run.measure->add(file1.next(), file2.next(), 1, file1.frameIndex());
                file1.take(1);
                file2.take(1);
                ++outcome.comparedFrames;
                agreeingSince = file1.frameIndex();
            }
            if ((finished = endOfData(run, reporter, outcome))) break;
        }
    }

    outcome.uncompared = {file1.remaining, file2.remaining};
    for (FrameStream* file : {&file1, &file2}) file->stopReadingAhead();
    sayWhatWasCompared(run, reporter, outcome);
    if (run.measure) finishMeasure(run, reporter, outcome);
    noteDamage(run, outcome);
    for (const std::string& line : outcome.damage) reporter.logLine(line);
    for (int side = 0; side < 2; ++side) {
        if (const std::string remark = run.files[side].source->remark(); !remark.empty())
            logFormatted(reporter, "ファイル%d: %s", side + 1, remark.c_str());
    }
    logFormatted(reporter, "比較サンプル(%llu)", static_cast<unsigned long long>(outcome.comparedFrames));
    reporter.setProgress(100);
}

}  // namespace vemilo
