#pragma once
// What went wrong with a file, and where: the one vocabulary in which every operation on a file
// that can fail says so, and the sentences users read for it.

#include <cstdint>
#include <string>

namespace vemilo {

enum class WavProblem : uint8_t {
    None,
    CannotOpen,           // the system refused the open (systemError says why) or it is not a regular file
    NotWave,              // the first bytes are not "RIFF"/"RF64"/"BW64" ... "WAVE"
    TruncatedChunk,       // the file ends inside a chunk header
    NoFormat,             // no "fmt " chunk, or one without a sample rate or frame size
    Stopped,              // the work was stopped before its end: the program is ending
    Superseded,           // a newer choice for the same side took over while the work let the window run
    OutOfMemory,          // a buffer for the work could not be had
    Changed,              // the file is not the one whose header was read: replaced or rewritten since
    Undecodable,          // a FLAC, AIFF or CAF file whose header cannot be read
    UnsupportedEncoding,  // a decoded file whose samples are not integer PCM or IEEE float
};

struct WavError {
    WavProblem problem = WavProblem::None;
    int systemError = 0;  // the system's error number, where the system refused
    uint64_t offset = 0;  // the byte offset in the file at which the problem was found
    // Undecodable, UnsupportedEncoding: what the file holds, as it is named ("FLAC", "µ-law").
    const char* encoding = nullptr;

    explicit operator bool() const { return problem != WavProblem::None; }
    bool operator==(const WavError&) const = default;
};

// A sentence for a problem, with the system's own text for a refused open and the name of an
// encoding that cannot be read.
std::string describeProblem(WavProblem problem, int systemError, const char* encoding = nullptr);
inline std::string describeError(const WavError& error) {
    return describeProblem(error.problem, error.systemError, error.encoding);
}

// The reason in the window's language, for message boxes and log lines: "ファイルが見つかりません".
std::string japaneseReason(const WavError& error);

// Why the system refused to write or create a file, in the window's language: "書き込みの権限がありません".
std::string japaneseWriteReason(int systemError);

// "ファイル1 PATH を読めません: REASON", the path escaped as log lines escape it.
std::string cannotReadMessage(int side, const std::string& path, const WavError& error);

}  // namespace vemilo
