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
    stoppedAt_.reset();
    setToolTip(QString());
    update();
}

void ProgressStrip::setStoppedAt(std::optional<double> place) {
    stoppedAt_ = place;
    update();
}

int ProgressStrip::column(double place, int width) {
    // The frame takes a pixel or two on each side: marks stay clear of it.
    constexpr int kInset = 3;
    const int span = std::max(width - 2 * kInset - 1, 1);
    return kInset + static_cast<int>(std::clamp(place, 0.0, 1.0) * span);
}

void ProgressStrip::paintEvent(QPaintEvent* event) {
    QProgressBar::paintEvent(event);
    if (marks_.empty() && !stoppedAt_) return;
    QPainter painter(this);
    if (stoppedAt_) {
        // Never compared: greyed from where the comparison stopped, which a dark line marks.
        const int x = column(*stoppedAt_, width());
        painter.fillRect(QRect(QPoint(x, 2), QPoint(width() - 3, height() - 3)), QColor(0x90, 0x90, 0x90, 0xb0));
        painter.setPen(QPen(QColor(0x20, 0x20, 0x20), 2));
        painter.drawLine(x, 1, x, height() - 2);
    }
    painter.setPen(QPen(QColor(0xd0, 0x10, 0x10), 1));
    int lastX = -1;
    for (double place : marks_) {
        // Many differences in one pixel column draw one line.
        const int x = column(place, width());
        if (x == lastX) continue;
        painter.drawLine(x, 1, x, height() - 2);
        lastX = x;
    }
}

}  // namespace vemilo::widgets
