#pragma once
// Conversion of the option edit boxes' texts, shared by the engine and the window.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace vemilo {

// Raised when an option text is not a whole number; the window's error display shows it.
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const std::string& text);
};

// A decimal whole number with an optional sign and nothing else, within 32 bits.
std::optional<int32_t> parseWholeNumber(const std::string& text);

// Converts an option text and clamps it into [minimum, maximum]; throws ConversionError.
uint32_t convertOptionText(const std::string& text, int32_t minimum, int32_t maximum);

}  // namespace vemilo
