#pragma once

#include <string>

namespace vemilo {

// printf into a std::string of any length, for the pane and log lines.
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A path as a log or pane line shows it: control characters and Unicode line separators are
// written as escapes (\n, \t, \x1b, \u2028), so that a file name can never start a line of its
// own and pass for a verdict; a backslash is doubled, so that no two names print the same.
std::string escapeControlCharacters(const std::string& text);

}  // namespace vemilo
