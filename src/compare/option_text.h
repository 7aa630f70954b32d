#pragma once
// Conversion of the option edit boxes' texts, shared by the engine and the window.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace vemilo {

// Raised by the window's own number conversion; its error display shows it.
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const std::string& text);
};

// A decimal whole number with an optional sign and nothing else, within 32 bits.
std::optional<int32_t> parseWholeNumber(const std::string& text);

// An option text clamped into [minimum, maximum]; nothing when it is not a whole number.
std::optional<uint32_t> convertOptionText(const std::string& text, int32_t minimum, int32_t maximum);

// What the error display says of a text that is not a whole number.
std::string notAWholeNumberMessage(const std::string& text);

}  // namespace vemilo
