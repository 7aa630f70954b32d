#include "compare/option_text.h"

#include <algorithm>

namespace vemilo {

std::string notAWholeNumberMessage(const std::string& text) { return "'" + text + "' は整数ではありません"; }

ConversionError::ConversionError(const std::string& text) : std::runtime_error(notAWholeNumberMessage(text)) {}

std::optional<int32_t> parseWholeNumber(const std::string& text) {
    size_t index = 0;
    bool negative = false;
    if (index < text.size() && (text[index] == '+' || text[index] == '-')) {
        negative = text[index] == '-';
        ++index;
    }
    if (index == text.size()) return std::nullopt;
    int64_t value = 0;
    for (; index < text.size(); ++index) {
        const char digit = text[index];
        if (digit < '0' || digit > '9') return std::nullopt;
        value = value * 10 + (digit - '0');
        if (value > static_cast<int64_t>(INT32_MAX) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
    return static_cast<int32_t>(value);
}

std::optional<uint32_t> convertOptionText(const std::string& text, int32_t minimum, int32_t maximum) {
    const std::optional<int32_t> value = parseWholeNumber(text);
    if (!value) return std::nullopt;
    return static_cast<uint32_t>(std::clamp(*value, minimum, maximum));
}

}  // namespace vemilo
