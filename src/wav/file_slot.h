#pragma once
// What the system knows of file 1 and file 2, and the summary lines of a loaded file.

#include <array>
#include <cstdint>
#include <string>

#include "wav/decoded_file.h"
#include "wav/sample_format.h"
#include "wav/wav_header.h"

namespace vemilo {

class Reporter;

struct FileSlot {
    std::string path;  // empty: no file chosen for this side
    uint64_t dataBytes = 0;
    uint64_t frameCount = 0;  // whole frames of the data
    uint64_t leadingSilentFrames = 0;
    uint64_t trailingSilentFrames = 0;
    uint64_t dataOffset = 0;
    SampleFormat format;
    uint64_t trailerBytes = 0;
    WavError loadError;  // why the file could not be read as WAV
    // Bytes the data chunk declares beyond the end of the file (a streaming size aside): a copy
    // cut short. Its frames past the end do not exist, so no comparison of it can pass.
    uint64_t missingDataBytes = 0;
    FileIdentity identity;  // the file as its header was read; a later open must find the same
    // WAV files are read as they lie; any other container is decoded, as its header described it.
    Container container = Container::Wav;
    DecodedInfo decoded;
    // Changes with every load, so that a scan interrupted by another load can tell.
    uint64_t loadId = 0;
};

using FileSlots = std::array<FileSlot, 2>;

// Why the slot's file cannot be compared: its load's error, or NoFormat for a format without a
// rate or frame size; no error when it can be compared.
WavError slotError(const FileSlot& slot);

// Reads the header of the file at path into the slot and writes the four summary lines to the
// side's information pane. Leaves the zero counts to the zero-run scan that follows. No error when
// the file has a usable format; else why not, as the slot's loadError also says. A long header walk
// lets the reporter handle pending events; if the slot is loaded again meanwhile, this load leaves
// slot and pane to the newer one (Superseded).
WavError loadFileSlot(FileSlot& slot, int side, const std::string& path, Reporter& reporter);

// "mono", "stereo", or the count of channels as "6ch".
std::string channelsText(uint16_t channels);

// h:mm:ss.mmm for a playing time in seconds ("-" for none a file can have).
std::string formatDuration(double seconds);
// The same for frames at a rate, exact for any count of frames.
std::string formatPlayingTime(uint64_t frames, uint32_t sampleRate);

}  // namespace vemilo
