#include "cli/json_report.h"

namespace vemilo::cli {
namespace {

using json = nlohmann::ordered_json;

constexpr uint16_t kIntegerPcm = 1;
constexpr uint16_t kIeeeFloat = 3;

json optionalText(const std::optional<std::string>& text) { return text ? json(*text) : json(nullptr); }

json pairOf(const std::optional<std::array<uint64_t, 2>>& frames) {
    return frames ? json::array({(*frames)[0], (*frames)[1]}) : json(nullptr);
}

std::string dataFormatName(uint16_t code) {
    if (code == kIntegerPcm) return "pcm";
    if (code == kIeeeFloat) return "float";
    return "code " + std::to_string(code);
}

json formatJson(const FileSlot& slot) {
    if (!isUsable(slot)) return nullptr;
    return {{"rate", slot.sampleRate}, {"bits", slot.bitsPerSample}, {"channels", slot.channels}, {"data_format", dataFormatName(slot.dataFormat)}};
}

}  // namespace

Summary summarize(const std::vector<PairReport>& reports) {
    Summary summary;
    for (const PairReport& report : reports) {
        ++summary.pairs;
        switch (report.verdict) {
            case PairVerdict::Identical: ++summary.identical; break;
            case PairVerdict::Different: ++summary.different; break;
            case PairVerdict::Trouble: ++summary.trouble; break;
            case PairVerdict::Missing: ++summary.missing; break;
        }
    }
    return summary;
}

int exitStatusOf(const Summary& summary) {
    if (summary.trouble != 0) return 2;
    if (summary.different != 0 || summary.missing != 0) return 1;
    return 0;
}

json pairJson(const PairReport& report) {
    json pair;
    if (!report.path.empty()) pair["path"] = report.path;
    pair["file1"] = optionalText(report.file1);
    pair["file2"] = optionalText(report.file2);
    pair["verdict"] = pairVerdictName(report.verdict);
    pair["message"] = report.message.empty() ? json(nullptr) : json(report.message);
    if (report.verdict == PairVerdict::Missing) {
        pair["format"] = nullptr;
        return pair;
    }
    const FileSlot& format = isUsable(report.slots[0]) ? report.slots[0] : report.slots[1];
    const RunOutcome& outcome = report.outcome;
    pair["format"] = formatJson(format);
    pair["frames"] = {report.slots[0].sampleCount, report.slots[1].sampleCount};
    pair["compared_frames"] = outcome.comparedFrames;
    pair["skipped"] = {outcome.skipped[0], outcome.skipped[1]};
    pair["differences"] = outcome.differences;
    pair["differences_capped"] = outcome.end == ComparisonEnd::LimitExceeded;
    pair["first_difference"] = pairOf(outcome.firstDifference);
    pair["last_difference"] = pairOf(outcome.lastDifference);
    // Per channel; zeros when no frame differed.
    std::vector<uint64_t> channels = outcome.channelsDiffering;
    if (channels.empty() && !endedEarly(outcome.result)) channels.assign(format.channels, 0);
    pair["channels_differing"] = channels;
    const bool integer = format.dataFormat == kIntegerPcm && !endedEarly(outcome.result);
    if (integer) {
        std::vector<uint64_t> largest = outcome.maxAbsDifference;
        if (largest.empty()) largest.assign(format.channels, 0);
        pair["max_abs_difference"] = largest;
    } else {
        pair["max_abs_difference"] = nullptr;
    }
    return pair;
}

json summaryJson(const Summary& summary) {
    return {{"pairs", summary.pairs}, {"identical", summary.identical}, {"different", summary.different},
            {"trouble", summary.trouble}, {"missing", summary.missing}};
}

json reportJson(const std::vector<PairReport>& reports, const std::optional<Shard>& shard) {
    json document;
    if (shard) document["shard"] = {{"index", shard->index}, {"count", shard->count}};
    document["pairs"] = json::array();
    for (const PairReport& report : reports) document["pairs"].push_back(pairJson(report));
    document["summary"] = summaryJson(summarize(reports));
    return document;
}

std::string jsonText(const json& document) { return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n"; }

}  // namespace vemilo::cli
