#pragma once
// Naming a file for one side: its header into the slot and the pane, then its silent frames.

#include <string>

#include "wav/file_slot.h"
#include "wav/wav_error.h"

namespace vemilo {

class Reporter;
class ScanBuffer;

// loadFileSlot, then scanZeroRuns, on the same slot and side. No error when the file was read as a
// WAV file with a usable format and scanned; else the first thing that went wrong. A caller that
// chooses many files in a row may lend the scan its buffer.
WavError chooseFile(FileSlot& slot, int side, const std::string& path, Reporter& reporter,
                    ScanBuffer* scanBuffer = nullptr);

}  // namespace vemilo
