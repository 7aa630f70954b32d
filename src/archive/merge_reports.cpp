#include "archive/merge_reports.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <queue>

#include "archive/json_names.h"
#include "archive/json_report.h"
#include "wav/text_format.h"
#include "wav/wav_file_list.h"

namespace vemilo::archive {
namespace {

using Json = nlohmann::ordered_json;

struct BadReport {
    std::string problem;
};

// One shard's report read pair by pair: a --jsonl report a line at a time, a --json document one
// element of its "pairs" at a time. Throws BadReport naming the line (and field) at fault.
class ShardReader {
public:
    explicit ShardReader(const std::string& path) : in_(path, std::ios::binary) {
        if (!in_) throw BadReport{std::string("cannot be opened: ") + std::strerror(errno)};
        skipSpace();
        if (peek() != '{') throw BadReport{"is not a vemilo-cli --json or --jsonl report"};
        // A JSON Lines report's first line is a whole object, its header.
        std::string first;
        std::getline(in_, first);
        const Json header = Json::parse(first, nullptr, false);
        if (!header.is_discarded() && header.is_object() && header.value("vemilo_report", "") == "jsonl") {
            lines_ = true;
            line_ = 2;
            readHeader(header);
            return;
        }
        in_.clear();
        in_.seekg(0);
        line_ = 1;
        try {
            openDocument();
        } catch (const BadReport& bad) {
            throw BadReport{"is not a vemilo-cli --json or --jsonl report (" + bad.problem + ")"};
        }
    }

    const Shard& shard() const { return shard_; }
    const std::optional<std::string>& runId() const { return runId_; }
    const Json& header() const { return header_; }
    uint64_t line() const { return pairLine_; }

    // The next pair and its path, in path order; nothing after the last.
    std::optional<Json> next(std::string& path) {
        std::optional<Json> pair = lines_ ? nextLine() : nextElement();
        if (!pair) return std::nullopt;
        if (!pair->is_object()) throw bad("a pair is not a JSON object");
        if (!pair->value("verdict", Json()).is_string()) throw bad("field \"verdict\" is missing or not a string");
        const auto name = nameOf(*pair, "path");
        if (!pair->value("path", Json()).is_string() || !name)
            throw bad("field \"path\" is missing, not a string, or its bytes are not valid base64");
        if (previous_ && !byteOrderLess(*previous_, *name))
            throw bad("pairs out of path order: " + escapeControlCharacters(*name) + " after " +
                      escapeControlCharacters(*previous_));
        previous_ = *name;
        path = *name;
        return pair;
    }

private:
    BadReport bad(const std::string& problem) const {
        return BadReport{"line " + std::to_string(pairLine_) + ": " + problem};
    }

    void readHeader(const Json& header) {
        header_ = header;
        const Json& shard = header.value("shard", Json());
        if (!shard.is_null()) readShard(shard);
        const Json& runId = header.value("run_id", Json());
        if (runId.is_string())
            runId_ = runId.get<std::string>();
        else if (!runId.is_null())
            throw BadReport{"line 1: field \"run_id\" is not a string"};
    }

    void readShard(const Json& shard) {
        if (!shard.is_object() || !shard.value("index", Json()).is_number_unsigned() ||
            !shard.value("count", Json()).is_number_unsigned())
            throw BadReport{"has a malformed shard"};
        shard_ = {shard["index"].get<uint32_t>(), shard["count"].get<uint32_t>()};
        if (shard_.index < 1 || shard_.index > shard_.count) throw BadReport{"has a malformed shard"};
    }

    std::optional<Json> nextLine() {
        std::string text;
        while (std::getline(in_, text)) {
            pairLine_ = line_++;
            if (in_.eof()) throw bad("the last line is cut off: the run was interrupted (take it up with --resume)");
            const Json value = Json::parse(text, nullptr, false);
            if (value.is_discarded()) throw bad("not JSON");
            if (value.is_object() && value.contains("summary")) {
                finished_ = true;
                return std::nullopt;
            }
            return value;
        }
        if (!finished_) throw BadReport{"has no summary line: the run was interrupted (take it up with --resume)"};
        return std::nullopt;
    }

    // Reads the document's other keys (the run's name, its shard) wherever they stand, passing over
    // "pairs" without holding it, then stands at the array's first element.
    void openDocument() {
        get();  // '{'
        std::optional<std::streampos> pairsAt;
        uint64_t pairsLine = 0;
        for (;;) {
            skipSpace();
            if (peek() == '}') break;
            const Json key = Json::parse(scanValue(true), nullptr, false);
            skipSpace();
            if (!key.is_string() || get() != ':') throw BadReport{"line " + std::to_string(line_) + ": not JSON"};
            skipSpace();
            const uint64_t at = line_;
            if (key == "pairs") {
                if (peek() != '[') throw BadReport{"line " + std::to_string(at) + ": \"pairs\" is not an array"};
                pairsAt = in_.tellg();
                pairsLine = line_;
                scanValue(false);
            } else {
                const Json value = Json::parse(scanValue(true), nullptr, false);
                if (value.is_discarded()) throw BadReport{"line " + std::to_string(at) + ": not JSON"};
                if (key == "shard") readShard(value);
                if (key == "run_id") {
                    if (!value.is_string())
                        throw BadReport{"line " + std::to_string(at) + ": field \"run_id\" is not a string"};
                    runId_ = value.get<std::string>();
                }
            }
            skipSpace();
            if (peek() == ',') get();
        }
        if (!pairsAt) throw BadReport{"it has no \"pairs\""};
        in_.clear();
        in_.seekg(*pairsAt);
        line_ = pairsLine;
        get();  // '['
    }

    std::optional<Json> nextElement() {
        if (arrayDone_) return std::nullopt;
        skipSpace();
        if (peek() == ',' && !firstElement_) {
            get();
            skipSpace();
        }
        if (peek() == ']') {
            get();
            arrayDone_ = true;
            return std::nullopt;
        }
        firstElement_ = false;
        pairLine_ = line_;
        const Json value = Json::parse(scanValue(), nullptr, false);
        if (value.is_discarded()) throw bad("not JSON");
        return value;
    }

    int peek() { return in_.peek(); }
    int get() {
        const int c = in_.get();
        if (c == '\n') ++line_;
        return c;
    }
    void skipSpace() {
        while (peek() == ' ' || peek() == '\n' || peek() == '\t' || peek() == '\r') get();
    }

    // The text of one JSON value (or, without keep, nothing: a value passed over, however large);
    // strings and nesting are followed, not parsed.
    std::string scanValue(bool keep = true) {
        std::string text;
        int depth = 0;
        bool inString = false;
        bool started = false;
        for (;;) {
            const int c = peek();
            if (c == EOF) throw BadReport{"line " + std::to_string(line_) + ": the report ends inside a value"};
            if (!inString && depth == 0 && started &&
                (c == ',' || c == '}' || c == ']' || c == ':' || c == ' ' || c == '\n'))
                return text;
            get();
            started = true;
            if (keep) text += static_cast<char>(c);
            if (inString) {
                if (c == '\\') {
                    const int escaped = get();
                    if (escaped == EOF)
                        throw BadReport{"line " + std::to_string(line_) + ": the report ends inside a value"};
                    if (keep) text += static_cast<char>(escaped);
                } else if (c == '"') {
                    inString = false;
                    if (depth == 0) return text;
                }
            } else if (c == '"') {
                inString = true;
            } else if (c == '{' || c == '[') {
                ++depth;
            } else if (c == '}' || c == ']') {
                if (--depth == 0) return text;
            }
        }
    }

    std::ifstream in_;
    bool lines_ = false;
    uint64_t line_ = 1;
    uint64_t pairLine_ = 0;  // the line the last pair began on
    bool finished_ = false;
    bool arrayDone_ = false;
    bool firstElement_ = true;
    Shard shard_;
    std::optional<std::string> runId_;
    Json header_;
    std::optional<std::string> previous_;
};

// The partial report of a merge in progress, removed if a signal ends the merge.
char partialPath[4096];

void removePartialAndDie(int signal) {
    if (partialPath[0] != '\0') ::unlink(partialPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

Verdict mergeReports(const MergeOptions& options, std::FILE* out, std::FILE* err) {
    const std::string partial = options.output ? *options.output + ".partial" : std::string();
    const auto fail = [&](const std::string& path, const std::string& problem) -> Verdict {
        std::fprintf(err, "vemilo-cli: %s: %s\n", escapeControlCharacters(path).c_str(), problem.c_str());
        if (options.output) {
            // An older report left there would be taken for this run's verdict.
            ::unlink(partial.c_str());
            if (::unlink(options.output->c_str()) == 0)
                std::fprintf(err, "vemilo-cli: %s: removed, since the merge failed\n",
                             escapeControlCharacters(*options.output).c_str());
        }
        return Verdict::Trouble;
    };

    std::vector<std::unique_ptr<ShardReader>> readers;
    for (const std::string& path : options.reports) {
        try {
            readers.push_back(std::make_unique<ShardReader>(path));
        } catch (const BadReport& bad) {
            return fail(path, bad.problem);
        }
    }
    const ShardReader& first = *readers.front();
    const uint32_t count = first.shard().count;
    std::map<uint32_t, std::string> shards;  // index -> report
    for (size_t i = 0; i < readers.size(); ++i) {
        const ShardReader& reader = *readers[i];
        const std::string& path = options.reports[i];
        if (reader.shard().count != count) {
            return fail(path, "is shard " + std::to_string(reader.shard().index) + " of " +
                                  std::to_string(reader.shard().count) + ", but " + options.reports.front() +
                                  " is of " + std::to_string(count));
        }
        if (const auto [at, added] = shards.emplace(reader.shard().index, path); !added)
            return fail(path, "is shard " + std::to_string(reader.shard().index) + " again, as " + at->second + " is");
        if (reader.runId() != first.runId()) {
            const auto name = [](const std::optional<std::string>& id) {
                return id ? "run \"" + escapeControlCharacters(*id) + "\"" : std::string("an unnamed run");
            };
            return fail(path, "is a report of " + name(reader.runId()) + ", but " + options.reports.front() +
                                  " is of " + name(first.runId()));
        }
    }
    for (uint32_t index = 1; index <= count; ++index) {
        if (!shards.count(index))
            return fail(options.reports.front(),
                        "no report of shard " + std::to_string(index) + " of " + std::to_string(count) + " was given");
    }

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> partialFile(nullptr, std::fclose);
    if (options.output) {
        std::snprintf(partialPath, sizeof partialPath, "%s", partial.c_str());
        std::signal(SIGINT, removePartialAndDie);
        std::signal(SIGTERM, removePartialAndDie);
        partialFile.reset(std::fopen(partial.c_str(), "wb"));
        if (!partialFile) return fail(partial, std::string("cannot be written: ") + std::strerror(errno));
        out = partialFile.get();
    }

    RunDescription run;
    run.runId = first.runId();
    if (first.header().is_object()) {
        const Json folders = first.header().value("folders", Json());
        if (folders.is_array() && folders.size() == 2 && folders[0].is_string() && folders[1].is_string()) {
            run.folder1 = folders[0].get<std::string>();
            run.folder2 = folders[1].get<std::string>();
        }
        run.options = first.header().value("options", Json());
    }
    ReportStream merged(options.format, out, false);
    merged.begin(run, false);
    // The next pair of each report, smallest path first.
    using Head = std::pair<std::string, size_t>;
    // Ties go to the report named first, so that an overlap names the later one.
    const auto later = [](const Head& a, const Head& b) {
        return a.first == b.first ? a.second > b.second : byteOrderLess(b.first, a.first);
    };
    std::priority_queue<Head, std::vector<Head>, decltype(later)> heads(later);
    std::vector<std::optional<Json>> pending(readers.size());
    size_t reading = 0;
    try {
        const auto advance = [&](size_t i) {
            reading = i;
            std::string path;
            pending[i] = readers[i]->next(path);
            if (pending[i]) heads.emplace(path, i);
        };
        for (size_t i = 0; i < readers.size(); ++i) advance(i);
        std::optional<Head> last;
        while (!heads.empty()) {
            const Head head = heads.top();
            heads.pop();
            if (last && last->first == head.first)
                return fail(options.reports[head.second], "overlaps " + options.reports[last->second] + ": both hold " +
                                                              escapeControlCharacters(head.first));
            merged.addJson(*pending[head.second]);
            last = head;
            advance(head.second);
        }
    } catch (const BadReport& bad) {
        return fail(options.reports[reading], bad.problem);
    }
    merged.finish();
    if (partialFile) {
        const bool written = std::fflush(partialFile.get()) == 0 && !std::ferror(partialFile.get());
        partialFile.reset();
        if (!written || std::rename(partial.c_str(), options.output->c_str()) != 0)
            return fail(*options.output, std::string("cannot be written: ") + std::strerror(errno));
        partialPath[0] = '\0';
    }
    return verdictOf(merged.summary());
}

}  // namespace vemilo::archive
