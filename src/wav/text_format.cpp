#include "wav/text_format.h"

#include "wav/reporter.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace vemilo {

namespace {

std::string formatList(const char* format, va_list args) {
    // Most lines fit the first buffer: one pass over the format, not two.
    char buffer[256];
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    std::string text;
    if (length > 0 && static_cast<size_t>(length) < sizeof buffer) {
        text.assign(buffer, static_cast<size_t>(length));
    } else if (length > 0) {
        std::vector<char> large(static_cast<size_t>(length) + 1);
        std::vsnprintf(large.data(), large.size(), format, copy);
        text.assign(large.data(), static_cast<size_t>(length));
    }
    va_end(copy);
    return text;
}

}  // namespace

std::string formatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatList(format, args);
    va_end(args);
    return text;
}

void logFormatted(Reporter& reporter, const char* format, ...) {
    if (!reporter.keepsText()) return;
    va_list args;
    va_start(args, format);
    const std::string text = formatList(format, args);
    va_end(args);
    reporter.logLine(text);
}

std::string escapeControlCharacters(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        switch (byte) {
            case '\n': out += "\\n"; continue;
            case '\r': out += "\\r"; continue;
            case '\t': out += "\\t"; continue;
            case '\\': out += "\\\\"; continue;
            default: break;
        }
        if (byte < 0x20 || byte == 0x7F) {
            out += formatText("\\x%02x", byte);
        } else if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x85) {
            out += "\\u0085";  // NEXT LINE
            ++i;
        } else if (byte == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                    static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
            out +=
                static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";  // line, paragraph separator
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace vemilo
