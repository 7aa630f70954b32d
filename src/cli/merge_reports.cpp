#include "cli/merge_reports.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "cli/exit_status.h"
#include "cli/json_names.h"
#include "cli/json_report.h"
#include "wav/text_format.h"

namespace vemilo::cli {
namespace {

using Json = nlohmann::ordered_json;

struct LoadedReport {
    std::string path;
    Json document;
    Shard shard;
};

// The report at path, or the reason it cannot be used.
std::optional<LoadedReport> loadReport(const std::string& path, std::string& problem) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        problem = "cannot be opened";
        return std::nullopt;
    }
    std::stringstream text;
    text << in.rdbuf();
    LoadedReport report{path, Json::parse(text.str(), nullptr, false), {}};
    if (report.document.is_discarded() || !report.document.is_object() || !report.document.contains("pairs") ||
        !report.document["pairs"].is_array()) {
        problem = "is not a vemilo-cli --json report";
        return std::nullopt;
    }
    if (report.document.contains("shard")) {
        const Json& shard = report.document["shard"];
        if (!shard.is_object() || !shard.value("index", Json()).is_number_unsigned() ||
            !shard.value("count", Json()).is_number_unsigned()) {
            problem = "has a malformed shard";
            return std::nullopt;
        }
        report.shard = {shard["index"].get<uint32_t>(), shard["count"].get<uint32_t>()};
        if (report.shard.index < 1 || report.shard.index > report.shard.count) {
            problem = "has a malformed shard";
            return std::nullopt;
        }
    }
    for (const Json& pair : report.document["pairs"]) {
        if (!pair.is_object() || !pair.value("verdict", Json()).is_string()) {
            problem = "holds a pair without a verdict";
            return std::nullopt;
        }
        if (!nameOf(pair, "path")) {
            problem = "holds a path whose bytes are not valid base64";
            return std::nullopt;
        }
    }
    return report;
}

// The pair's relative path, bytes and all: names that are not UTF-8 stay apart.
std::string pairPath(const Json& pair) { return nameOf(pair, "path").value_or(std::string()); }

void countVerdict(Summary& summary, const std::string& verdict) {
    ++summary.pairs;
    if (verdict == "identical")
        ++summary.identical;
    else if (verdict == "different")
        ++summary.different;
    else if (verdict == "missing")
        ++summary.missing;
    else
        ++summary.trouble;  // anything unknown is no reason for trust
}

}  // namespace

int mergeReports(const std::vector<std::string>& reportPaths, std::FILE* out, std::FILE* err) {
    const auto fail = [&](const std::string& path, const std::string& problem) {
        std::fprintf(err, "vemilo-cli: %s: %s\n", escapeControlCharacters(path).c_str(), problem.c_str());
        return kExitTrouble;
    };
    std::vector<LoadedReport> reports;
    for (const std::string& path : reportPaths) {
        std::string problem;
        auto report = loadReport(path, problem);
        if (!report) return fail(path, problem);
        reports.push_back(std::move(*report));
    }

    const uint32_t count = reports.front().shard.count;
    std::map<uint32_t, std::string> shards;    // index -> report
    std::map<std::string, std::string> owner;  // pair path -> report
    Json pairs = Json::array();
    for (const LoadedReport& report : reports) {
        if (report.shard.count != count) {
            return fail(report.path, "is shard " + std::to_string(report.shard.index) + " of " +
                                         std::to_string(report.shard.count) + ", but " + reports.front().path +
                                         " is of " + std::to_string(count));
        }
        if (const auto [at, added] = shards.emplace(report.shard.index, report.path); !added) {
            return fail(report.path,
                        "is shard " + std::to_string(report.shard.index) + " again, as " + at->second + " is");
        }
        for (const Json& pair : report.document["pairs"]) {
            if (const auto [at, added] = owner.emplace(pairPath(pair), report.path); !added) {
                return fail(report.path,
                            "overlaps " + at->second + ": both hold " + escapeControlCharacters(pairPath(pair)));
            }
            pairs.push_back(pair);
        }
    }
    for (uint32_t index = 1; index <= count; ++index) {
        if (!shards.count(index))
            return fail(reportPaths.front(),
                        "no report of shard " + std::to_string(index) + " of " + std::to_string(count) + " was given");
    }

    // Path order, by the bytes of the paths, as an unsharded run writes them.
    std::stable_sort(pairs.begin(), pairs.end(), [](const Json& a, const Json& b) {
        const std::string x = pairPath(a), y = pairPath(b);
        return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [](char p, char q) {
            return static_cast<unsigned char>(p) < static_cast<unsigned char>(q);
        });
    });
    Summary summary;
    for (const Json& pair : pairs) countVerdict(summary, pair["verdict"].get<std::string>());
    Json merged;
    merged["pairs"] = std::move(pairs);
    merged["summary"] = summaryJson(summary);
    const std::string text = jsonText(merged);
    std::fwrite(text.data(), 1, text.size(), out);
    return exitStatus(verdictOf(summary));
}

}  // namespace vemilo::cli
