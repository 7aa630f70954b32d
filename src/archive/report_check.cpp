#include "archive/report_check.h"

#include "archive/json_names.h"
#include "archive/report_stream.h"
#include "wav/text_format.h"
#include "wav/wav_file_list.h"

namespace vemilo::archive {
namespace {

using Json = nlohmann::ordered_json;

bool isCount(const Json& value) { return value.is_number_unsigned(); }

// The first field of a compared pair that shows a difference or leaves frames uncompared; empty
// when every field says the pair agreed from end to end. Malformed fields count as showing one.
std::string fieldShowingADifference(const Json& pair) {
    if (!pair.value("message", Json()).is_null()) return "message";
    const Json differences = pair.value("differences", Json());
    if (!isCount(differences) || differences.get<uint64_t>() != 0) return "differences";
    if (pair.value("differences_capped", Json()) != false) return "differences_capped";
    if (!pair.value("first_difference", Json()).is_null()) return "first_difference";
    if (!pair.value("last_difference", Json()).is_null()) return "last_difference";
    const Json gaps = pair.value("gaps", Json::array());
    if (!gaps.is_array() || !gaps.empty()) return "gaps";
    const Json channels = pair.value("channels_differing", Json());
    if (!channels.is_array()) return "channels_differing";
    for (const Json& count : channels) {
        if (count != 0) return "channels_differing";
    }
    // Both files compared to their ends: what was compared is what each held past what was skipped.
    const Json frames = pair.value("frames", Json()), skipped = pair.value("skipped", Json());
    const Json compared = pair.value("compared_frames", Json());
    if (!frames.is_array() || frames.size() != 2 || !skipped.is_array() || skipped.size() != 2 || !isCount(compared))
        return "frames";
    for (int side = 0; side < 2; ++side) {
        if (!isCount(frames[side]) || !isCount(skipped[side]) ||
            frames[side].get<uint64_t>() < skipped[side].get<uint64_t>() ||
            frames[side].get<uint64_t>() - skipped[side].get<uint64_t>() != compared.get<uint64_t>())
            return "compared_frames";
    }
    return "";
}

// Why a pair passed as "within tolerance" may not be: it must have differed, every sample by at
// most its tolerance, and agreed in every other way (no gap, both files compared to their ends).
std::string toleranceMismatch(const Json& pair) {
    if (pair.value("file1", Json()).is_null() || pair.value("file2", Json()).is_null() ||
        !pair.value("format", Json()).is_object())
        return "a \"within_tolerance\" pair must name both files and have a format";
    const Json tolerance = pair.value("tolerance", Json());
    const Json measure = pair.value("measure", Json());
    const Json largest = measure.is_object() ? measure.value("largest", Json()) : Json();
    if (!isCount(tolerance) || !isCount(largest) || largest.get<uint64_t>() > tolerance.get<uint64_t>())
        return "a \"within_tolerance\" pair's measured largest difference must lie within its tolerance";
    const Json differences = pair.value("differences", Json());
    if (!isCount(differences) || differences.get<uint64_t>() == 0)
        return "a \"within_tolerance\" pair whose fields show no difference";
    // Its samples aside, it must have agreed as an identical pair does: no gap, both files to the end.
    Json agreed = pair;
    agreed["differences"] = uint64_t{0};
    agreed["first_difference"] = nullptr;
    agreed["last_difference"] = nullptr;
    if (agreed.value("channels_differing", Json()).is_array()) {
        for (Json& count : agreed["channels_differing"]) count = uint64_t{0};
    }
    if (const std::string field = fieldShowingADifference(agreed); !field.empty())
        return "field \"" + field + "\" does not fit a \"within_tolerance\" pair";
    return "";
}

// Why the pair's own fields do not bear out its verdict; empty when they do.
std::string verdictMismatch(const Json& pair, PairVerdict verdict) {
    const bool has[2] = {!pair.value("file1", Json()).is_null(), !pair.value("file2", Json()).is_null()};
    switch (verdict) {
        case PairVerdict::Trouble: return "";  // never read as a pass, whatever it holds
        case PairVerdict::Missing: {
            if (has[0] == has[1]) return "a \"missing\" pair must name a file on exactly one side";
            if (!pair.value("format", Json()).is_null()) return "a \"missing\" pair has a format";
            const char* expected = has[0] ? "only in folder 1" : "only in folder 2";
            if (pair.value("message", Json()) != expected)
                return std::string("a \"missing\" pair's message must be \"") + expected + "\"";
            return "";
        }
        case PairVerdict::WithinTolerance: return toleranceMismatch(pair);
        case PairVerdict::Identical:
        case PairVerdict::Different: break;
    }
    const std::string pairName = verdict == PairVerdict::Identical ? "an \"identical\" pair" : "a \"different\" pair";
    if (!has[0] || !has[1]) return pairName + " must name both files";
    if (!pair.value("format", Json()).is_object()) return pairName + " must have a format";
    const std::string field = fieldShowingADifference(pair);
    if (verdict == PairVerdict::Identical && !field.empty())
        return "field \"" + field + "\" shows a difference in an \"identical\" pair";
    if (verdict == PairVerdict::Different && field.empty()) return "a \"different\" pair whose fields show none";
    return "";
}

}  // namespace

ReportChecker::ReportChecker(const ReportHeader& header) : shard_(header.shard) {
    const Json tolerance = header.options ? header.options->value("tolerance", Json()) : Json();
    if (tolerance.is_number_unsigned()) tolerance_ = tolerance.get<uint64_t>();
}

std::optional<PairVerdict> verdictNamed(const std::string& name) {
    for (const PairVerdict verdict : {PairVerdict::Identical, PairVerdict::Different, PairVerdict::Trouble,
                                      PairVerdict::Missing, PairVerdict::WithinTolerance}) {
        if (name == pairVerdictName(verdict)) return verdict;
    }
    return std::nullopt;
}

std::optional<std::string> ReportChecker::checkPair(const Json& pair, std::string& problem) {
    if (!pair.is_object()) {
        problem = "a pair is not a JSON object";
        return std::nullopt;
    }
    const Json verdictField = pair.value("verdict", Json());
    const auto verdict = verdictField.is_string() ? verdictNamed(verdictField.get<std::string>()) : std::nullopt;
    if (!verdict) {
        problem =
            "field \"verdict\" is missing or not one of identical, different, trouble, missing, "
            "within_tolerance";
        return std::nullopt;
    }
    const auto path = pair.value("path", Json()).is_string() ? nameOf(pair, "path") : std::nullopt;
    if (!path) {
        problem = "field \"path\" is missing, not a string, or its bytes are not valid base64";
        return std::nullopt;
    }
    for (const char* side : {"file1", "file2"}) {
        const Json file = pair.value(side, Json());
        if (!file.is_null() && (!file.is_string() || !nameOf(pair, side))) {
            problem = std::string("field \"") + side + "\" is neither null nor a file name";
            return std::nullopt;
        }
    }
    if (lastPath_ && !byteOrderLess(*lastPath_, *path)) {
        problem = (*lastPath_ == *path ? "a pair twice: " : "pairs out of path order: ") +
                  escapeControlCharacters(*path) + " after " + escapeControlCharacters(*lastPath_);
        return std::nullopt;
    }
    if (shard_ && shardOf(*path, shard_->count) != shard_->index) {
        problem = escapeControlCharacters(*path) + " belongs to shard " +
                  std::to_string(shardOf(*path, shard_->count)) + " of " + std::to_string(shard_->count) +
                  ", not to this report's shard " + std::to_string(shard_->index);
        return std::nullopt;
    }
    if (const std::string mismatch = verdictMismatch(pair, *verdict); !mismatch.empty()) {
        problem = mismatch;
        return std::nullopt;
    }
    if (*verdict == PairVerdict::WithinTolerance && pair.value("tolerance", Json()) != Json(tolerance_.value_or(0))) {
        problem = "a \"within_tolerance\" pair's tolerance is not its run's";
        return std::nullopt;
    }
    countPair(counted_, *verdict);
    lastPath_ = *path;
    return path;
}

std::optional<ReportTrailer> ReportChecker::checkTrailer(const Json& trailer, std::string& problem) const {
    const auto read = readTrailer(trailer, problem);
    if (!read) return std::nullopt;
    const Summary& said = read->summary;
    if (said.pairs != counted_.pairs || said.identical != counted_.identical || said.different != counted_.different ||
        said.trouble != counted_.trouble || said.missing != counted_.missing ||
        said.withinTolerance != counted_.withinTolerance) {
        problem =
            "the summary says \"" + summaryLine(said) + "\", but the lines hold \"" + summaryLine(counted_) + "\"";
        return std::nullopt;
    }
    return read;
}

}  // namespace vemilo::archive
