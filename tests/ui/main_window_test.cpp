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
        const Controls c(*window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Vemilo v3.00β1"));
        QCOMPARE(c.folderGroup->geometry(), QRect(16, 4, 412, 191));
        QCOMPARE(c.list[1]->geometry(), QRect(16, 127, 377, 57));
        QCOMPARE(c.pathEdit[1]->geometry(), QRect(64, 43, 332, 21));
        QCOMPARE(c.infoPane[1]->geometry(), QRect(183, 279, 161, 83));
        QCOMPARE(c.progressBar->geometry(), QRect(16, 369, 412, 17));
        QCOMPARE(c.optionsGroup->geometry(), QRect(16, 392, 377, 83));
        QCOMPARE(c.differenceLimitEdit->geometry(), QRect(240, 48, 41, 21));
        QCOMPARE(c.controlsPanel->height(), 481);
        QCOMPARE(window->statusBar()->height(), 25);
        QVERIFY(c.nextFileButton->isHidden());
        QCOMPARE(c.optionsGroup->title(), QStringLiteral("比較オプション"));
        QCOMPARE(c.runAction->text(), QStringLiteral("実行"));
        QVERIFY(c.runAction->menu() == nullptr);
        QCOMPARE(c.syncAction[0]->text(), QStringLiteral("1→2"));
        QCOMPARE(c.rereadAction[1]->text(), QStringLiteral("2"));
        QCOMPARE(c.folderWatchTimer->interval(), 1000);
        QVERIFY(c.folderWatchTimer->isActive());
        QCOMPARE(c.progressBar->maximum(), 100);
        // The designed option state, with no settings file.
        QVERIFY(c.zeroSkip->isChecked());
        QVERIFY(c.matchPoint->isChecked());
        QVERIFY(!c.continuous->isChecked());
        QVERIFY(!c.details->isChecked());
        QCOMPARE(c.matchLengthEdit->text(), QStringLiteral("200"));
        QCOMPARE(c.differenceLimitEdit->text(), QStringLiteral("200"));
        QVERIFY(window->fileSlots()[0].path.empty() && window->fileSlots()[1].path.empty());
        QVERIFY(window->acceptDrops());
        // Run right after start: file 1 is not given.
        window->runComparison();
        QCOMPARE(dialogs.messages, QStringList{QStringLiteral("ファイル1が指定されていません")});
    }

    void growingStretchesAnchoredControlsAndGivesHeightToTheLog() {
        TempDir settings;
        RecordingDialogs dialogs;
        auto window = makeWindow(settings);
        const Controls c(*window);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QSize before = window->size();
        const int memoBefore = c.logView->height();
        const QRect infoBefore = c.infoPane[0]->geometry();
        const QRect options = c.optionsGroup->geometry();
        const QWidget* stretched[] = {c.folderGroup, c.folderButton[0], c.list[0], c.pathEdit[0], c.progressBar};
        QList<int> widths;
        for (const QWidget* w : stretched) widths << w->width();
        window->resize(before.width() + 300, before.height() + 200);
        QTRY_COMPARE(window->width(), before.width() + 300);
        for (int i = 0; i < widths.size(); ++i) QCOMPARE(stretched[i]->width(), widths[i] + 300);
        QCOMPARE(c.folderButton[0]->x(), 63);
        QCOMPARE(c.logView->height(), memoBefore + 200);
        QCOMPARE(c.infoPane[0]->geometry(), infoBefore);
        QCOMPARE(c.optionsGroup->geometry(), options);
        QCOMPARE(c.controlsPanel->height(), 481);
    }

    void neverSmallerThanTheMinimum() {
        TempDir settings;
        RecordingDialogs dialogs;
        auto window = makeWindow(settings);
        const Controls c(*window);
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
        const Controls c(*window);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->move(200, 150);
        const QSize size = window->size();
        window->runWindowCommand(ui::WindowCommand::MoveToTopLeft);
        QTRY_COMPARE(window->pos(), QPoint(0, 0));
        QCOMPARE(window->size(), size);
        window->runWindowCommand(ui::WindowCommand::Move);  // the interactive move; no effect without a pointer
        QCOMPARE(window->size(), size);
        QCOMPARE(c.windowCommandMenu->actions().size(), 2);
        QCOMPARE(c.windowCommandMenu->actions()[0]->text(), QStringLiteral("移動(&M)"));
        QCOMPARE(c.windowCommandMenu->actions()[1]->text(), QStringLiteral("左上に移動"));
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
        const Controls c(*window);
        // An error escaping an event handler reaches the application's notify.
        class Thrower : public QObject {
        public:
            bool event(QEvent*) override { throw std::runtime_error("broken"); }
        } thrower;
        QEvent event(QEvent::User);
        QCoreApplication::sendEvent(&thrower, &event);
        QCOMPARE(dialogs.errors, QStringList{QStringLiteral("broken.")});
        // One raised inside a handler that Qt calls is shown the same way.
        c.differenceLimitEdit->setText(QStringLiteral("x!"));
        QCOMPARE(dialogs.errors.last(), QStringLiteral("'x!' は整数ではありません."));
        window->reporter().logLine("still here");
        QTRY_COMPARE(c.logView->toPlainText(), QStringLiteral("still here"));
    }

    void hostWritesIntoThePanes() {
        TempDir settings;
        RecordingDialogs dialogs;
        auto window = makeWindow(settings);
        const Controls c(*window);
        window->reporter().appendInfo(1, "ファイル2");
        window->reporter().appendInfo(1, "44100Hz 16bit stereo");
        QCOMPARE(c.infoPane[1]->toPlainText(), QStringLiteral("ファイル2\n44100Hz 16bit stereo"));
        window->reporter().clearInfo(1);
        QVERIFY(c.infoPane[1]->toPlainText().isEmpty());
        for (int i = 0; i < 5000; ++i) window->reporter().logLine("line " + std::to_string(i));
        QTRY_COMPARE(c.logView->document()->blockCount(), 5000);  // shown together once the loop has its turn
        window->reporter().setProgress(42);
        QCOMPARE(window->reporter().progress(), 42);
        window->reporter().showMessage("buf error");
        QCOMPARE(dialogs.messages, QStringList{QStringLiteral("buf error")});
    }
};

int runMainWindowTests(int argc, char** argv) {
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
