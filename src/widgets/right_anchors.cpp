#include "widgets/right_anchors.h"

#include <QEvent>
#include <QWidget>

namespace vemilo::widgets {

RightAnchors::RightAnchors(QWidget* parent, int designedWidth)
    : QObject(parent), parent_(parent), designedWidth_(designedWidth) {
    parent->installEventFilter(this);
}

void RightAnchors::add(QWidget* child) { anchored_.push_back({child, designedWidth_ - child->x() - child->width()}); }

bool RightAnchors::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent_ && event->type() == QEvent::Resize) {
        for (const Anchored& a : anchored_) {
            a.widget->resize(qMax(0, parent_->width() - a.rightMargin - a.widget->x()), a.widget->height());
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace vemilo::widgets
