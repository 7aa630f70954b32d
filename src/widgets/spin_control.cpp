#include "widgets/spin_control.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <algorithm>

#include "compare/option_text.h"

namespace vemilo::widgets {

SpinControl::SpinControl(QWidget* parent, int minimum, int maximum, int increment, int position)
    : QWidget(parent),
      minimum_(minimum),
      maximum_(maximum),
      increment_(increment),
      position_(static_cast<int16_t>(position)),
      up_(new QToolButton(this)),
      down_(new QToolButton(this)) {
    for (QToolButton* button : {up_, down_}) {
        button->setArrowType(button == up_ ? Qt::UpArrow : Qt::DownArrow);
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
    }
    up_->setAccessibleName(QStringLiteral("増やす"));
    down_->setAccessibleName(QStringLiteral("減らす"));
    connect(up_, &QToolButton::clicked, this, [this] { step(+1); });
    connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
}

void SpinControl::setBuddy(QLineEdit* buddy) {
    buddy_ = buddy;
    buddy_->installEventFilter(this);
}

int SpinControl::position() {
    if (buddy_) {
        const std::optional<int32_t> typed = parseWholeNumber(buddy_->text().toStdString());
        if (typed && *typed >= minimum_ && *typed <= maximum_) position_ = static_cast<int16_t>(*typed);
    }
    return position_;
}

void SpinControl::setPosition(int value) {
    value = std::clamp(value, minimum_, maximum_);
    if (value == position_) return;
    if (onChanging) onChanging();
    position_ = static_cast<int16_t>(value);
    if (buddy_) buddy_->setText(QString::number(position_));
}

void SpinControl::step(int direction) { setPosition(position() + direction * increment_); }

bool SpinControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == buddy_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            step(key == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SpinControl::resizeEvent(QResizeEvent*) {
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}

}  // namespace vemilo::widgets
