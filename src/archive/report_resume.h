#pragma once
// Taking up an interrupted --folders --jsonl report: which pairs it holds, what they counted, and
// whether it was made by the same run.

#include <optional>
#include <string>

#include "archive/report_stream.h"

namespace vemilo::archive {

struct ResumePoint {
    bool resumed = false;                 // the file holds a report this run goes on with
    Summary summary;                      // of the pairs it holds
    std::optional<std::string> lastPath;  // the last of them; pairs up to it are not compared again
};

// Reads the report at path. A missing or empty file, or one holding only a torn header, is a new
// report; a torn last line, and a summary line, are cut off so that the run appends after the last
// whole pair. False, with the problem, for a file that is no such report or one of another run:
// other folders, options, shard or run name.
bool takeUpReport(const std::string& path, const RunDescription& run, ResumePoint& point, std::string& problem);

}  // namespace vemilo::archive
