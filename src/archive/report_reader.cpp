#include "archive/report_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <vector>

namespace vemilo::archive {

using Json = nlohmann::ordered_json;

// A file descriptor read forward through a buffer, counting bytes and lines. A budget, when set,
// ends the input early, so that no value read through it can be longer than the budget.
class ByteSource {
public:
    ByteSource(int fd, bool owned) : fd_(fd), owned_(owned), buffer_(1u << 16) {}
    ~ByteSource() {
        if (owned_) ::close(fd_);
    }
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    int peek() {
        if (begin_ == end_ && !fill()) return -1;
        return static_cast<unsigned char>(buffer_[begin_]);
    }
    int get() {
        const int c = peek();
        if (c < 0) return c;
        ++begin_;
        ++offset_;
        if (c == '\n') ++line_;
        return c;
    }
    bool atEnd() { return offset_ >= budgetEnd_ || peek() < 0; }
    void skipSpace() {
        for (int c = peek(); c == ' ' || c == '\n' || c == '\t' || c == '\r'; c = peek()) get();
    }
    void setBudget(uint64_t bytes) { budgetEnd_ = offset_ + bytes; }
    void clearBudget() { budgetEnd_ = UINT64_MAX; }
    bool budgetSpent() const { return offset_ >= budgetEnd_; }

    uint64_t offset() const { return offset_; }
    uint64_t line() const { return line_; }

    enum class LineEnd { Whole, Torn, TooLong, None };
    // The next line without its newline, at most limit bytes of it kept.
    LineEnd readLine(std::string& text, uint64_t limit) {
        text.clear();
        if (peek() < 0) return LineEnd::None;
        for (;;) {
            if (begin_ == end_ && !fill()) return LineEnd::Torn;
            const char* start = buffer_.data() + begin_;
            const size_t available = end_ - begin_;
            const void* newline = std::memchr(start, '\n', available);
            const size_t take = newline ? static_cast<size_t>(static_cast<const char*>(newline) - start) : available;
            if (text.size() + take > limit) return LineEnd::TooLong;
            text.append(start, take);
            begin_ += take;
            offset_ += take;
            if (newline) {
                get();
                return LineEnd::Whole;
            }
        }
    }

private:
    bool fill() {
        if (eof_) return false;
        begin_ = end_ = 0;
        for (;;) {
            const ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
            if (got > 0) {
                end_ = static_cast<size_t>(got);
                return true;
            }
            if (got == 0) {
                eof_ = true;
                return false;
            }
            if (errno != EINTR) throw ReportFault{line_, std::string("cannot be read: ") + std::strerror(errno)};
        }
    }

    int fd_;
    bool owned_;
    std::vector<char> buffer_;
    size_t begin_ = 0, end_ = 0;
    bool eof_ = false;
    uint64_t offset_ = 0;
    uint64_t line_ = 1;
    uint64_t budgetEnd_ = UINT64_MAX;
};

namespace {

// The source's bytes as nlohmann's parser takes them: an input iterator that ends with the input
// or the budget.
class SourceIterator {
public:
    // NOLINTBEGIN(readability-identifier-naming): the names std::iterator_traits looks for
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = char;
    // NOLINTEND(readability-identifier-naming)

    SourceIterator() = default;
    explicit SourceIterator(ByteSource* source) : source_(source) {}
    char operator*() const { return static_cast<char>(source_->peek()); }
    SourceIterator& operator++() {
        source_->get();
        return *this;
    }
    SourceIterator operator++(int) {
        SourceIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const SourceIterator& other) const { return ended() == other.ended(); }

private:
    bool ended() const { return source_ == nullptr || source_->atEnd(); }
    ByteSource* source_ = nullptr;
};

// Builds the value as nlohmann's own DOM parser would, but refuses what no report holds: nesting
// deeper than the limit and a key given twice in one object (which would otherwise keep the last).
class LimitedBuilder {
public:
    explicit LimitedBuilder(Json& root) : root_(root) {}

    // NOLINTBEGIN(readability-identifier-naming): the names nlohmann's SAX interface calls
    bool null() { return put(nullptr); }
    bool boolean(bool value) { return put(value); }
    bool number_integer(Json::number_integer_t value) { return put(value); }
    bool number_unsigned(Json::number_unsigned_t value) { return put(value); }
    bool number_float(Json::number_float_t value, const std::string&) { return put(value); }
    bool string(std::string& value) { return put(std::move(value)); }
    bool binary(Json::binary_t&) { return refuse("binary data"); }
    bool start_object(std::size_t) { return open(Json::object()); }
    bool key(std::string& name) {
        Json& object = *stack_.back();
        if (object.contains(name)) return refuse("key \"" + name + "\" appears twice in one object");
        key_ = &object[name];
        return true;
    }
    bool end_object() { return close(); }
    bool start_array(std::size_t) { return open(Json::array()); }
    bool end_array() { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) {
        const bool ended = std::string(error.what()).find("end of input") != std::string::npos;
        return refuse(ended ? "the report ends inside a value" : "not JSON");
    }
    // NOLINTEND(readability-identifier-naming)

    const std::string& problem() const { return problem_; }

private:
    bool refuse(const std::string& problem) {
        if (problem_.empty()) problem_ = problem;
        return false;
    }
    template <typename Value>
    Json* place(Value&& value) {
        if (stack_.empty()) {
            root_ = Json(std::forward<Value>(value));
            return &root_;
        }
        if (stack_.back()->is_array()) {
            stack_.back()->emplace_back(std::forward<Value>(value));
            return &stack_.back()->back();
        }
        *key_ = Json(std::forward<Value>(value));
        return key_;
    }
    template <typename Value>
    bool put(Value&& value) {
        place(std::forward<Value>(value));
        return true;
    }
    bool open(Json&& empty) {
        if (stack_.size() >= kDeepestReportValue)
            return refuse("nested deeper than " + std::to_string(kDeepestReportValue) + " levels");
        stack_.push_back(place(std::move(empty)));
        return true;
    }
    bool close() {
        stack_.pop_back();
        return true;
    }

    Json& root_;
    std::vector<Json*> stack_;
    Json* key_ = nullptr;
    std::string problem_;
};

std::string tooLong() {
    return "longer than " + std::to_string(kLongestReportValue >> 20) +
           " MiB, which no report value is (a pair's line is small)";
}

}  // namespace

std::optional<Json> parseLimitedObject(const std::string& text, std::string& problem) {
    if (text.size() > kLongestReportValue) {
        problem = tooLong();
        return std::nullopt;
    }
    Json value;
    LimitedBuilder builder(value);
    if (!Json::sax_parse(text.begin(), text.end(), &builder)) {
        problem = builder.problem().empty() ? "not JSON" : builder.problem();
        return std::nullopt;
    }
    if (!value.is_object()) {
        problem = "not a JSON object";
        return std::nullopt;
    }
    return value;
}

ReportReader::ReportReader(const std::string& path) {
    int fd = 0;
    if (path != "-") {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) throw ReportFault{0, std::string("cannot be opened: ") + std::strerror(errno)};
    }
    source_ = std::make_unique<ByteSource>(fd, path != "-");
    try {
        source_->skipSpace();
        if (source_->peek() != '{') fail("it does not begin with a JSON object");
        openDocument();
    } catch (const ReportFault& fault) {
        throw ReportFault{0, "is not a vemilo-cli --json or --jsonl report (" + fault.text() + ")"};
    }
}

ReportReader::~ReportReader() = default;

void ReportReader::fail(const std::string& problem) const { throw ReportFault{valueLine_, problem}; }

Json ReportReader::parseValue() {
    source_->skipSpace();
    valueLine_ = source_->line();
    source_->setBudget(kLongestReportValue);
    Json value;
    LimitedBuilder builder(value);
    const bool parsed = Json::sax_parse(SourceIterator(source_.get()), SourceIterator(), &builder,
                                        nlohmann::detail::input_format_t::json, false);
    const bool spent = source_->budgetSpent();
    source_->clearBudget();
    if (!parsed) {
        if (spent) fail(tooLong());
        // Cut off anywhere in a value (a string, a number, an object), the input simply ended.
        if (source_->peek() < 0) fail("the report ends inside a value");
        fail(builder.problem().empty() ? "not JSON" : builder.problem());
    }
    return value;
}

std::string ReportReader::parseKey() {
    const Json key = parseValue();
    source_->skipSpace();
    if (!key.is_string() || source_->get() != ':') fail("not JSON: a key was expected");
    return key.get<std::string>();
}

// A JSON Lines report's first line is its header, a whole object; a --json document's first member
// is its "header" (or, in older documents, its run and shard before "pairs").
void ReportReader::openDocument() {
    source_->get();  // '{'
    source_->skipSpace();
    const uint64_t firstLine = source_->line();
    if (source_->peek() == '}') fail("an empty object");
    std::string key = parseKey();
    if (key == "vemilo_report") {
        // The rest of the line belongs to the header: read it whole and parse it with its start.
        std::string rest;
        const auto end = source_->readLine(rest, kLongestReportValue);
        if (end == ByteSource::LineEnd::TooLong) fail(tooLong());
        std::string problem;
        const auto header = parseLimitedObject("{\"vemilo_report\":" + rest, problem);
        if (!header || end != ByteSource::LineEnd::Whole)
            throw ReportFault{firstLine, header ? "the header line is cut off" : "the header is " + problem};
        const auto read = readHeader(*header, problem);
        if (!read) throw ReportFault{firstLine, problem};
        header_ = *read;
        format_ = ReportFormat::JsonLines;
        endOfLastPair_ = source_->offset();
        return;
    }
    format_ = ReportFormat::Json;
    Json preamble = Json::object();
    for (;;) {
        if (key == "pairs") break;
        if (preamble.contains(key)) fail("key \"" + key + "\" appears twice");
        preamble[key] = parseValue();
        source_->skipSpace();
        if (source_->get() != ',') fail("it has no \"pairs\"");
        key = parseKey();
    }
    std::string problem;
    if (preamble.contains("header")) {
        const auto read = readHeader(preamble["header"], problem);
        if (!read) throw ReportFault{firstLine, problem};
        header_ = *read;
    } else {
        header_ = legacyHeader(preamble, problem);
        if (!problem.empty()) throw ReportFault{firstLine, problem};
    }
    source_->skipSpace();
    valueLine_ = source_->line();
    if (source_->get() != '[') fail("\"pairs\" is not an array");
}

std::optional<Json> ReportReader::nextPair() {
    if (pairsDone_) return std::nullopt;
    std::optional<Json> pair = format_ == ReportFormat::JsonLines ? nextLine() : nextElement();
    if (!pair) pairsDone_ = true;
    return pair;
}

std::optional<Json> ReportReader::nextLine() {
    const uint64_t line = source_->line();
    const auto end = source_->readLine(rawLine_, kLongestReportValue);
    valueLine_ = line;
    switch (end) {
        case ByteSource::LineEnd::None: return std::nullopt;
        case ByteSource::LineEnd::Torn: torn_ = true; return std::nullopt;
        case ByteSource::LineEnd::TooLong: fail(tooLong());
        case ByteSource::LineEnd::Whole: break;
    }
    std::string problem;
    std::optional<Json> value = parseLimitedObject(rawLine_, problem);
    if (!value) fail(problem);
    if (value->contains("summary")) {
        trailer_ = std::move(value);
        std::string after;
        const uint64_t afterLine = source_->line();
        if (source_->readLine(after, kLongestReportValue) != ByteSource::LineEnd::None)
            throw ReportFault{afterLine, "a line after the summary"};
        return std::nullopt;
    }
    endOfLastPair_ = source_->offset();
    return value;
}

std::optional<Json> ReportReader::nextElement() {
    source_->skipSpace();
    if (source_->peek() == ']') {
        source_->get();
        readDocumentEnd();
        return std::nullopt;
    }
    if (!firstElement_) {
        valueLine_ = source_->line();
        const int c = source_->get();
        if (c < 0) fail("the report ends inside a value");
        if (c != ',') fail("not JSON: a comma or the end of \"pairs\" was expected");
    }
    firstElement_ = false;
    return parseValue();
}

// After "pairs": the trailer's members, the document's end, and nothing more.
void ReportReader::readDocumentEnd() {
    Json trailer = Json::object();
    for (;;) {
        source_->skipSpace();
        valueLine_ = source_->line();
        const int c = source_->get();
        if (c == '}') break;
        if (c != ',') fail(c < 0 ? "the report ends before its summary" : "not JSON after \"pairs\"");
        const std::string key = parseKey();
        if (key == "pairs" || trailer.contains(key)) fail("key \"" + key + "\" appears twice");
        trailer[key] = parseValue();
    }
    source_->skipSpace();
    if (source_->peek() >= 0) {
        valueLine_ = source_->line();
        fail("something after the end of the document");
    }
    if (!trailer.empty()) trailer_ = std::move(trailer);
}

}  // namespace vemilo::archive
