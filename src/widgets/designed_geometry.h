#pragma once
// Puts a control where the designed layout has it, under a name that tests and tools can find.

#include <QCheckBox>
#include <QLabel>
#include <QString>
#include <QWidget>
#include <algorithm>

namespace vemilo::widgets {

template <typename Widget>
Widget* place(Widget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

// The layout's labels and check boxes are narrower than their captions in today's fonts, and at
// larger scales: each grows to show its caption whole, keeping its corner where it was designed.
inline void fitCaptions(QWidget* root) {
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        if (!qobject_cast<QLabel*>(widget) && !qobject_cast<QCheckBox*>(widget)) continue;
        const QSize wanted = widget->sizeHint();
        widget->resize(std::max(widget->width(), wanted.width()), std::max(widget->height(), wanted.height()));
    }
}

}  // namespace vemilo::widgets
