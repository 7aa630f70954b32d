#include "compare/local_time.h"

#include <ctime>

namespace vemilo {

std::string localTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char text[64];
    const size_t length = std::strftime(text, sizeof text, "%X", &parts);
    return std::string(text, length);
}

}  // namespace vemilo
