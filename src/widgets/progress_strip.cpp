#include "widgets/progress_strip.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <algorithm>
#include <cmath>

namespace vemilo::widgets {
namespace {

// The frame takes a pixel or two on each side: marks stay clear of it.
constexpr int kInset = 3;
// Differences are drawn in bins this many pixels apart, each bar a pixel narrower, so that
// neighbours stay apart.
constexpr int kBinPitch = 3;
// Labels of the time scale stand at least this far apart.
constexpr int kLabelSpacing = 56;
// A click takes the nearest difference this close to it.
constexpr int kClickReach = 4;

const QColor kCompared(0xcf, 0xe0, 0xf5);
const QColor kNotCompared(0xb4, 0xb4, 0xb4);
const QColor kDifference(0xc0, 0x10, 0x10);

}  // namespace

QString timeText(double seconds, bool tenths) {
    const double clamped = std::max(seconds, 0.0);
    const long long tenthsTotal = std::llround(clamped * 10);
    const long long whole = tenths ? tenthsTotal / 10 : std::llround(clamped);
    const long long hours = whole / 3600, minutes = whole / 60 % 60, rest = whole % 60;
    QString text = hours ? QStringLiteral("%1:%2:").arg(hours).arg(minutes, 2, 10, QLatin1Char('0'))
                         : QStringLiteral("%1:").arg(minutes);
    text += QStringLiteral("%1").arg(rest, 2, 10, QLatin1Char('0'));
    if (tenths) text += QStringLiteral(".%1").arg(tenthsTotal % 10);
    return text;
}

ProgressStrip::ProgressStrip(QWidget* parent) : QProgressBar(parent) {
    // Reached by Tab like every control: the arrow keys then walk the differences.
    setFocusPolicy(Qt::StrongFocus);
}

void ProgressStrip::setResult(std::vector<Difference> differences, std::vector<Range> notCompared, double seconds,
                              const QString& toolTip) {
    differences_ = std::move(differences);
    notCompared_ = std::move(notCompared);
    seconds_ = seconds;
    hasResult_ = true;
    chosen_.reset();
    setToolTip(toolTip);
    setAccessibleDescription(summary());
    update();
}

void ProgressStrip::clearMarks() {
    differences_.clear();
    notCompared_.clear();
    hasResult_ = false;
    chosen_.reset();
    setToolTip(QString());
    setAccessibleDescription(QString());
    update();
}

std::vector<double> ProgressStrip::marks() const {
    std::vector<double> places;
    places.reserve(differences_.size());
    for (const Difference& difference : differences_) places.push_back(difference.place);
    return places;
}

int ProgressStrip::column(double place, int width) {
    const int span = std::max(width - 2 * kInset - 1, 1);
    return kInset + static_cast<int>(std::clamp(place, 0.0, 1.0) * span);
}

double ProgressStrip::barShare(double level) {
    // A fifth of the bar at least, so that the smallest difference still catches the eye.
    constexpr double kFloorDb = -120;
    constexpr double kLeast = 0.2;
    if (!(level > 0)) return kLeast;
    const double db = 20 * std::log10(level);
    return kLeast + (1 - kLeast) * std::clamp((db - kFloorDb) / -kFloorDb, 0.0, 1.0);
}

std::vector<std::pair<double, QString>> ProgressStrip::timeScale(double seconds, int width) {
    std::vector<std::pair<double, QString>> labels;
    if (!(seconds > 0) || width <= 2 * kInset) return labels;
    static constexpr double kSteps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200};
    const double span = width - 2 * kInset - 1;
    double step = kSteps[std::size(kSteps) - 1];
    for (const double candidate : kSteps) {
        if (candidate / seconds * span >= kLabelSpacing) {
            step = candidate;
            break;
        }
    }
    // Never more labels than fit, whatever the length: a step of whole hours beyond the list.
    while (step / seconds * span < kLabelSpacing && step < 1e9) step *= 2;
    const bool tenths = step < 1;
    for (int i = 0; i * step <= seconds + 1e-9; ++i)
        labels.emplace_back(i * step / seconds, timeText(i * step, tenths));
    return labels;
}

QString ProgressStrip::summary() const {
    if (!hasResult_) return QString();
    const bool tenths = seconds_ < 60;
    QString text = differences_.empty() ? QStringLiteral("相違点はありません")
                                        : QStringLiteral("相違点%1箇所 (最初 %2、最後 %3)")
                                              .arg(differences_.size())
                                              .arg(timeText(differences_.front().seconds, tenths))
                                              .arg(timeText(differences_.back().seconds, tenths));
    for (const Range& range : notCompared_) {
        text += QStringLiteral("。比較しなかった範囲 %1〜%2")
                    .arg(timeText(range.from * seconds_, tenths))
                    .arg(timeText(range.to * seconds_, tenths));
    }
    return text;
}

void ProgressStrip::paintProgress(QPainter& painter, const QRect& bar) const {
    painter.fillRect(bar, palette().base());
    const int filled = bar.width() * std::clamp(value() - minimum(), 0, std::max(maximum() - minimum(), 1)) /
                       std::max(maximum() - minimum(), 1);
    painter.fillRect(QRect(bar.topLeft(), QSize(filled, bar.height())), palette().highlight());
}

void ProgressStrip::paintResult(QPainter& painter, const QRect& bar) const {
    painter.fillRect(bar, kCompared);
    for (const Range& range : notCompared_) {
        const QRect greyed(QPoint(column(range.from, width()), bar.top()),
                           QPoint(std::min(column(range.to, width()), bar.right()), bar.bottom()));
        painter.fillRect(greyed, kNotCompared);
        painter.fillRect(greyed, QBrush(QColor(0x70, 0x70, 0x70), Qt::BDiagPattern));
    }
    // Each bin shows the largest difference that falls in it.
    const int bins = (width() - 2 * kInset) / kBinPitch + 1;
    std::vector<double> largest(static_cast<size_t>(bins), -1);
    for (const Difference& difference : differences_) {
        const auto bin = static_cast<size_t>((column(difference.place, width()) - kInset) / kBinPitch);
        largest[bin] = std::max(largest[bin], barShare(difference.level));
    }
    for (size_t bin = 0; bin < largest.size(); ++bin) {
        if (largest[bin] < 0) continue;
        const int height = std::max(2, static_cast<int>(std::lround(largest[bin] * bar.height())));
        const int x = kInset + static_cast<int>(bin) * kBinPitch;
        painter.fillRect(QRect(x, bar.bottom() + 1 - height, kBinPitch - 1, height), kDifference);
    }
    if (chosen_) {
        // The chosen difference: a dark marker above its bar.
        const int x = kInset + (column(differences_[*chosen_].place, width()) - kInset) / kBinPitch * kBinPitch;
        painter.fillRect(QRect(x - 1, bar.top(), kBinPitch + 1, 3), palette().windowText());
    }
}

void ProgressStrip::paintScale(QPainter& painter) const {
    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.85));
    painter.setFont(small);
    painter.setPen(palette().windowText().color());
    const QFontMetrics metrics(small);
    for (const auto& [place, label] : timeScale(seconds_, width())) {
        const int x = column(place, width());
        painter.drawLine(x, kBarHeight, x, kBarHeight + 2);
        // The first label starts at its tick, the last ends at it, the others are centred.
        const int textWidth = metrics.horizontalAdvance(label);
        int left = place <= 0 ? x : x - textWidth / 2;
        left = std::clamp(left, 0, std::max(0, width() - textWidth));
        painter.drawText(QRect(left, kBarHeight + 2, textWidth, kScaleHeight - 2), Qt::AlignLeft | Qt::AlignTop, label);
    }
}

void ProgressStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect frame(0, 0, width(), kBarHeight);
    painter.fillRect(rect(), palette().window());
    painter.setPen(palette().mid().color());
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
    const QRect bar = frame.adjusted(2, 2, -2, -2);
    if (hasResult_) {
        paintResult(painter, bar);
        paintScale(painter);
    } else {
        paintProgress(painter, bar);
    }
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = frame.adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void ProgressStrip::choose(size_t index) {
    chosen_ = index;
    const Difference& difference = differences_[index];
    setAccessibleDescription(
        QStringLiteral("相違点 %1 (%2)。").arg(difference.number).arg(timeText(difference.seconds, seconds_ < 60)) +
        summary());
    QAccessibleEvent event(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&event);
    update();
    if (onDifferenceChosen) onDifferenceChosen(difference.number);
}

void ProgressStrip::mousePressEvent(QMouseEvent* event) {
    QProgressBar::mousePressEvent(event);
    if (!hasResult_ || event->button() != Qt::LeftButton) return;
    const int x = static_cast<int>(event->position().x());
    std::optional<size_t> nearest;
    int nearestDistance = kClickReach + 1;
    for (size_t i = 0; i < differences_.size(); ++i) {
        const int distance = std::abs(column(differences_[i].place, width()) - x);
        if (distance < nearestDistance) {  // the first of equals: the earliest at that place
            nearest = i;
            nearestDistance = distance;
        }
    }
    if (nearest) choose(*nearest);
}

void ProgressStrip::keyPressEvent(QKeyEvent* event) {
    if (!hasResult_ || differences_.empty()) {
        QProgressBar::keyPressEvent(event);
        return;
    }
    const size_t last = differences_.size() - 1;
    switch (event->key()) {
        case Qt::Key_Right: choose(chosen_ ? std::min(*chosen_ + 1, last) : 0); break;
        case Qt::Key_Left: choose(chosen_ && *chosen_ > 0 ? *chosen_ - 1 : 0); break;
        case Qt::Key_Home: choose(0); break;
        case Qt::Key_End: choose(last); break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space: choose(chosen_.value_or(0)); break;
        default: QProgressBar::keyPressEvent(event); return;
    }
    event->accept();
}

}  // namespace vemilo::widgets
