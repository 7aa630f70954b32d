#pragma once
// Where the comparison engine gets its frames: one small interface, so that another kind of audio
// file can stand behind it without the engine knowing.

#include <cstdint>
#include <memory>
#include <string>

#include "wav/sample_format.h"
#include "wav/wav_error.h"
#include "wav/wav_reader.h"

namespace vemilo {

struct FileSlot;

class FrameSource {
public:
    virtual ~FrameSource() = default;

    virtual const SampleFormat& format() const = 0;
    // Frames the file declares; a damaged file may hold fewer.
    virtual uint64_t frameCount() const = 0;
    // Makes frame (counted from the first frame of the audio data) the next one read.
    virtual void seekFrame(uint64_t frame) = 0;
    // Reads up to maxFrames whole frames from where the source stands into buffer, which holds at
    // least maxFrames frames; returns the frames read, fewer only where the file ends.
    virtual uint64_t readFrames(uint8_t* buffer, uint64_t maxFrames) = 0;
    // Where the next frame lies in the file, in bytes from its start, and how much the file holds:
    // what the log's position lines and the progress bar show.
    virtual uint64_t position() const = 0;
    virtual uint64_t fileBytes() const = 0;
    // The file as it is now: the engine checks that it did not change while it was compared.
    virtual FileIdentity identity() const = 0;
    // What reading the file found wrong with it (a decode error, a stored checksum the audio does
    // not match), as a log line's sentence; empty while nothing is. Such a file never passes.
    virtual std::string damage() const { return {}; }
    // Worth saying once about a file read to its end, though no fault ("no MD5 stored").
    virtual std::string remark() const { return {}; }
};

// Opens the frames of a file loaded into a slot; its error (CannotOpen, with the system's reason)
// when the file cannot be opened.
struct OpenedSource {
    std::unique_ptr<FrameSource> source;
    WavError error;
};
OpenedSource openFrameSource(const FileSlot& slot);

}  // namespace vemilo
