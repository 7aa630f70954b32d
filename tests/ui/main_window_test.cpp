#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QCoreApplication>
#include <stdexcept>

#include "commands/file_list_box.h"
#include "ui/window_test_support.h"

using namespace vemilo;
using namespace vemilo::testing;

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void layoutHasEveryControlWhereDesigned() {
        TempDir settings;
        RecordingDialogs dialogs;
        auto window = makeWindow(settings);
        QCOMPARE(window->windowTitle(), QStringLiteral("Vemilo v3.00β1"));
        QCOMPARE(window->GroupBox1->geometry(), QRect(16, 4, 412, 191));
        QCOMPARE(window->folder2->geometry(), QRect(16, 127, 377, 57));
        QCOMPARE(window->Edit3->geometry(), QRect(64, 43, 332, 21));
        QCOMPARE(window->file2_info->geometry(), QRect(183, 279, 161, 83));
        QCOMPARE(window->ProgressBar1->geometry(), QRect(16, 369, 412, 17));
        QCOMPARE(window->GroupBox3->geometry(), QRect(16, 392, 377, 83));
        QCOMPARE(window->Edit4->geometry(), QRect(240, 48, 41, 21));
        QCOMPARE(window->Panel1->height(), 481);
        QCOMPARE(window->StatusBar1->height(), 25);
        QVERIFY(window->Button2->isHidden());
        QCOMPARE(window->GroupBox3->title(), QStringLiteral("比較オプション"));
        QCOMPARE(window->N1->text(), QStringLiteral("実行"));
        QVERIFY(window->N1->menu() == nullptr);
        QCOMPARE(window->N121->text(), QStringLiteral("1→2"));
        QCOMPARE(window->N22->text(), QStringLiteral("2"));
        QCOMPARE(window->Timer1->interval(), 1000);
        QVERIFY(window->Timer1->isActive());
        QCOMPARE(window->ProgressBar1->maximum(), 100);
        // The designed option state, with no settings file.
        QVERIFY(window->cbx_zeroskip->isChecked());
        QVERIFY(window->cbx_matchpoint->isChecked());
        QVERIFY(!window->cbx_repeat->isChecked());
        QVERIFY(!window->cbx_missout->isChecked());
        QCOMPARE(window->Edit1->text(), QStringLiteral("200"));
        QCOMPARE(window->Edit4->text(), QStringLiteral("200"));
        QVERIFY(window->fileSlots[0].path.empty() && window->fileSlots[1].path.empty());
        QVERIFY(window->acceptDrops());
        // Run right after start: file 1 is not given.
        window->N1Click();
        QCOMPARE(dialogs.messages, QStringList{QStringLiteral("ファイル1が指定されていません")});
    }

    void growingStretchesAnchoredControlsAndGivesHeightToTheLog() {
        TempDir settings;
        RecordingDialogs dialogs;
        auto window = makeWindow(settings);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QSize before = window->size();
        const int memoBefore = window->Memo1->height();
        const QRect infoBefore = window->file1_info->geometry();
        const QRect options = window->GroupBox3->geometry();
        const QWidget* stretched[] = {window->GroupBox1, window->SpeedButton1, window->folder1, window->Edit2, window->ProgressBar1};
        QList<int> widths;
        for (const QWidget* w : stretched) widths << w->width();
        window->resize(before.width() + 300, before.height() + 200);
        QTRY_COMPARE(window->width(), before.width() + 300);
        for (int i = 0; i < widths.size(); ++i) QCOMPARE(stretched[i]->width(), widths[i] + 300);
        QCOMPARE(window->SpeedButton1->x(), 63);
        QCOMPARE(window->Memo1->height(), memoBefore + 200);
        QCOMPARE(window->file1_info->geometry(), infoBefore);
        QCOMPARE(window->GroupBox3->geometry(), options);
        QCOMPARE(window->Panel1->height(), 481);
    }

    void neverSmallerThanTheMinimum() {
        TempDir settings;
        RecordingDialogs dialogs;
        auto window = makeWindow(settings);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->resize(300, 300);
        QTRY_COMPARE(window->frameGeometry().width(), 450);
        QCOMPARE(window->frameGeometry().height(), 720);
        window->resize(600, 500);
        QTRY_COMPARE(window->frameGeometry().height(), 720);
        QCOMPARE(window->width(), 600);
    }

    void windowCommands() {
        TempDir settings;
        RecordingDialogs dialogs;
        auto window = makeWindow(settings);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->move(200, 150);
        const QSize size = window->size();
        window->ApplicationMessage(11);
        QTRY_COMPARE(window->pos(), QPoint(0, 0));
        QCOMPARE(window->size(), size);
        window->ApplicationMessage(10);  // the interactive move; no effect without a pointer
        window->ApplicationMessage(12);  // anything else is not ours
        QCOMPARE(window->size(), size);
        QCOMPARE(window->StatusBarMenu->actions().size(), 2);
        QCOMPARE(window->StatusBarMenu->actions()[0]->text(), QStringLiteral("移動(&M)"));
        QCOMPARE(window->StatusBarMenu->actions()[1]->text(), QStringLiteral("左上に移動"));
    }

    void errorDisplayAppendsAFullStopByRule() {
        QCOMPARE(ui::withFullStop(QStringLiteral("'a' は整数ではありません")), QStringLiteral("'a' は整数ではありません."));
        QCOMPARE(ui::withFullStop(QStringLiteral("done.")), QStringLiteral("done."));
        QCOMPARE(ui::withFullStop(QStringLiteral("(x)")), QStringLiteral("(x)"));
        QCOMPARE(ui::withFullStop(QStringLiteral("wow!")), QStringLiteral("wow!"));
        QCOMPARE(ui::withFullStop(QStringLiteral("a/")), QStringLiteral("a/."));
        QCOMPARE(ui::withFullStop(QString()), QStringLiteral("."));
    }

    void anErrorInAHandlerIsShownAndTheWindowGoesOn() {
        TempDir settings;
        RecordingDialogs dialogs;
        auto window = makeWindow(settings);
        // An error escaping an event handler reaches the application's notify.
        class Thrower : public QObject {
        public:
            bool event(QEvent*) override { throw std::runtime_error("broken"); }
        } thrower;
        QEvent event(QEvent::User);
        QCoreApplication::sendEvent(&thrower, &event);
        QCOMPARE(dialogs.errors, QStringList{QStringLiteral("broken.")});
        // One raised inside a handler that Qt calls is shown the same way.
        window->Edit4->setText(QStringLiteral("x!"));
        QCOMPARE(dialogs.errors.last(), QStringLiteral("'x!' は整数ではありません."));
        window->LogLine("still here");
        QCOMPARE(window->Memo1->toPlainText(), QStringLiteral("still here"));
    }

    void hostWritesIntoThePanes() {
        TempDir settings;
        RecordingDialogs dialogs;
        auto window = makeWindow(settings);
        window->appendInfo(1, "ファイル2");
        window->appendInfo(1, "44100Hz 16bit stereo");
        QCOMPARE(window->file2_info->toPlainText(), QStringLiteral("ファイル2\n44100Hz 16bit stereo"));
        window->clearInfo(1);
        QVERIFY(window->file2_info->toPlainText().isEmpty());
        for (int i = 0; i < 5000; ++i) window->LogLine("line " + std::to_string(i));
        QCOMPARE(window->Memo1->document()->blockCount(), 5000);
        window->setProgress(42);
        QCOMPARE(window->progress(), 42);
        window->showMessage("buf error");
        QCOMPARE(dialogs.messages, QStringList{QStringLiteral("buf error")});
    }
};

int runMainWindowTests(int argc, char** argv) {
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
