#pragma once
// Diagnostic trace of the file reader and the header parser. It never reaches the window;
// by default it goes to standard output, and hosts may redirect or silence it.

#include <functional>
#include <string>

namespace vemilo {

using TraceSink = std::function<void(const std::string& line)>;

// Replaces the sink; an empty function silences the trace. Returns the previous sink.
TraceSink setTraceSink(TraceSink sink);

// True when trace lines go anywhere; callers may skip building lines nobody reads.
bool traceEnabled();

// Writes one formatted trace line (the caller includes the line feed).
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes a line as it stands, bytes and all (a chunk ID may hold any byte, NUL included).
void traceText(const std::string& line);

}  // namespace vemilo
