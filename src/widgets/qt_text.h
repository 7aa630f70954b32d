#pragma once

#include <QString>
#include <string>

namespace vemilo::widgets {

// The core's texts are UTF-8 byte strings; the window shows them as QStrings.
inline QString toQString(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace vemilo::widgets
