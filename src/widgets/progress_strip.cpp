#include "widgets/progress_strip.h"

#include <QPainter>
#include <algorithm>

namespace vemilo::widgets {

void ProgressStrip::setMarks(std::vector<double> places, const QString& toolTip) {
    marks_ = std::move(places);
    setToolTip(toolTip);
    update();
}

void ProgressStrip::clearMarks() {
    marks_.clear();
    setToolTip(QString());
    update();
}

void ProgressStrip::paintEvent(QPaintEvent* event) {
    QProgressBar::paintEvent(event);
    if (marks_.empty()) return;
    QPainter painter(this);
    painter.setPen(QPen(QColor(0xd0, 0x10, 0x10), 1));
    const int span = std::max(width() - 3, 1);
    int lastX = -1;
    for (double place : marks_) {
        // Many differences in one pixel column draw one line.
        const int x = 1 + static_cast<int>(std::clamp(place, 0.0, 1.0) * span);
        if (x == lastX) continue;
        painter.drawLine(x, 1, x, height() - 2);
        lastX = x;
    }
}

}  // namespace vemilo::widgets
