#include "archive/json_report.h"

#include <cmath>

#include "archive/json_names.h"

namespace vemilo::archive {
namespace {

using Json = nlohmann::ordered_json;

Json pairOf(const std::optional<std::array<uint64_t, 2>>& frames) {
    return frames ? Json::array({(*frames)[0], (*frames)[1]}) : Json(nullptr);
}

Json formatJson(const SampleFormat& format) {
    if (!format.usable()) return nullptr;
    return {{"rate", format.sampleRate},
            {"bits", format.bitsPerSample},
            {"channels", format.channels},
            {"data_format", encodingName(format)}};
}

// A figure in decibels; null where there is none (nothing differs, or file 1 is silent).
Json decibelsJson(double value) { return std::isfinite(value) ? Json(std::round(value * 100) / 100) : Json(nullptr); }

Json frameJson(const std::optional<uint64_t>& frame) { return frame ? Json(*frame) : Json(nullptr); }

}  // namespace

Json measureJson(const PairMeasureResult& measured) {
    Json channels = Json::array();
    for (const ChannelMeasure& channel : measured.channels) {
        channels.push_back(
            {{"differing_samples", channel.differingSamples},
             {"largest", measured.integerPcm ? Json(static_cast<uint64_t>(channel.largest)) : Json(channel.largest)},
             {"largest_dbfs", decibelsJson(channel.largestDbfs)},
             {"residue_rms_dbfs", decibelsJson(channel.residueRmsDbfs)},
             {"null_depth_db", decibelsJson(channel.nullDepthDb)},
             {"first_frame", frameJson(channel.firstFrame)},
             {"last_frame", frameJson(channel.lastFrame)},
             {"stretches", channel.stretches}});
    }
    Json cause = {{"name", measured.cause.name()}, {"text", measured.cause.english()}};
    if (measured.cause.channel >= 0) cause["channel"] = measured.cause.channel + 1;
    return {{"frames", measured.frames},
            {"unit", measured.integerPcm ? "lsb" : "full_scale"},
            {"largest", measured.integerPcm ? Json(static_cast<uint64_t>(measured.largest)) : Json(measured.largest)},
            {"channels", std::move(channels)},
            {"cause", std::move(cause)}};
}

Summary summarize(const std::vector<PairReport>& reports) {
    Summary summary;
    for (const PairReport& report : reports) countPair(summary, report.verdict);
    return summary;
}

void countPair(Summary& summary, PairVerdict verdict) {
    ++summary.pairs;
    switch (verdict) {
        case PairVerdict::Identical: ++summary.identical; break;
        case PairVerdict::Different: ++summary.different; break;
        case PairVerdict::Trouble: ++summary.trouble; break;
        case PairVerdict::Missing: ++summary.missing; break;
        case PairVerdict::WithinTolerance: ++summary.withinTolerance; break;
    }
}

uint32_t shardOf(const std::string& path, uint32_t count) {
    // FNV-1a over the path's bytes: the same on every machine and every run.
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char byte : path) {
        hash ^= byte;
        hash *= 1099511628211ull;
    }
    return static_cast<uint32_t>(hash % count) + 1;
}

Verdict verdictOf(const Summary& summary) {
    if (summary.trouble != 0) return Verdict::Trouble;
    if (summary.different != 0 || summary.missing != 0) return Verdict::Different;
    return Verdict::Identical;
}

Json pairJson(const PairReport& report) {
    Json pair;
    if (report.path) putName(pair, "path", *report.path);
    putName(pair, "file1", report.file1);
    putName(pair, "file2", report.file2);
    pair["verdict"] = pairVerdictName(report.verdict);
    pair["message"] = report.message.empty() ? Json(nullptr) : Json(report.message);
    if (!report.compared) {
        pair["format"] = nullptr;
        return pair;
    }
    const SampleFormat& format = report.slots[0].format.usable() ? report.slots[0].format : report.slots[1].format;
    const RunOutcome& outcome = report.outcome;
    pair["format"] = formatJson(format);
    pair["frames"] = {report.slots[0].frameCount, report.slots[1].frameCount};
    // A copy in another container is decoded: say which, so that a report shows what was read.
    pair["containers"] = {containerName(report.slots[0].container), containerName(report.slots[1].container)};
    pair["compared_frames"] = outcome.comparedFrames;
    pair["skipped"] = {outcome.skipped[0], outcome.skipped[1]};
    // Each gap counts once among the differences, as the verdict line counts it, and is where it lies.
    pair["differences"] = outcome.differences + uint64_t{outcome.gaps.size()};
    pair["differences_capped"] = outcome.end == ComparisonEnd::LimitExceeded;
    std::optional<std::array<uint64_t, 2>> first = outcome.firstDifference, last = outcome.lastDifference;
    for (const Gap& gap : outcome.gaps) {
        const std::array<uint64_t, 2> at = {gap.file1Frame, gap.file2Frame};
        if (!first || at[0] < (*first)[0]) first = at;
        if (!last || at[0] > (*last)[0]) last = at;
    }
    pair["first_difference"] = pairOf(first);
    pair["last_difference"] = pairOf(last);
    // Per channel; zeros when no frame differed.
    std::vector<uint64_t> channels = outcome.channelsDiffering;
    if (channels.empty() && !endedEarly(outcome.result)) channels.assign(format.channels, 0);
    pair["channels_differing"] = channels;
    if (!outcome.gaps.empty()) {
        Json gaps = Json::array();
        for (const Gap& gap : outcome.gaps) {
            gaps.push_back({{"in", 2},
                            {"kind", gap.kind == Gap::Kind::Missing ? "missing" : "inserted"},
                            {"file1_frame", gap.file1Frame},
                            {"file2_frame", gap.file2Frame},
                            {"frames", gap.frames}});
        }
        pair["gaps"] = std::move(gaps);
    }
    const bool integer = format.encoding == SampleEncoding::IntegerPcm && !endedEarly(outcome.result);
    if (integer) {
        std::vector<uint64_t> largest = outcome.maxAbsDifference;
        if (largest.empty()) largest.assign(format.channels, 0);
        pair["max_abs_difference"] = largest;
    } else {
        pair["max_abs_difference"] = nullptr;
    }
    if (outcome.tolerance) pair["tolerance"] = *outcome.tolerance;
    if (outcome.measure) pair["measure"] = measureJson(*outcome.measure);
    return pair;
}

Json summaryJson(const Summary& summary) {
    Json json = {{"pairs", summary.pairs},
                 {"identical", summary.identical},
                 {"different", summary.different},
                 {"trouble", summary.trouble},
                 {"missing", summary.missing}};
    if (summary.withinTolerance != 0) json["within_tolerance"] = summary.withinTolerance;
    return json;
}

Json reportJson(const std::vector<PairReport>& reports, const std::optional<Shard>& shard) {
    Json document;
    if (shard) document["shard"] = {{"index", shard->index}, {"count", shard->count}};
    document["pairs"] = Json::array();
    for (const PairReport& report : reports) document["pairs"].push_back(pairJson(report));
    document["summary"] = summaryJson(summarize(reports));
    return document;
}

std::string jsonText(const Json& document) {
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace vemilo::archive
