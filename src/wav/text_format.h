#pragma once

#include <string>

namespace vemilo {

// printf into a std::string of any length, for the pane and log lines.
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vemilo
