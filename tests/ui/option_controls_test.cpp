#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QTest>

#include "ui/window_test_support.h"

using namespace vemilo;
using namespace vemilo::testing;

class OptionControlsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> settings_;
    std::unique_ptr<RecordingDialogs> dialogs_;
    std::unique_ptr<ui::MainWindow> window_;
    std::unique_ptr<Controls> c_;

private slots:
    void init() {
        settings_ = std::make_unique<TempDir>();
        dialogs_ = std::make_unique<RecordingDialogs>();
        window_ = makeWindow(*settings_);
        c_ = std::make_unique<Controls>(*window_);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }
    void cleanup() {
        c_.reset();
        window_.reset();
        dialogs_.reset();
        settings_.reset();
    }

    void matchPointChecksZeroSkip() {
        c_->matchPoint->setChecked(false);
        c_->zeroSkip->setChecked(false);
        QTest::mouseClick(c_->matchPoint, Qt::LeftButton, {}, QPoint(5, c_->matchPoint->height() / 2));
        QVERIFY(c_->matchPoint->isChecked());
        QVERIFY(c_->zeroSkip->isChecked());
        c_->matchPoint->setChecked(false);
        QVERIFY(c_->zeroSkip->isChecked());
        c_->matchPoint->setChecked(true);
        c_->zeroSkip->setChecked(false);
        QVERIFY(c_->matchPoint->isChecked());
    }

    void arrowsStepAndStopAtTheBounds() {
        QStringList shown;
        for (int i = 0; i < 3; ++i) {
            c_->matchLengthSpin->step(+1);
            shown << c_->matchLengthEdit->text();
        }
        QCOMPARE(shown, (QStringList{"300", "400", "500"}));
        for (int i = 0; i < 400; ++i) c_->matchLengthSpin->step(+1);
        QCOMPARE(c_->matchLengthEdit->text(), QStringLiteral("32767"));
        c_->matchLengthEdit->setText(QStringLiteral("200"));
        c_->matchLengthSpin->step(-1);
        QCOMPARE(c_->matchLengthEdit->text(), QStringLiteral("100"));
        c_->matchLengthSpin->step(-1);
        QCOMPARE(c_->matchLengthEdit->text(), QStringLiteral("1"));

        c_->differenceLimitEdit->setText(QStringLiteral("980"));
        c_->differenceLimitSpin->step(+1);
        QCOMPARE(c_->differenceLimitEdit->text(), QStringLiteral("1000"));
        QCOMPARE(c_->differenceLimitSpin->currentPosition(), 1000);
    }

    void typingMovesTheSpinControl() {
        c_->matchLengthEdit->setFocus();
        c_->matchLengthEdit->selectAll();
        QTest::keyClicks(c_->matchLengthEdit, QStringLiteral("500"));
        QCOMPARE(c_->matchLengthEdit->text(), QStringLiteral("500"));
        QCOMPARE(c_->matchLengthSpin->currentPosition(), 500);
        c_->matchLengthSpin->step(+1);
        QCOMPARE(c_->matchLengthEdit->text(), QStringLiteral("600"));
        QTest::keyClick(c_->matchLengthEdit, Qt::Key_Up);  // the arrow keys step it too
        QCOMPARE(c_->matchLengthEdit->text(), QStringLiteral("700"));
        QTest::keyClick(c_->matchLengthEdit, Qt::Key_Down);
        QCOMPARE(c_->matchLengthEdit->text(), QStringLiteral("600"));
    }

    void emptyTextIsReplacedByThePositionOnTheNextStep() {
        c_->matchLengthEdit->clear();
        QCOMPARE(c_->matchLengthSpin->currentPosition(), 200);
        QStringList seen;
        connect(c_->matchLengthEdit, &QLineEdit::textChanged, this, [&](const QString& text) { seen << text; });
        c_->matchLengthSpin->step(+1);
        QCOMPARE(seen, (QStringList{"200", "300"}));
    }

    void letterRaisesTheConversionErrorAndStays() {
        c_->matchLengthEdit->setFocus();
        c_->matchLengthEdit->clear();
        QTest::keyClicks(c_->matchLengthEdit, QStringLiteral("a"));
        QCOMPARE(dialogs_->errors, QStringList{QStringLiteral("'a' は整数ではありません.")});
        QCOMPARE(c_->matchLengthEdit->text(), QStringLiteral("a"));
        QCOMPARE(c_->matchLengthSpin->currentPosition(), 200);
        c_->matchLengthSpin->step(+1);
        QCOMPARE(c_->matchLengthEdit->text(), QStringLiteral("300"));
    }

    void numbersOutsideTheRangeGoToTheNearestBound() {
        c_->matchLengthEdit->setFocus();
        c_->matchLengthEdit->selectAll();
        QTest::keyClicks(c_->matchLengthEdit, QStringLiteral("99999"));
        QCOMPARE(c_->matchLengthSpin->currentPosition(), 32767);
        QCOMPARE(c_->matchLengthEdit->text(), QStringLiteral("32767"));
        c_->differenceLimitEdit->setText(QStringLiteral("-3"));
        QCOMPARE(c_->differenceLimitSpin->currentPosition(), 1);
        QCOMPARE(c_->differenceLimitEdit->text(), QStringLiteral("1"));
        c_->differenceLimitEdit->setText(QStringLiteral("5000"));
        QCOMPARE(c_->differenceLimitEdit->text(), QStringLiteral("2000"));
        c_->differenceLimitEdit->setText(QStringLiteral("7000"));  // already at the bound
        QCOMPARE(c_->differenceLimitEdit->text(), QStringLiteral("2000"));
        QVERIFY(dialogs_->errors.isEmpty());
    }

    void onlyMovingTheFocusWithinTheWindowAsks() {
        c_->differenceLimitEdit->setFocus();
        c_->differenceLimitEdit->clear();
        // The window losing activation, or a menu opening, is not leaving the box.
        for (Qt::FocusReason reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason, Qt::MenuBarFocusReason}) {
            QFocusEvent out(QEvent::FocusOut, reason);
            QCoreApplication::sendEvent(c_->differenceLimitEdit, &out);
        }
        QVERIFY(dialogs_->messages.isEmpty());
        // Run asks once for the empty limit, with details on or off, and nothing stacks on it.
        c_->details->setChecked(false);
        window_->runComparison();
        QCOMPARE(dialogs_->messages, QStringList{QStringLiteral("相違詳細表示行を指定してください。")});
        QTest::keyClick(c_->differenceLimitEdit, Qt::Key_Tab);
        QCOMPARE(dialogs_->messages.last(), QStringLiteral("相違詳細表示行を指定してください"));
    }

    void leavingAnEmptyBoxAsksForANumber() {
        c_->differenceLimitEdit->setFocus();
        c_->differenceLimitEdit->clear();
        QTest::keyClick(c_->differenceLimitEdit, Qt::Key_Tab);
        QCOMPARE(dialogs_->messages, QStringList{QStringLiteral("相違詳細表示行を指定してください")});
        QCOMPARE(c_->differenceLimitEdit->text(), QString());
        c_->details->setChecked(true);
        window_->runComparison();
        QCOMPARE(dialogs_->messages.last(), QStringLiteral("相違詳細表示行を指定してください。"));

        c_->matchLengthEdit->setFocus();
        c_->matchLengthEdit->clear();
        c_->differenceLimitEdit->setFocus();
        QCOMPARE(dialogs_->messages.last(), QStringLiteral("サンプル数を指定してください"));
    }
};

int runOptionControlTests(int argc, char** argv) {
    OptionControlsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "option_controls_test.moc"
