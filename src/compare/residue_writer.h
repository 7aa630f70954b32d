#pragma once
// The residue of a measured pair, file 1 minus file 2 as compared, as a WAV file of 32-bit floats
// at the pair's rate and channels, so that it can be listened to and looked at in any editor.
// Written beside its name and put there only once whole: never a half residue, never over an
// input file.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "compare/pair_measure.h"

namespace vemilo {

class ResidueWriter : public ResidueSink {
public:
    explicit ResidueWriter(std::string path);
    ~ResidueWriter() override;  // an unfinished residue is removed
    ResidueWriter(const ResidueWriter&) = delete;
    ResidueWriter& operator=(const ResidueWriter&) = delete;

    // Why path may not receive a residue: it names one of the inputs, or something that is not a
    // regular file; nothing when it may.
    static std::optional<std::string> refusal(const std::string& path, const std::vector<std::string>& inputs);

    void begin(uint32_t sampleRate, uint16_t channels) override;
    void add(const float* differences, uint64_t count) override;
    // Completes the header and puts the file in its place; the problem, or nothing. A run that
    // measured nothing (formats that differ, say) leaves no file.
    std::optional<std::string> finish();

private:
    void writeHeader();

    std::string path_;
    std::string partial_;
    std::FILE* file_ = nullptr;
    uint32_t sampleRate_ = 0;
    uint16_t channels_ = 0;
    uint64_t frames_ = 0;
    bool failed_ = false;
};

}  // namespace vemilo
