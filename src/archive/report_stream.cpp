#include "archive/report_stream.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

std::string summaryLine(const Summary& summary) {
    const std::string within =
        summary.withinTolerance == 0
            ? ""
            : formatText(", %llu identical within tolerance", static_cast<unsigned long long>(summary.withinTolerance));
    return formatText("%llu pair%s: %llu identical%s, %llu different, %llu trouble, %llu missing",
                      static_cast<unsigned long long>(summary.pairs), summary.pairs == 1 ? "" : "s",
                      static_cast<unsigned long long>(summary.identical), within.c_str(),
                      static_cast<unsigned long long>(summary.different),
                      static_cast<unsigned long long>(summary.trouble),
                      static_cast<unsigned long long>(summary.missing));
}

// What a measured pair's line adds: how much it differs, and why.
std::string measuredText(const PairMeasureResult& measured) {
    double depth = -std::numeric_limits<double>::infinity();
    for (const ChannelMeasure& channel : measured.channels) depth = std::max(depth, channel.nullDepthDb);
    const std::string largest = measured.integerPcm ? formatText("%.0f LSB", measured.largest)
                                                    : formatText("%.9g of full scale", measured.largest);
    return "; measured: largest " + largest +
           (std::isfinite(depth) ? formatText(", null depth %.2f dB", depth) : std::string()) + ", " +
           measured.cause.english();
}

std::string pairLine(const PairReport& report) {
    const std::string path = report.path.value_or("");
    const RunOutcome& outcome = report.outcome;
    const std::string verdict = report.verdict == PairVerdict::WithinTolerance && outcome.tolerance
                                    ? formatText("identical within ±%u LSB", *outcome.tolerance)
                                    : pairVerdictName(report.verdict);
    std::string line = verdict + "\t" + (path.empty() ? "./" : escapeControlCharacters(path));
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
    } else if ((report.verdict == PairVerdict::Different || report.verdict == PairVerdict::WithinTolerance) &&
               outcome.differences != 0) {
        line += formatText("\t%llu%s differing frames, the first at frame %llu",
                           static_cast<unsigned long long>(outcome.differences),
                           outcome.end == ComparisonEnd::LimitExceeded ? " or more" : "",
                           static_cast<unsigned long long>((*outcome.firstDifference)[0]));
        if (outcome.end == ComparisonEnd::File1Ended || outcome.end == ComparisonEnd::File2Ended)
            line += "; " + report.message;
    } else if (!report.message.empty()) {
        line += "\t" + report.message;
    }
    if (outcome.measure && outcome.measure->differingFrames != 0) line += measuredText(*outcome.measure);
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

void ReportStream::begin(const ReportHeader& header) {
    if (format_ == ReportFormat::JsonLines) {
        put(dumped(headerJson(header, format_), -1) + "\n");
    } else if (format_ == ReportFormat::Json) {
        // The document as one dump would indent it, opened here and closed by finish.
        put("{\n  \"header\": " + shifted(dumped(headerJson(header, format_), 2), 2, false) + ",\n  \"pairs\": [");
    }
}

FormattedPair ReportStream::format(const PairReport& report) const {
    if (format_ != ReportFormat::Text) return {report.verdict, pairText(pairJson(report))};
    std::string text;
    if (verbose_) {
        for (const std::string& line : report.log) text += line + "\n";
    }
    return {report.verdict, text + pairLine(report) + "\n"};
}

std::string ReportStream::pairText(const Json& pair) const {
    return format_ == ReportFormat::Json ? shifted(dumped(pair, 2), 4, true) : dumped(pair, -1) + "\n";
}

void ReportStream::write(const FormattedPair& pair) {
    countPair(summary_, pair.verdict);
    put(format_ == ReportFormat::Json ? (firstPair_ ? "\n" : ",\n") + pair.text : pair.text);
    firstPair_ = false;
}

void ReportStream::add(const PairReport& report) { write(format(report)); }

void ReportStream::addJson(const Json& pair, PairVerdict verdict) { write({verdict, pairText(pair)}); }

void ReportStream::addLine(const std::string& line, PairVerdict verdict) { write({verdict, line + "\n"}); }

void ReportStream::finish(const std::optional<TreeRecord>& trees, const std::optional<std::string>& ended) {
    const Json trailer = trailerJson({summary_, trees, ended});
    switch (format_) {
        case ReportFormat::Text: put(summaryLine(summary_) + "\n"); break;
        case ReportFormat::Json: {
            std::string text = firstPair_ ? "]" : "\n  ]";
            for (const auto& [key, value] : trailer.items())
                text += ",\n  " + dumped(key, -1) + ": " + shifted(dumped(value, 2), 2, false);
            put(text + "\n}\n");
            break;
        }
        case ReportFormat::JsonLines: put(dumped(trailer, -1) + "\n"); break;
    }
}

}  // namespace vemilo::archive
