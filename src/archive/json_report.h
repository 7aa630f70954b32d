#pragma once
// The report for machines: one JSON document with every pair and a summary.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "archive/pair_report.h"

namespace vemilo::archive {

struct Summary {
    uint64_t pairs = 0, identical = 0, different = 0, trouble = 0, missing = 0;
    uint64_t withinTolerance = 0;  // counted apart from identical, never merged into it
};

Summary summarize(const std::vector<PairReport>& reports);
void countPair(Summary& summary, PairVerdict verdict);

// Trouble when any pair was trouble, else Different when any differed or is missing on one side.
Verdict verdictOf(const Summary& summary);

// Which part of a sharded run a report covers: shard index of count, from 1.
struct Shard {
    uint32_t index = 1;
    uint32_t count = 1;
};

// The shard a relative path belongs to, from 1 to count: a stable hash of the path's bytes, so
// that any machine puts a path in the same shard and files added elsewhere move no other.
uint32_t shardOf(const std::string& path, uint32_t count);

nlohmann::ordered_json pairJson(const PairReport& report);
// A measured pair: per channel figures and the cause.
nlohmann::ordered_json measureJson(const PairMeasureResult& measured);
nlohmann::ordered_json summaryJson(const Summary& summary);
nlohmann::ordered_json reportJson(const std::vector<PairReport>& reports,
                                  const std::optional<Shard>& shard = std::nullopt);

// The document as text; paths that are not UTF-8 have their stray bytes replaced.
std::string jsonText(const nlohmann::ordered_json& document);

}  // namespace vemilo::archive
