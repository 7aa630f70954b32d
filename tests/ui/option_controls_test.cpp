#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include "ui/spin_control.h"
#include "ui/window_test_support.h"

using namespace vemilo;
using namespace vemilo::testing;

class OptionControlsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> settings_;
    std::unique_ptr<RecordingDialogs> dialogs_;
    std::unique_ptr<ui::TForm1> window_;

private slots:
    void init() {
        settings_ = std::make_unique<TempDir>();
        dialogs_ = std::make_unique<RecordingDialogs>();
        window_ = makeWindow(*settings_);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }
    void cleanup() {
        window_.reset();
        dialogs_.reset();
        settings_.reset();
    }

    void matchPointChecksZeroSkip() {
        window_->cbx_matchpoint->setChecked(false);
        window_->cbx_zeroskip->setChecked(false);
        QTest::mouseClick(window_->cbx_matchpoint, Qt::LeftButton, {}, QPoint(5, window_->cbx_matchpoint->height() / 2));
        QVERIFY(window_->cbx_matchpoint->isChecked());
        QVERIFY(window_->cbx_zeroskip->isChecked());
        window_->cbx_matchpoint->setChecked(false);
        QVERIFY(window_->cbx_zeroskip->isChecked());
        window_->cbx_matchpoint->setChecked(true);
        window_->cbx_zeroskip->setChecked(false);
        QVERIFY(window_->cbx_matchpoint->isChecked());
    }

    void arrowsStepAndStopAtTheBounds() {
        QStringList shown;
        for (int i = 0; i < 3; ++i) {
            window_->UpDown1->step(+1);
            shown << window_->Edit1->text();
        }
        QCOMPARE(shown, (QStringList{"300", "400", "500"}));
        for (int i = 0; i < 400; ++i) window_->UpDown1->step(+1);
        QCOMPARE(window_->Edit1->text(), QStringLiteral("32767"));
        window_->Edit1->setText(QStringLiteral("200"));
        window_->UpDown1->step(-1);
        QCOMPARE(window_->Edit1->text(), QStringLiteral("100"));
        window_->UpDown1->step(-1);
        QCOMPARE(window_->Edit1->text(), QStringLiteral("1"));

        window_->Edit4->setText(QStringLiteral("980"));
        window_->UpDown2->step(+1);
        QCOMPARE(window_->Edit4->text(), QStringLiteral("1000"));
        QCOMPARE(window_->UpDown2->currentPosition(), 1000);
    }

    void typingMovesTheSpinControl() {
        window_->Edit1->setFocus();
        window_->Edit1->selectAll();
        QTest::keyClicks(window_->Edit1, QStringLiteral("500"));
        QCOMPARE(window_->Edit1->text(), QStringLiteral("500"));
        QCOMPARE(window_->UpDown1->currentPosition(), 500);
        window_->UpDown1->step(+1);
        QCOMPARE(window_->Edit1->text(), QStringLiteral("600"));
        QTest::keyClick(window_->Edit1, Qt::Key_Up);  // the arrow keys step it too
        QCOMPARE(window_->Edit1->text(), QStringLiteral("700"));
        QTest::keyClick(window_->Edit1, Qt::Key_Down);
        QCOMPARE(window_->Edit1->text(), QStringLiteral("600"));
    }

    void emptyTextIsReplacedByThePositionOnTheNextStep() {
        window_->Edit1->clear();
        QCOMPARE(window_->UpDown1->currentPosition(), 200);
        QStringList seen;
        connect(window_->Edit1, &QLineEdit::textChanged, this, [&](const QString& text) { seen << text; });
        window_->UpDown1->step(+1);
        QCOMPARE(seen, (QStringList{"200", "300"}));
    }

    void letterRaisesTheConversionErrorAndStays() {
        window_->Edit1->setFocus();
        window_->Edit1->clear();
        QTest::keyClicks(window_->Edit1, QStringLiteral("a"));
        QCOMPARE(dialogs_->errors, QStringList{QStringLiteral("'a' は整数ではありません.")});
        QCOMPARE(window_->Edit1->text(), QStringLiteral("a"));
        QCOMPARE(window_->UpDown1->currentPosition(), 200);
        window_->UpDown1->step(+1);
        QCOMPARE(window_->Edit1->text(), QStringLiteral("300"));
    }

    void numbersOutsideTheRangeGoToTheNearestBound() {
        window_->Edit1->setFocus();
        window_->Edit1->selectAll();
        QTest::keyClicks(window_->Edit1, QStringLiteral("99999"));
        QCOMPARE(window_->UpDown1->currentPosition(), 32767);
        QCOMPARE(window_->Edit1->text(), QStringLiteral("32767"));
        window_->Edit4->setText(QStringLiteral("-3"));
        QCOMPARE(window_->UpDown2->currentPosition(), 1);
        QCOMPARE(window_->Edit4->text(), QStringLiteral("1"));
        window_->Edit4->setText(QStringLiteral("5000"));
        QCOMPARE(window_->Edit4->text(), QStringLiteral("2000"));
        window_->Edit4->setText(QStringLiteral("7000"));  // already at the bound
        QCOMPARE(window_->Edit4->text(), QStringLiteral("2000"));
        QVERIFY(dialogs_->errors.isEmpty());
    }

    void leavingAnEmptyBoxAsksForANumber() {
        window_->Edit4->setFocus();
        window_->Edit4->clear();
        QTest::keyClick(window_->Edit4, Qt::Key_Tab);
        QCOMPARE(dialogs_->messages, QStringList{QStringLiteral("相違詳細表示行を指定してください")});
        QCOMPARE(window_->Edit4->text(), QString());
        window_->cbx_missout->setChecked(true);
        window_->N1Click();
        QCOMPARE(dialogs_->messages.last(), QStringLiteral("相違詳細表示行を指定してください。"));

        window_->Edit1->setFocus();
        window_->Edit1->clear();
        window_->Edit4->setFocus();
        QCOMPARE(dialogs_->messages.last(), QStringLiteral("サンプル数を指定してください"));
    }
};

int runOptionControlTests(int argc, char** argv) {
    OptionControlsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "option_controls_test.moc"
