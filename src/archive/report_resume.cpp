#include "archive/report_resume.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "archive/json_names.h"
#include "archive/report_check.h"
#include "archive/report_reader.h"
#include "wav/text_format.h"
#include "wav/wav_file_list.h"

namespace vemilo::archive {
namespace {

using Json = nlohmann::ordered_json;

// A first line cut off while it was written: what the header's first bytes are, and no more.
bool isTornHeader(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char bytes[4096];
    const ssize_t got = ::read(fd, bytes, sizeof bytes);
    ::close(fd);
    if (got <= 0 || static_cast<size_t>(got) == sizeof bytes) return false;
    const std::string text(bytes, static_cast<size_t>(got));
    const std::string start = "{\"vemilo_report\":";
    return text.find('\n') == std::string::npos &&
           (text.size() <= start.size() ? start.rfind(text, 0) == 0 : text.rfind(start, 0) == 0);
}

std::string describe(const std::vector<RunDifference>& differences) {
    std::string text;
    for (const RunDifference& difference : differences) {
        if (!text.empty()) text += ", ";
        text += difference.field + " " + difference.first + " there, " + difference.second + " here";
    }
    return text;
}

bool fileEmpty(const std::string& path, bool& missing) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    missing = fd < 0 && errno == ENOENT;
    if (fd < 0) return missing;
    char byte;
    const ssize_t got = ::read(fd, &byte, 1);
    ::close(fd);
    return got == 0;
}

// What changed on each side since the report began, as a trouble line's message; a path that named
// nothing compared on either side (an unreadable folder, say) came or went as a whole.
std::string changeMessage(const std::array<bool, 2>& before, const std::array<bool, 2>& now, bool appeared) {
    if (before == now) return appeared ? "appeared after the report began" : "disappeared after the report began";
    std::string message;
    for (int side = 0; side < 2; ++side) {
        if (before[side] == now[side]) continue;
        if (!message.empty()) message += "; ";
        message += formatText("folder %d: %s after the report began", side + 1, now[side] ? "appeared" : "disappeared");
    }
    return message;
}

}  // namespace

bool takeUpReport(const std::string& path, const ReportHeader& run, TakenUpReport& taken, std::string& problem) {
    taken = {};
    bool missing = false;
    if (fileEmpty(path, missing) || isTornHeader(path)) return true;
    try {
        ReportReader reader(path);
        if (reader.format() != ReportFormat::JsonLines) {
            problem = "is a --json report: only --jsonl reports are taken up";
            return false;
        }
        if (const auto differences = runDifferences(reader.header(), run, true); !differences.empty()) {
            problem = "holds the report of another run: " + describe(differences);
            return false;
        }
        taken.header = reader.header();
        ReportChecker checker(reader.header());
        while (const auto pair = reader.nextPair()) {
            if (!checker.checkPair(*pair, problem)) throw ReportFault{reader.line(), problem};
        }
        taken.lastPath = checker.lastPath();
        if (reader.trailer()) {
            taken.trailer = checker.checkTrailer(*reader.trailer(), problem);
            if (!taken.trailer) throw ReportFault{reader.line(), problem};
            taken.state = TakenUpReport::State::Complete;
        } else {
            taken.state = TakenUpReport::State::Partial;
        }
    } catch (const ReportFault& fault) {
        problem = fault.text();
        return false;
    }
    return true;
}

void replayReport(const std::string& path, const TakenUpReport& taken, const std::array<std::string, 2>& folders,
                  const std::function<std::optional<PairedPath>()>& walk, std::optional<PairedPath>& pending,
                  ReportStream& out) {
    ReportReader reader(path);
    std::optional<Json> line = reader.nextPair();
    pending = walk();
    const auto reported = [&](const PairedPath& pair) {
        return taken.lastPath && !byteOrderLess(*taken.lastPath, pair.path);
    };
    const auto trouble = [&](const std::string& relative, const std::array<std::optional<std::string>, 2>& files,
                             const std::string& message) {
        out.add(unseenPair(relative, files[0], files[1], message));
    };
    while (line || (pending && reported(*pending))) {
        std::optional<std::string> linePath = line ? nameOf(*line, "path") : std::nullopt;
        const std::array<std::optional<std::string>, 2> lineFiles =
            line ? std::array{line->value("file1", Json()).is_null() ? std::nullopt : nameOf(*line, "file1"),
                              line->value("file2", Json()).is_null() ? std::nullopt : nameOf(*line, "file2")}
                 : std::array<std::optional<std::string>, 2>{};
        const bool walked = pending && reported(*pending);
        if (line && (!walked || byteOrderLess(*linePath, pending->path))) {
            trouble(*linePath, lineFiles,
                    changeMessage({lineFiles[0].has_value(), lineFiles[1].has_value()}, {}, false));
            line = reader.nextPair();
            continue;
        }
        const std::array<bool, 2> now = {pending->inFolder1, pending->inFolder2};
        const std::array<std::optional<std::string>, 2> files = {
            now[0] ? std::optional(joinPath(folders[0], pending->names[0])) : std::nullopt,
            now[1] ? std::optional(joinPath(folders[1], pending->names[1])) : std::nullopt};
        if (!line || byteOrderLess(pending->path, *linePath)) {
            trouble(pending->path, files, changeMessage({}, now, true));
        } else if (const std::array<bool, 2> before = {lineFiles[0].has_value(), lineFiles[1].has_value()};
                   before != now) {
            trouble(pending->path, files, changeMessage(before, now, true));
            line = reader.nextPair();
        } else {
            out.addLine(reader.rawLine(), *verdictNamed(line->value("verdict", "")));
            line = reader.nextPair();
        }
        pending = walk();
    }
}

}  // namespace vemilo::archive
