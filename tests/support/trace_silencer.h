#pragma once

#include "wav/trace.h"

namespace vemilo::testing {

// Silences the header trace for the life of a test, then restores the sink it found.
class TraceSilencer {
public:
    TraceSilencer() : previous_(setTraceSink({})) {}
    ~TraceSilencer() { setTraceSink(previous_); }
    TraceSilencer(const TraceSilencer&) = delete;
    TraceSilencer& operator=(const TraceSilencer&) = delete;

private:
    TraceSink previous_;
};

}  // namespace vemilo::testing
