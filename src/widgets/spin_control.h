#pragma once
// A spin control attached to an edit box. Unlike QSpinBox it lets the edit box hold any text
// (empty, not a number) until an arrow replaces it, and it tells its owner before each change.

#include <QWidget>
#include <functional>

class QLineEdit;
class QToolButton;

namespace vemilo::widgets {

class SpinControl : public QWidget {
public:
    SpinControl(QWidget* parent, int minimum, int maximum, int increment, int position);

    // The edit box that shows the position; its arrow keys step the control.
    void setBuddy(QLineEdit* buddy);

    // Runs before every change of position, with the position before the change.
    std::function<void()> onChanging;

    // The position, first taken from the edit box when it holds a whole number within the range.
    int position();
    // The position as the control holds it, without looking at the edit box.
    int currentPosition() const { return position_; }
    // Moves to value (clamped to the range): runs onChanging, then writes the value to the edit box.
    void setPosition(int value);
    // One arrow click: +1 up, -1 down.
    void step(int direction);

    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int increment() const { return increment_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int minimum_, maximum_, increment_;
    int16_t position_;
    QLineEdit* buddy_ = nullptr;
    QToolButton* up_;
    QToolButton* down_;
};

}  // namespace vemilo::widgets
