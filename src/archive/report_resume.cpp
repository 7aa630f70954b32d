#include "archive/report_resume.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "archive/json_names.h"

namespace vemilo::archive {
namespace {

using Json = nlohmann::ordered_json;

// What differs between the run a report was made by and this one, as a phrase; empty if nothing.
std::string whatDiffers(const Json& found, const Json& wanted) {
    std::string differs;
    const auto note = [&](const std::string& what, const Json& there, const Json& here) {
        if (there == here) return;
        if (!differs.empty()) differs += ", ";
        differs += what + " " + there.dump(-1, ' ', false, Json::error_handler_t::replace) + " there, " +
                   here.dump(-1, ' ', false, Json::error_handler_t::replace) + " here";
    };
    note("folders", found.value("folders", Json()), wanted["folders"]);
    const Json foundOptions = found.value("options", Json::object());
    for (const auto& [key, value] : wanted["options"].items()) note(key, foundOptions.value(key, Json()), value);
    note("shard", found.value("shard", Json()), wanted["shard"]);
    note("run id", found.value("run_id", Json()), wanted["run_id"]);
    return differs;
}

}  // namespace

bool takeUpReport(const std::string& path, const RunDescription& run, ResumePoint& point, std::string& problem) {
    point = {};
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno == ENOENT) return true;  // nothing to take up: a new report
        problem = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    uint64_t kept = 0;  // bytes of whole lines to keep
    uint64_t offset = 0;
    uint64_t lineNumber = 0;
    std::string line;
    bool sawHeader = false;
    while (std::getline(in, line)) {
        ++lineNumber;
        const bool whole = !in.eof();  // a line without its newline was cut off by the interruption
        const uint64_t start = offset;
        offset += line.size() + (whole ? 1 : 0);
        if (!whole) break;
        const Json value = Json::parse(line, nullptr, false);
        if (value.is_discarded() || !value.is_object()) {
            problem = "line " + std::to_string(lineNumber) + " is not JSON";
            return false;
        }
        if (!sawHeader) {
            if (value.value("vemilo_report", "") != "jsonl") {
                problem = "is not a vemilo-cli --jsonl report (its first line is no header)";
                return false;
            }
            if (const std::string differs = whatDiffers(value, headerJson(run)); !differs.empty()) {
                problem = "holds the report of another run: " + differs;
                return false;
            }
            sawHeader = true;
            kept = offset;
            continue;
        }
        // A finished report: its summary is written anew after whatever this run adds.
        if (value.contains("summary")) {
            kept = start;
            break;
        }
        const auto pairPath = nameOf(value, "path");
        if (!value.value("verdict", Json()).is_string() || !pairPath) {
            problem = "line " + std::to_string(lineNumber) + " is no pair with a path and a verdict";
            return false;
        }
        countVerdictName(point.summary, value["verdict"].get<std::string>());
        point.lastPath = *pairPath;
        kept = offset;
    }
    in.close();
    if (::truncate(path.c_str(), static_cast<off_t>(kept)) != 0) {
        problem = std::string("cannot be cut back to its last whole line: ") + std::strerror(errno);
        return false;
    }
    point.resumed = sawHeader;
    if (!sawHeader) point = {};
    return true;
}

}  // namespace vemilo::archive
