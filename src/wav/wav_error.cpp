#include "wav/wav_error.h"

#include <cerrno>
#include <cstring>

namespace vemilo {

std::string describeProblem(WavProblem problem, int systemError) {
    switch (problem) {
        case WavProblem::None: return "";
        case WavProblem::CannotOpen: return systemError != 0 ? std::strerror(systemError) : "not a regular file";
        case WavProblem::NotWave: return "not a WAV file";
        case WavProblem::TruncatedChunk: return "the file ends inside a chunk header";
        case WavProblem::NoFormat: return "no usable \"fmt \" chunk (sample rate or frame size missing)";
        case WavProblem::Stopped: return "stopped";
        case WavProblem::Superseded: return "another file was chosen meanwhile";
        case WavProblem::OutOfMemory: return std::strerror(ENOMEM);
        case WavProblem::Changed: return "the file changed after its header was read";
    }
    return "";
}

}  // namespace vemilo
