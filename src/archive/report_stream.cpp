#include "archive/report_stream.h"

#include "vemilo/version.h"
#include "wav/text_format.h"

namespace vemilo::archive {
namespace {

using Json = nlohmann::ordered_json;

std::string dumped(const Json& value, int indent) {
    return value.dump(indent, ' ', false, Json::error_handler_t::replace);
}

// A value's indented text with every line after the first moved right, for a value that follows
// its key inside an object at that depth; with first, the first line too (an array's element).
std::string shifted(const std::string& text, size_t spaces, bool first) {
    const std::string margin(spaces, ' ');
    std::string out = first ? margin : "";
    for (char c : text) {
        out += c;
        if (c == '\n') out += margin;
    }
    return out;
}

}  // namespace

Json headerJson(const RunDescription& run) {
    Json header;
    header["vemilo_report"] = "jsonl";
    header["version"] = kVersionText;
    header["folders"] = {run.folder1, run.folder2};
    header["options"] = run.options;
    header["shard"] = run.shard ? Json{{"index", run.shard->index}, {"count", run.shard->count}} : Json(nullptr);
    header["run_id"] = run.runId ? Json(*run.runId) : Json(nullptr);
    return header;
}

std::string summaryLine(const Summary& summary) {
    return formatText(
        "%llu pairs: %llu identical, %llu different, %llu trouble, %llu missing",
        static_cast<unsigned long long>(summary.pairs), static_cast<unsigned long long>(summary.identical),
        static_cast<unsigned long long>(summary.different), static_cast<unsigned long long>(summary.trouble),
        static_cast<unsigned long long>(summary.missing));
}

std::string pairLine(const PairReport& report) {
    std::string line = std::string(pairVerdictName(report.verdict)) + "\t" + escapeControlCharacters(report.path);
    const RunOutcome& outcome = report.outcome;
    if (report.verdict == PairVerdict::Different && !outcome.gaps.empty()) {
        uint64_t missing = 0, inserted = 0;
        for (const Gap& gap : outcome.gaps) (gap.kind == Gap::Kind::Missing ? missing : inserted) += gap.frames;
        line += formatText("\t%zu gap%s: %llu frames missing from file 2, %llu inserted, the first at frame %llu",
                           outcome.gaps.size(), outcome.gaps.size() == 1 ? "" : "s",
                           static_cast<unsigned long long>(missing), static_cast<unsigned long long>(inserted),
                           static_cast<unsigned long long>(outcome.gaps.front().file1Frame));
        line += outcome.differences == 0
                    ? std::string("; every other frame agreed")
                    : formatText("; %llu differing frames", static_cast<unsigned long long>(outcome.differences));
        if (outcome.end == ComparisonEnd::File1Ended || outcome.end == ComparisonEnd::File2Ended)
            line += "; " + report.message;
    } else if (report.verdict == PairVerdict::Different && outcome.differences != 0) {
        line += formatText("\t%llu%s differing frames, the first at frame %llu",
                           static_cast<unsigned long long>(outcome.differences),
                           outcome.end == ComparisonEnd::LimitExceeded ? " or more" : "",
                           static_cast<unsigned long long>((*outcome.firstDifference)[0]));
        if (outcome.end == ComparisonEnd::File1Ended || outcome.end == ComparisonEnd::File2Ended)
            line += "; " + report.message;
    } else if (!report.message.empty()) {
        line += "\t" + report.message;
    }
    // "identical" after alignment means every frame compared agreed, not every frame of the files.
    const auto& skipped = outcome.skipped;
    if (report.compared && (skipped[0] != 0 || skipped[1] != 0)) {
        line += formatText("%saligned: %llu frames of file 1 and %llu of file 2 were skipped",
                           line.find('\t', line.find('\t') + 1) == std::string::npos ? "\t" : "; ",
                           static_cast<unsigned long long>(skipped[0]), static_cast<unsigned long long>(skipped[1]));
    }
    return line;
}

void ReportStream::put(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), out_);
    // Each pair reaches the file as it is done: an interrupted run loses none that finished.
    std::fflush(out_);
}

void ReportStream::begin(const RunDescription& run, bool resumed) {
    if (resumed) return;
    if (format_ == ReportFormat::JsonLines) {
        put(dumped(headerJson(run), -1) + "\n");
    } else if (format_ == ReportFormat::Json) {
        // The document as one dump would indent it, opened here and closed by finish.
        std::string text = "{\n";
        if (run.runId) text += "  \"run_id\": " + dumped(*run.runId, 2) + ",\n";
        if (run.shard)
            text += "  \"shard\": " +
                    shifted(dumped(Json{{"index", run.shard->index}, {"count", run.shard->count}}, 2), 2, false) +
                    ",\n";
        put(text + "  \"pairs\": [");
    }
}

void ReportStream::add(const PairReport& report) {
    countPair(summary_, report.verdict);
    if (format_ != ReportFormat::Text) {
        putPair(pairJson(report));
        return;
    }
    std::string text;
    if (verbose_) {
        for (const std::string& line : report.log) text += line + "\n";
    }
    put(text + pairLine(report) + "\n");
}

void ReportStream::addJson(const Json& pair) {
    countVerdictName(summary_, pair.value("verdict", ""));
    putPair(pair);
}

void ReportStream::putPair(const Json& pair) {
    if (format_ == ReportFormat::JsonLines) {
        put(dumped(pair, -1) + "\n");
    } else {
        put((firstPair_ ? "\n" : ",\n") + shifted(dumped(pair, 2), 4, true));
    }
    firstPair_ = false;
}

void ReportStream::finish() {
    switch (format_) {
        case ReportFormat::Text: put(summaryLine(summary_) + "\n"); break;
        case ReportFormat::Json:
            put(std::string(firstPair_ ? "],\n" : "\n  ],\n") +
                "  \"summary\": " + shifted(dumped(summaryJson(summary_), 2), 2, false) + "\n}\n");
            break;
        case ReportFormat::JsonLines: put(dumped(Json{{"summary", summaryJson(summary_)}}, -1) + "\n"); break;
    }
}

}  // namespace vemilo::archive
