#pragma once
// The group "比較オプション": five check boxes and two number fields, each an edit box with a spin
// control. The controls are the option values; the engine reads them when it needs them.

#include <QList>
#include <QObject>
#include <QString>

#include "compare/options.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QWidget;

namespace vemilo::widgets {
class SpinControl;
}

namespace vemilo::ui {

class OptionControls : public QObject, public OptionSource {
public:
    // Builds the group inside parent at its designed place.
    explicit OptionControls(QWidget* parent);

    QGroupBox* group() const { return group_; }
    // The group's controls in their tab order.
    QList<QWidget*> tabChain() const;

    bool zeroSkip() const override;
    bool matchPoint() const override;
    bool detailDisplay() const override;
    std::string matchLengthText() const override;
    std::string differenceLimitText() const override;
    bool measure() const override;
    bool continuousMode() const;

    // Set as a user would: each runs the control's change handling.
    void setZeroSkip(bool on);
    void setMatchPoint(bool on);
    void setContinuousMode(bool on);
    void setDetailDisplay(bool on);
    void setMeasure(bool on);
    void setMatchLengthText(const QString& text);
    void setDifferenceLimitText(const QString& text);
    QString matchLengthEditText() const;
    QString differenceLimitEditText() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // An edit box with its spin control, and the message shown when the focus leaves it empty.
    struct NumberField {
        QLineEdit* edit = nullptr;
        widgets::SpinControl* spin = nullptr;
        QString emptyMessage;
    };

    void connectHandlers();
    void matchPointToggled();
    void numberTextChanged(NumberField& field);
    void spinChanging(NumberField& field);
    void numberFieldLeft(NumberField& field);

    QGroupBox* group_;
    QCheckBox* zeroSkipCheck_;
    QCheckBox* matchPointCheck_;
    QCheckBox* detailsCheck_;
    QCheckBox* continuousCheck_;
    QCheckBox* measureCheck_;
    NumberField matchLength_;
    NumberField differenceLimit_;
};

}  // namespace vemilo::ui
