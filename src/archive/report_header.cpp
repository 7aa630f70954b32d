#include "archive/report_header.h"

#include <ctime>

#include "archive/json_names.h"
#include "vemilo/version.h"

namespace vemilo::archive {
namespace {

using Json = nlohmann::ordered_json;

std::string text(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

Json shardJson(const std::optional<Shard>& shard) {
    return shard ? Json{{"index", shard->index}, {"count", shard->count}} : Json(nullptr);
}

bool isCount(const Json& value) { return value.is_number_unsigned(); }

std::optional<Shard> readShard(const Json& value, std::string& problem) {
    if (value.is_null()) return std::nullopt;
    if (!value.is_object() || !isCount(value.value("index", Json())) || !isCount(value.value("count", Json())) ||
        value["count"].get<uint64_t>() > UINT32_MAX) {
        problem = "field \"shard\" is malformed";
        return std::nullopt;
    }
    const Shard shard{value["index"].get<uint32_t>(), value["count"].get<uint32_t>()};
    if (shard.index < 1 || shard.index > shard.count) problem = "field \"shard\" is malformed";
    return shard;
}

// An optional string field: absent and null are both nothing.
std::optional<std::string> readText(const Json& json, const char* key, std::string& problem) {
    const Json value = json.value(key, Json());
    if (value.is_null()) return std::nullopt;
    if (!value.is_string()) {
        problem = std::string("field \"") + key + "\" is not a string";
        return std::nullopt;
    }
    return value.get<std::string>();
}

}  // namespace

Json headerJson(const ReportHeader& header, ReportFormat format) {
    Json json;
    json["vemilo_report"] = format == ReportFormat::JsonLines ? "jsonl" : "json";
    json["format_version"] = header.formatVersion;
    json["version"] = kVersionText;
    if (header.folders) {
        putNameList(json, "folders", {(*header.folders)[0], (*header.folders)[1]});
    } else {
        json["folders"] = nullptr;
    }
    json["options"] = header.options ? *header.options : Json(nullptr);
    json["shard"] = shardJson(header.shard);
    json["run_id"] = header.runId ? Json(*header.runId) : Json(nullptr);
    json["started"] = header.started ? Json(*header.started) : Json(nullptr);
    return json;
}

std::optional<ReportHeader> readHeader(const Json& json, std::string& problem) {
    const Json kind = json.value("vemilo_report", Json());
    if (kind != "jsonl" && kind != "json") {
        problem = "is not a vemilo-cli report (its header has no \"vemilo_report\")";
        return std::nullopt;
    }
    ReportHeader header;
    header.formatVersion = 1;
    if (json.contains("format_version")) {
        if (!json["format_version"].is_number_unsigned()) {
            problem = "field \"format_version\" is not a whole number";
            return std::nullopt;
        }
        header.formatVersion = json["format_version"].get<int64_t>();
    }
    if (!json.value("folders", Json()).is_null()) {
        const auto folders = nameListOf(json, "folders");
        if (!folders || folders->size() != 2) {
            problem = "field \"folders\" is not a list of two folders";
            return std::nullopt;
        }
        header.folders = std::array<std::string, 2>{(*folders)[0], (*folders)[1]};
    }
    const Json options = json.value("options", Json());
    if (!options.is_null() && !options.is_object()) {
        problem = "field \"options\" is not an object";
        return std::nullopt;
    }
    if (options.is_object()) header.options = options;
    header.shard = readShard(json.value("shard", Json()), problem);
    header.runId = readText(json, "run_id", problem);
    header.started = readText(json, "started", problem);
    if (!problem.empty()) return std::nullopt;
    return header;
}

ReportHeader legacyHeader(const Json& preamble, std::string& problem) {
    ReportHeader header;
    header.formatVersion = 1;
    header.shard = readShard(preamble.value("shard", Json()), problem);
    header.runId = readText(preamble, "run_id", problem);
    return header;
}

Json trailerJson(const ReportTrailer& trailer) {
    Json json;
    json["summary"] = summaryJson(trailer.summary);
    if (trailer.trees) {
        json["trees"] = {{"entries", {trailer.trees->entries[0], trailer.trees->entries[1]}},
                         {"digest", trailer.trees->digest}};
    }
    if (trailer.ended) json["ended"] = *trailer.ended;
    return json;
}

std::optional<ReportTrailer> readTrailer(const Json& json, std::string& problem) {
    ReportTrailer trailer;
    const Json summary = json.value("summary", Json());
    if (!summary.is_object()) {
        problem = "field \"summary\" is not an object";
        return std::nullopt;
    }
    uint64_t* const counts[] = {&trailer.summary.pairs, &trailer.summary.identical, &trailer.summary.different,
                                &trailer.summary.trouble, &trailer.summary.missing};
    const char* const names[] = {"pairs", "identical", "different", "trouble", "missing"};
    for (size_t i = 0; i < std::size(names); ++i) {
        const Json count = summary.value(names[i], Json());
        if (!count.is_number_unsigned()) {
            problem = std::string("summary field \"") + names[i] + "\" is missing or not a whole number";
            return std::nullopt;
        }
        *counts[i] = count.get<uint64_t>();
    }
    // Written only where a tolerance let some pair pass within it.
    if (summary.contains("within_tolerance")) {
        if (!summary["within_tolerance"].is_number_unsigned()) {
            problem = "summary field \"within_tolerance\" is not a whole number";
            return std::nullopt;
        }
        trailer.summary.withinTolerance = summary["within_tolerance"].get<uint64_t>();
    }
    if (json.contains("trees")) {
        const Json& trees = json["trees"];
        const Json entries = trees.is_object() ? trees.value("entries", Json()) : Json();
        const Json digest = trees.is_object() ? trees.value("digest", Json()) : Json();
        if (!entries.is_array() || entries.size() != 2 || !isCount(entries[0]) || !isCount(entries[1]) ||
            !digest.is_string()) {
            problem = "field \"trees\" is malformed";
            return std::nullopt;
        }
        trailer.trees = TreeRecord{{entries[0].get<uint64_t>(), entries[1].get<uint64_t>()}, digest.get<std::string>()};
    }
    trailer.ended = readText(json, "ended", problem);
    for (const auto& [key, value] : json.items()) {
        if (key != "summary" && key != "trees" && key != "ended" && problem.empty())
            problem = "an unknown field \"" + key + "\" after the pairs";
    }
    if (!problem.empty()) return std::nullopt;
    return trailer;
}

std::vector<RunDifference> runDifferences(const ReportHeader& first, const ReportHeader& second, bool sameShard) {
    std::vector<RunDifference> differences;
    const auto note = [&](const std::string& field, const Json& a, const Json& b) {
        if (a != b) differences.push_back({field, text(a), text(b)});
    };
    note("format version", first.formatVersion, second.formatVersion);
    const auto folders = [](const ReportHeader& header) {
        return header.folders ? Json{(*header.folders)[0], (*header.folders)[1]} : Json(nullptr);
    };
    note("folders", folders(first), folders(second));
    if (first.options && second.options) {
        // Each option named, in the order of either report: a missing one shows as null.
        Json keys = Json::object();
        for (const auto& [key, value] : first.options->items()) keys[key] = true;
        for (const auto& [key, value] : second.options->items()) keys[key] = true;
        for (const auto& [key, unused] : keys.items())
            note(key, first.options->value(key, Json()), second.options->value(key, Json()));
    } else {
        note("options", first.options ? *first.options : Json(), second.options ? *second.options : Json());
    }
    note("run id", first.runId ? Json(*first.runId) : Json(), second.runId ? Json(*second.runId) : Json());
    if (sameShard) {
        note("shard", shardJson(first.shard), shardJson(second.shard));
    } else {
        note("shard count", first.shard ? first.shard->count : 1u, second.shard ? second.shard->count : 1u);
    }
    return differences;
}

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

}  // namespace vemilo::archive
