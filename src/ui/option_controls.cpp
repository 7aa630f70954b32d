#include "ui/option_controls.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

#include "compare/option_text.h"
#include "widgets/designed_geometry.h"
#include "widgets/dialogs.h"
#include "widgets/spin_control.h"

namespace vemilo::ui {

using namespace vemilo::widgets;

OptionControls::OptionControls(QWidget* parent) : QObject(parent) {
    group_ = place(new QGroupBox(QStringLiteral("比較オプション"), parent), "optionsGroup", 16, 405, 377, 83);
    zeroSkipCheck_ = place(new QCheckBox(QStringLiteral("ゼロスキップ"), group_), "zeroSkipCheck", 8, 16, 73, 17);
    matchPointCheck_ = place(new QCheckBox(QStringLiteral("一致点を探す"), group_), "matchPointCheck", 104, 16, 97, 17);
    detailsCheck_ = place(new QCheckBox(QStringLiteral("相違詳細表示"), group_), "detailsCheck", 224, 16, 97, 17);
    place(new QLabel(QStringLiteral("最大表示行"), group_), "differenceLimitLabel", 240, 32, 60, 13);
    place(new QLabel(QStringLiteral("一致検出ｻﾝﾌﾟﾙ数"), group_), "matchLengthLabel", 104, 34, 93, 13);
    continuousCheck_ = place(new QCheckBox(QStringLiteral("連続モード"), group_), "continuousCheck", 8, 39, 74, 17);
    // Beside the designed options, in the group's free lower right-hand corner.
    measureCheck_ = place(new QCheckBox(QStringLiteral("測定"), group_), "measureCheck", 306, 50, 57, 17);
    measureCheck_->setToolTip(QStringLiteral("ファイルの終わりまで読み、相違の大きさと原因を示します"));
    measureCheck_->setAccessibleDescription(measureCheck_->toolTip());
    matchLength_.edit = place(new QLineEdit(QStringLiteral("200"), group_), "matchLengthEdit", 120, 49, 41, 21);
    matchLength_.spin = place(new SpinControl(group_, 1, 32767, 100, 200), "matchLengthSpin", 161, 49, 17, 21);
    matchLength_.emptyMessage = QStringLiteral("サンプル数を指定してください");
    differenceLimit_.edit = place(new QLineEdit(QStringLiteral("200"), group_), "differenceLimitEdit", 240, 48, 41, 21);
    differenceLimit_.spin = place(new SpinControl(group_, 1, 2000, 20, 200), "differenceLimitSpin", 281, 48, 16, 21);
    differenceLimit_.emptyMessage = QStringLiteral("相違詳細表示行を指定してください");
    matchLength_.edit->setAccessibleName(QStringLiteral("一致検出サンプル数"));
    differenceLimit_.edit->setAccessibleName(QStringLiteral("最大表示行"));
    for (NumberField* field : {&matchLength_, &differenceLimit_}) {
        field->spin->setBuddy(field->edit);
        field->spin->setAccessibleName(field->edit->accessibleName());
    }
    zeroSkipCheck_->setChecked(true);
    matchPointCheck_->setChecked(true);
    connectHandlers();
}

void OptionControls::connectHandlers() {
    connect(matchPointCheck_, &QCheckBox::toggled, this, [this] { guarded([this] { matchPointToggled(); }); });
    for (NumberField* field : {&matchLength_, &differenceLimit_}) {
        connect(field->edit, &QLineEdit::textChanged, this,
                [this, field] { guarded([this, field] { numberTextChanged(*field); }); });
        field->spin->onChanging = [this, field] { guarded([this, field] { spinChanging(*field); }); };
        field->edit->installEventFilter(this);
    }
}

QList<QWidget*> OptionControls::tabChain() const {
    return {zeroSkipCheck_, matchPointCheck_,      matchLength_.edit, continuousCheck_,
            detailsCheck_,  differenceLimit_.edit, measureCheck_};
}

bool OptionControls::zeroSkip() const { return zeroSkipCheck_->isChecked(); }
bool OptionControls::matchPoint() const { return matchPointCheck_->isChecked(); }
bool OptionControls::detailDisplay() const { return detailsCheck_->isChecked(); }
bool OptionControls::measure() const { return measureCheck_->isChecked(); }
bool OptionControls::continuousMode() const { return continuousCheck_->isChecked(); }
std::string OptionControls::matchLengthText() const { return matchLength_.edit->text().toStdString(); }
std::string OptionControls::differenceLimitText() const { return differenceLimit_.edit->text().toStdString(); }
QString OptionControls::matchLengthEditText() const { return matchLength_.edit->text(); }
QString OptionControls::differenceLimitEditText() const { return differenceLimit_.edit->text(); }

void OptionControls::setZeroSkip(bool on) { zeroSkipCheck_->setChecked(on); }
void OptionControls::setMatchPoint(bool on) { matchPointCheck_->setChecked(on); }
void OptionControls::setContinuousMode(bool on) { continuousCheck_->setChecked(on); }
void OptionControls::setDetailDisplay(bool on) { detailsCheck_->setChecked(on); }
void OptionControls::setMeasure(bool on) { measureCheck_->setChecked(on); }
void OptionControls::setMatchLengthText(const QString& text) { matchLength_.edit->setText(text); }
void OptionControls::setDifferenceLimitText(const QString& text) { differenceLimit_.edit->setText(text); }

void OptionControls::matchPointToggled() {
    // Turning match point on turns zero skip on; the reverse couples nothing.
    if (matchPointCheck_->isChecked()) zeroSkipCheck_->setChecked(true);
}

void OptionControls::numberTextChanged(NumberField& field) {
    // A whole number moves the spin control (to the nearest bound when outside its range, and the
    // edit box then shows that bound); anything else but an empty text is an error.
    const std::string text = field.edit->text().toStdString();
    if (text.empty()) return;
    const std::optional<int32_t> value = parseWholeNumber(text);
    if (!value) throw ConversionError(text);
    field.spin->setPosition(*value);
    if (*value != field.spin->currentPosition()) field.edit->setText(QString::number(field.spin->currentPosition()));
}

void OptionControls::spinChanging(NumberField& field) {
    // An arrow continues from the spin control's own position, whatever the edit box held.
    field.edit->setText(QString::number(field.spin->currentPosition()));
}

void OptionControls::numberFieldLeft(NumberField& field) {
    if (field.edit->text().isEmpty()) dialogs().message(field.emptyMessage);
}

namespace {

// True when the focus went from the box to another control of the same window: not when the
// window merely lost activation, a menu opened, or a message box took over.
bool focusMovedWithinTheWindow(const QWidget* box, const QFocusEvent* event) {
    switch (event->reason()) {
        case Qt::ActiveWindowFocusReason:
        case Qt::PopupFocusReason:
        case Qt::MenuBarFocusReason: return false;
        default: break;
    }
    if (QApplication::activeModalWidget()) return false;
    const QWidget* next = QApplication::focusWidget();
    return next && next != box && next->window() == box->window();
}

}  // namespace

bool OptionControls::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        for (NumberField* field : {&matchLength_, &differenceLimit_}) {
            if (watched != field->edit || !focusMovedWithinTheWindow(field->edit, static_cast<QFocusEvent*>(event)))
                continue;
            guarded([this, field] { numberFieldLeft(*field); });
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace vemilo::ui
