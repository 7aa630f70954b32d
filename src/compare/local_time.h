#pragma once

#include <string>

namespace vemilo {

// The local time of day with hours, minutes and seconds, in the user's locale.
std::string localTimeText();

}  // namespace vemilo
