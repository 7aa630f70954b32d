#include "archive/merge_reports.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <queue>

#include "archive/output_file.h"
#include "archive/report_check.h"
#include "archive/report_reader.h"
#include "archive/report_stream.h"
#include "wav/text_format.h"
#include "wav/wav_file_list.h"

namespace vemilo::archive {
namespace {

using Json = nlohmann::ordered_json;

// One shard's report as the merge reads it.
struct ShardInput {
    std::string path;
    std::unique_ptr<ReportReader> reader;  // null: it could not be read as a report at all
    std::unique_ptr<ReportChecker> checker;
    std::optional<Json> pair;  // the next pair to merge
    std::string pairPath;
    PairVerdict pairVerdict = PairVerdict::Trouble;
    std::optional<ReportTrailer> trailer;
    bool failed = false;  // a fault was found; nothing more is read from it
};

// Every fault found, each naming its report, said together at the end.
class Faults {
public:
    void add(const std::string& path, const std::string& problem) {
        said_.push_back(escapeControlCharacters(path) + ": " + problem);
    }
    bool any() const { return !said_.empty(); }
    void print(std::FILE* err) const {
        for (const std::string& fault : said_) std::fprintf(err, "vemilo-cli: %s\n", fault.c_str());
    }

private:
    std::vector<std::string> said_;
};

std::string shardName(uint32_t index, uint32_t count) {
    return "shard " + std::to_string(index) + " of " + std::to_string(count);
}

// The same run in every report: compared with the first one readable.
void checkSameRun(std::vector<ShardInput>& inputs, Faults& faults) {
    const ShardInput* first = nullptr;
    for (ShardInput& input : inputs) {
        if (!input.reader) continue;
        if (!first) {
            first = &input;
            continue;
        }
        for (const RunDifference& difference : runDifferences(first->reader->header(), input.reader->header(), false)) {
            faults.add(input.path, difference.field + " " + difference.second + " here, " + difference.first + " in " +
                                       escapeControlCharacters(first->path));
        }
    }
}

// Each shard of the count once.
void checkShards(const std::vector<ShardInput>& inputs, Faults& faults) {
    const auto firstRead =
        std::find_if(inputs.begin(), inputs.end(), [](const ShardInput& input) { return input.reader != nullptr; });
    if (firstRead == inputs.end()) return;
    const auto shardOfInput = [](const ShardInput& input) { return input.reader->header().shard.value_or(Shard{}); };
    const uint32_t count = shardOfInput(*firstRead).count;
    std::map<uint32_t, std::string> given;
    for (const ShardInput& input : inputs) {
        if (!input.reader || shardOfInput(input).count != count) continue;
        const uint32_t index = shardOfInput(input).index;
        if (const auto [at, added] = given.emplace(index, input.path); !added)
            faults.add(input.path,
                       "is " + shardName(index, count) + " again, as " + escapeControlCharacters(at->second) + " is");
    }
    std::string missing;
    uint32_t missingCount = 0;
    for (uint32_t index = 1; index <= count; ++index) {
        if (given.count(index)) continue;
        if (++missingCount <= 20) missing += (missing.empty() ? "" : ", ") + std::to_string(index);
    }
    if (missingCount > 20) missing += ", and " + std::to_string(missingCount - 20) + " more";
    if (missingCount != 0)
        faults.add(firstRead->path, "no report of " + std::string(missingCount == 1 ? "shard " : "shards ") + missing +
                                        " of " + std::to_string(count) + " was given");
}

// The next pair of a shard, checked; a fault stops that shard.
void advance(ShardInput& input, Faults& faults) {
    input.pair.reset();
    if (input.failed) return;
    try {
        input.pair = input.reader->nextPair();
        if (!input.pair) return;
        std::string problem;
        const auto path = input.checker->checkPair(*input.pair, problem);
        if (!path) throw ReportFault{input.reader->line(), problem};
        input.pairPath = *path;
        input.pairVerdict = *verdictNamed(input.pair->value("verdict", ""));
    } catch (const ReportFault& fault) {
        faults.add(input.path, fault.text());
        input.failed = true;
        input.pair.reset();
    }
}

// After its last pair: a summary that counts them, and nothing cut off.
void checkEnd(ShardInput& input, Faults& faults) {
    if (input.failed) return;
    if (input.reader->torn()) {
        faults.add(input.path, "line " + std::to_string(input.reader->line()) +
                                   ": the last line is cut off: the run was interrupted (take it up with --resume)");
        return;
    }
    if (!input.reader->trailer()) {
        faults.add(input.path, "has no summary line: the run was interrupted (take it up with --resume)");
        return;
    }
    std::string problem;
    input.trailer = input.checker->checkTrailer(*input.reader->trailer(), problem);
    if (!input.trailer) faults.add(input.path, "line " + std::to_string(input.reader->line()) + ": " + problem);
}

std::string treesText(const std::optional<TreeRecord>& trees) {
    if (!trees) return "no record of the trees";
    return formatText("%llu and %llu entries, digest %.12s", static_cast<unsigned long long>(trees->entries[0]),
                      static_cast<unsigned long long>(trees->entries[1]), trees->digest.c_str());
}

// Every shard walked both whole trees: each must have met what the others met. The trees most
// shards met are the reference, so that the odd ones out are named.
std::optional<TreeRecord> checkSameTrees(const std::vector<ShardInput>& inputs, Faults& faults) {
    std::map<std::string, std::pair<size_t, const ShardInput*>> seen;  // trees text -> count, first
    for (const ShardInput& input : inputs) {
        if (!input.trailer) continue;
        auto& [count, first] = seen[treesText(input.trailer->trees)];
        if (count++ == 0) first = &input;
    }
    if (seen.empty()) return std::nullopt;
    const auto common = std::max_element(seen.begin(), seen.end(),
                                         [](const auto& a, const auto& b) { return a.second.first < b.second.first; });
    const ShardInput& reference = *common->second.second;
    for (const ShardInput& input : inputs) {
        if (input.trailer && treesText(input.trailer->trees) != common->first)
            faults.add(input.path, "saw other trees than " + escapeControlCharacters(reference.path) + ": " +
                                       treesText(input.trailer->trees) + " here, " + common->first + " there");
    }
    return reference.trailer->trees;
}

// The merged run's header: the shards' run, no shard, begun when the first shard began.
ReportHeader mergedHeader(const std::vector<ShardInput>& inputs) {
    std::optional<ReportHeader> header;
    for (const ShardInput& input : inputs) {
        if (!input.reader) continue;
        const ReportHeader& shard = input.reader->header();
        if (!header) header = shard;
        if (shard.started && (!header->started || *shard.started < *header->started)) header->started = shard.started;
    }
    if (!header) return {};
    header->shard.reset();
    return *header;
}

std::optional<std::string> lastEnd(const std::vector<ShardInput>& inputs) {
    std::optional<std::string> ended;
    for (const ShardInput& input : inputs) {
        if (input.trailer && input.trailer->ended && (!ended || *ended < *input.trailer->ended))
            ended = input.trailer->ended;
    }
    return ended;
}

// Reads every shard to its end in path order, writing the pairs to merged while no fault is known.
void mergePairs(std::vector<ShardInput>& inputs, ReportStream* merged, Faults& faults) {
    using Head = std::pair<std::string, size_t>;
    // Ties go to the report named first, so that an overlap names the later one.
    const auto later = [](const Head& a, const Head& b) {
        return a.first == b.first ? a.second > b.second : byteOrderLess(b.first, a.first);
    };
    std::priority_queue<Head, std::vector<Head>, decltype(later)> heads(later);
    const auto step = [&](size_t i) {
        advance(inputs[i], faults);
        if (inputs[i].pair) heads.emplace(inputs[i].pairPath, i);
    };
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (inputs[i].reader) step(i);
    }
    std::optional<Head> last;
    while (!heads.empty()) {
        const Head head = heads.top();
        heads.pop();
        ShardInput& input = inputs[head.second];
        if (last && last->first == head.first) {
            // One overlap names the two reports; what else they share adds nothing.
            faults.add(input.path, "overlaps " + escapeControlCharacters(inputs[last->second].path) + ": both hold " +
                                       escapeControlCharacters(head.first));
            input.failed = true;
        } else if (merged && !faults.any()) {
            merged->addJson(*input.pair, input.pairVerdict);
        }
        last = head;
        step(head.second);
    }
    for (ShardInput& input : inputs) {
        if (input.reader) checkEnd(input, faults);
    }
}

void noteWhatIsUnchecked(const ReportHeader& header, const std::optional<TreeRecord>& trees, std::FILE* err) {
    if (!header.folders || !header.options)
        std::fprintf(err,
                     "vemilo-cli: the reports record no folders or options (an earlier version wrote them): "
                     "that they are of one run is not checked\n");
    if (!trees)
        std::fprintf(err,
                     "vemilo-cli: the reports record no trees (an earlier version wrote them): "
                     "that every shard saw the same trees is not checked\n");
}

}  // namespace

Verdict mergeReports(const MergeOptions& options, std::FILE* out, std::FILE* err) {
    Faults faults;
    const std::string partial = options.output.value_or("") + ".partial";
    bool olderRemoved = false;
    if (options.output) {
        const std::string& path = *options.output;
        std::optional<std::string> refusal = outputRefusal(path);
        for (const std::string& report : options.reports) {
            if (!refusal && sameFile(report, path)) refusal = "is one of the reports being merged";
        }
        if (refusal) {
            faults.add(path, *refusal);
            faults.print(err);
            return Verdict::Trouble;
        }
        // No older verdict may stand there while this merge runs, whatever ends it.
        olderRemoved = ::unlink(path.c_str()) == 0;
    }

    std::vector<ShardInput> inputs(options.reports.size());
    for (size_t i = 0; i < inputs.size(); ++i) {
        inputs[i].path = options.reports[i];
        try {
            inputs[i].reader = std::make_unique<ReportReader>(inputs[i].path);
            inputs[i].checker = std::make_unique<ReportChecker>(inputs[i].reader->header());
        } catch (const ReportFault& fault) {
            faults.add(inputs[i].path, fault.text());
        }
    }
    checkSameRun(inputs, faults);
    checkShards(inputs, faults);

    std::optional<RemoveOnSignal> removeOnSignal;
    FileHandle file;
    if (options.output && !faults.any()) {
        removeOnSignal.emplace(partial);
        file = createAnew(partial);
        if (!file) faults.add(partial, std::string("cannot be written: ") + std::strerror(errno));
        out = file.get();
    }
    const ReportHeader header = mergedHeader(inputs);
    std::optional<ReportStream> merged;
    if (!faults.any()) {
        merged.emplace(options.format, out, false);
        merged->begin(header);
    }
    mergePairs(inputs, merged ? &*merged : nullptr, faults);
    const std::optional<TreeRecord> trees = checkSameTrees(inputs, faults);
    if (!faults.any()) {
        merged->finish(trees, lastEnd(inputs));
        if (file && (!finishWriting(file.get()) || std::rename(partial.c_str(), options.output->c_str()) != 0))
            faults.add(*options.output, std::string("cannot be written: ") + std::strerror(errno));
    }
    if (faults.any()) {
        file.reset();
        if (options.output) ::unlink(partial.c_str());
        faults.print(err);
        if (olderRemoved)
            std::fprintf(err, "vemilo-cli: %s: removed, since the merge failed\n",
                         escapeControlCharacters(*options.output).c_str());
        return Verdict::Trouble;
    }
    noteWhatIsUnchecked(header, trees, err);
    return verdictOf(merged->summary());
}

}  // namespace vemilo::archive
