#pragma once
// Puts a control where the designed layout has it, under a name that tests and tools can find.

#include <QString>

namespace vemilo::ui {

template <typename Widget>
Widget* place(Widget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

}  // namespace vemilo::ui
