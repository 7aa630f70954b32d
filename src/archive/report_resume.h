#pragma once
// Taking up an interrupted --folders --jsonl report: only a report of the same run, checked as a
// whole, is taken up; its pairs are carried over only where the trees still hold what they held.

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "archive/pair_walk.h"
#include "archive/report_header.h"
#include "archive/report_stream.h"

namespace vemilo::archive {

struct TakenUpReport {
    enum class State {
        Fresh,     // nothing to take up: no file, an empty one, or a header cut off while written
        Complete,  // the report has its summary: nothing is left to compare
        Partial,   // pairs up to lastPath are reported; the rest are not
    };
    State state = State::Fresh;
    ReportHeader header;                   // as the report holds it: when its run began
    std::optional<ReportTrailer> trailer;  // Complete
    std::optional<std::string> lastPath;   // Partial: the last pair reported, if any
};

// Reads the report at path without changing it. False, with the problem, for anything that is not
// such a report of this run (other folders, options, shard or run name), or is not sound as a whole.
bool takeUpReport(const std::string& path, const ReportHeader& run, TakenUpReport& taken, std::string& problem);

// Copies the pairs of a partial report into out, in order, against the pairs the walk meets now:
// each line stands as it was where the walk meets the same files; a path that appeared or
// disappeared on a side since the report began gets a trouble line instead, naming it. walk gives
// the walk's pairs in order; the first one past the report's last is left in pending.
void replayReport(const std::string& path, const TakenUpReport& taken, const std::array<std::string, 2>& folders,
                  const std::function<std::optional<PairedPath>()>& walk, std::optional<PairedPath>& pending,
                  ReportStream& out);

}  // namespace vemilo::archive
