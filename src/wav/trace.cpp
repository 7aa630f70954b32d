#include "wav/trace.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

namespace vemilo {
namespace {

void writeToStandardOutput(const std::string& line) { std::fwrite(line.data(), 1, line.size(), stdout); }

TraceSink& currentSink() {
    static TraceSink sink = writeToStandardOutput;
    return sink;
}

}  // namespace

bool traceEnabled() { return static_cast<bool>(currentSink()); }

TraceSink setTraceSink(TraceSink sink) { return std::exchange(currentSink(), std::move(sink)); }

void trace(const char* format, ...) {
    const TraceSink& sink = currentSink();
    if (!sink) return;
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < 0) return;
    const size_t kept = static_cast<size_t>(length) < sizeof buffer ? static_cast<size_t>(length) : sizeof buffer - 1;
    sink(std::string(buffer, kept));
}

void traceText(const std::string& line) {
    const TraceSink& sink = currentSink();
    if (sink) sink(line);
}

}  // namespace vemilo
