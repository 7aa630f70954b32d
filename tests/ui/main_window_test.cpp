#include <sndfile.h>
#include <QAccessible>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "ui/window_test_support.h"
#include "wav/trace.h"
#include "wav_writer/wav_writer.h"

using namespace vemilo;
using namespace vemilo::testing;

namespace {

// A window on the screen, with settings and dialogs of its own.
struct ShownWindow {
    TempDir settings;
    RecordingDialogs dialogs;
    std::unique_ptr<ui::MainWindow> window = makeWindow(settings);
    Controls c{*window};
    bool exposed() {
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void layoutHasEveryControlWhereDesigned() {
        TempDir settings;
        RecordingDialogs dialogs;
        auto window = makeWindow(settings);
        const Controls c(*window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Vemilo v3.00β1"));
        // The lists show whole rows: as many as come nearest to the designed 57 pixels. What lies
        // below them moves by the difference.
        const int row = c.list[1]->rowHeight();
        const int frame = c.list[1]->height() - c.list[1]->maximumViewportSize().height();
        QCOMPARE((c.list[1]->height() - frame) % row, 0);
        QVERIFY(std::abs(c.list[1]->height() - 57) <= row / 2 + 1);
        const int grown = c.list[1]->height() - 57;
        QCOMPARE(c.folderGroup->geometry(), QRect(16, 4, 412, 191 + 2 * grown));
        QCOMPARE(c.list[1]->geometry(), QRect(16, 127 + grown, 377, 57 + grown));
        QCOMPARE(c.pathEdit[1]->geometry(), QRect(64, 43, 332, 21));
        // The information panes share the width, the progress bar has its time scale under it.
        QCOMPARE(c.infoPane[0]->geometry(), QRect(16, 280 + 2 * grown, 202, 82));
        QCOMPARE(c.infoPane[1]->geometry(), QRect(224, 279 + 2 * grown, 202, 83));
        QCOMPARE(c.progressBar->geometry(), QRect(16, 369 + 2 * grown, 412, 30));
        QCOMPARE(c.optionsGroup->geometry(), QRect(16, 405 + 2 * grown, 377, 83));
        QCOMPARE(c.differenceLimitEdit->geometry(), QRect(240, 48, 41, 21));
        QCOMPARE(c.controlsPanel->height(), 494 + 2 * grown);
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

    // Wider, the anchored controls stretch and the panes share the width; taller, the lists and
    // the log share the height, the lists in whole rows.
    void growingStretchesAnchoredControlsAndSharesHeightWithTheLists() {
        ShownWindow shown;
        QVERIFY(shown.exposed());
        auto& window = shown.window;
        const Controls& c = shown.c;
        const QSize before = window->size();
        const int logBefore = c.logView->height();
        const int listBefore = c.list[0]->height();
        const QRect infoBefore = c.infoPane[0]->geometry();
        const QRect options = c.optionsGroup->geometry();
        const QWidget* stretched[] = {c.folderGroup, c.folderButton[0], c.list[0], c.pathEdit[0], c.progressBar};
        QList<int> widths;
        for (const QWidget* w : stretched) widths << w->width();
        window->resize(before.width() + 300, before.height() + 200);
        QTRY_COMPARE(window->width(), before.width() + 300);
        for (int i = 0; i < widths.size(); ++i) QCOMPARE(stretched[i]->width(), widths[i] + 300);
        QCOMPARE(c.folderButton[0]->x(), 63);
        QCOMPARE(c.infoPane[0]->width() + c.infoPane[1]->width(), infoBefore.width() * 2 + 300);
        // Each list is given a quarter of the height gained, in whole rows.
        QCOMPARE(c.list[0]->height(), c.list[0]->wholeRowsHeight(57 + 200 / 4));
        const int grown = c.list[0]->height() - listBefore;
        QVERIFY(grown > 0);
        QCOMPARE(c.list[1]->height(), c.list[0]->height());
        QCOMPARE(c.infoPane[0]->y(), infoBefore.y() + 2 * grown);
        QCOMPARE(c.optionsGroup->y(), options.y() + 2 * grown);
        QTRY_COMPARE(c.logView->height(), logBefore + 200 - 2 * grown);
    }

    void neverSmallerThanTheDesignedWindow() {
        TempDir settings;
        RecordingDialogs dialogs;
        auto window = makeWindow(settings);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // It opens at its designed size: 442 wide, the menu bar and 686 below it, and the
        // strip's time scale.
        const QSize designed(442, window->menuBar()->height() + 686 + 13);
        QCOMPARE(window->size(), designed);
        window->resize(300, 300);
        QTRY_COMPARE(window->size(), designed);
        window->resize(600, 500);
        QTRY_COMPARE(window->height(), designed.height());
        QCOMPARE(window->width(), 600);
    }

    // On a screen too small for the designed window (scale 2 on 1280 x 1024 leaves 512 logical
    // pixels) the window fits: the log keeps a few lines, the controls scroll, the status bar shows.
    void fitsASmallScreen() {
        TempDir settings;
        RecordingDialogs dialogs;
        auto window = makeWindow(settings);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->fitToAvailableHeight(470);
        QTRY_COMPARE(window->height(), 470);
        const Controls c(*window);
        QVERIFY(c.logView->height() >= 56);
        const auto* status = window->findChild<QStatusBar*>(QStringLiteral("statusBar"));
        QVERIFY(status->geometry().bottom() < window->height());
        const auto* scroll = window->findChild<QScrollArea*>(QStringLiteral("panelScroll"));
        QTRY_VERIFY(scroll->verticalScrollBar()->isVisible());
        window->resize(442, 300);  // still no smaller than what fits
        QTRY_COMPARE(window->height(), 470);
        // Whatever the height, the fold of the panel never cuts the strip in two.
        for (int height = 440; height <= 700; height += 4) {
            window->fitToAvailableHeight(height);
            QTRY_COMPARE(window->height(), height);
            const int fold = scroll->height();
            const QRect strip = c.progressBar->geometry();
            QVERIFY2(fold <= strip.top() || fold > strip.bottom() || fold == c.controlsPanel->height(),
                     qPrintable(QStringLiteral("fold %1 through the strip at %2..%3")
                                    .arg(fold)
                                    .arg(strip.top())
                                    .arg(strip.bottom())));
        }
        window->fitToAvailableHeight(2000);  // a large screen: the designed size, nothing scrolls
        QTRY_COMPARE(window->height(), window->menuBar()->height() + 686 + 13);
        QTRY_VERIFY(!scroll->verticalScrollBar()->isVisible());
    }

    // Closing the window closes the picker and any message box it opened: nothing is left to keep
    // the program running without its window.
    void closingClosesTheDialogsItOpened() {
        TempDir settings;
        auto window = makeWindow(settings);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // Should closing leave the picker open, a watchdog closes it so that the test fails, not hangs.
        bool watchdog = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&watchdog] {
            watchdog = true;
            widgets::dialogs().closeAll();
        });
        guard.start(5000);
        QTimer::singleShot(300, window.get(), [&window] { window->close(); });
        window->filePanes().chooseFolder(0);  // returns only once the picker has gone
        QVERIFY(!watchdog);
        QVERIFY(!window->isVisible());
        for (QWidget* widget : QApplication::topLevelWidgets()) QVERIFY(!widget->isVisible());

        auto second = makeWindow(settings);
        second->show();
        QVERIFY(QTest::qWaitForWindowExposed(second.get()));
        guard.start(5000);
        QTimer::singleShot(300, second.get(), [&second] { second->close(); });
        widgets::dialogs().message(QStringLiteral("open while the window closes"));
        QVERIFY(!watchdog);
        for (QWidget* widget : QApplication::topLevelWidgets()) QVERIFY(!widget->isVisible());
    }

    void windowCommands() {
        ShownWindow shown;
        QVERIFY(shown.exposed());
        auto& window = shown.window;
        const Controls& c = shown.c;
        QCOMPARE(c.windowCommandMenu->actions().size(), 2);
        QCOMPARE(c.windowCommandMenu->actions()[0]->text(), QStringLiteral("移動(&M)"));
        QCOMPARE(c.windowCommandMenu->actions()[1]->text(), QStringLiteral("左上に移動"));
        window->move(200, 150);
        QTRY_COMPARE(window->pos(), QPoint(200, 150));
        const QSize size = window->size();
        // "移動" hands the window to the window system's interactive move: by itself it moves
        // nothing (the real-window test drags it); "左上に移動" puts it at the corner at once.
        c.windowCommandMenu->actions()[0]->trigger();
        QTest::qWait(50);
        QCOMPARE(window->pos(), QPoint(200, 150));
        QCOMPARE(window->size(), size);
        c.windowCommandMenu->actions()[1]->trigger();
        QTRY_COMPARE(window->pos(), QPoint(0, 0));
        QCOMPARE(window->size(), size);
    }

    void errorDisplayAppendsAFullStopByRule() {
        QCOMPARE(widgets::withFullStop(QStringLiteral("'a' は整数ではありません")),
                 QStringLiteral("'a' は整数ではありません."));
        QCOMPARE(widgets::withFullStop(QStringLiteral("done.")), QStringLiteral("done."));
        QCOMPARE(widgets::withFullStop(QStringLiteral("(x)")), QStringLiteral("(x)"));
        QCOMPARE(widgets::withFullStop(QStringLiteral("wow!")), QStringLiteral("wow!"));
        QCOMPARE(widgets::withFullStop(QStringLiteral("a/")), QStringLiteral("a/."));
        QCOMPARE(widgets::withFullStop(QString()), QStringLiteral("."));
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

    void filesDroppedOnTextFieldsAreOfferedNotPasted() {
        ShownWindow shown;
        QVERIFY(shown.exposed());
        auto& window = shown.window;
        auto& dialogs = shown.dialogs;
        auto& settings = shown.settings;
        const Controls& c = shown.c;
        const QString path = QString::fromStdString(settings.file("dropped.wav"));
        QWidget* targets[] = {c.logView->viewport(), c.pathEdit[0], c.matchLengthEdit, c.infoPane[1]->viewport()};
        for (QWidget* target : targets) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(path)});
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &drop);
            QTRY_VERIFY(c.dropMenu->isVisible());  // once the drop is over
            c.dropMenu->hide();
            QCOMPARE(window->filePanes().droppedPath(), path.toStdString());
        }
        QCOMPARE(c.logView->toPlainText(), QString());
        QCOMPARE(c.pathEdit[0]->text(), QString());
        QCOMPARE(c.matchLengthEdit->text(), QStringLiteral("200"));
        QVERIFY(dialogs.errors.isEmpty());
    }

    void captionsShowWholeAndEveryControlHasAName() {
        ShownWindow shown;
        QVERIFY(shown.exposed());
        auto& window = shown.window;
        const Controls& c = shown.c;
        int named = 0;
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            if (!widget->isVisibleTo(window.get())) continue;
            if (qobject_cast<QLabel*>(widget) || qobject_cast<QCheckBox*>(widget)) {
                QVERIFY2(
                    widget->width() >= widget->sizeHint().width() && widget->height() >= widget->sizeHint().height(),
                    qPrintable(widget->objectName() + QStringLiteral(" clips its caption")));
            }
            const bool control = qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                                 qobject_cast<QPlainTextEdit*>(widget) || qobject_cast<QAbstractItemView*>(widget) ||
                                 qobject_cast<QProgressBar*>(widget) || dynamic_cast<widgets::SpinControl*>(widget);
            if (!control) continue;
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            QVERIFY(accessible);
            QVERIFY2(!accessible->text(QAccessible::Name).isEmpty(),
                     qPrintable(QString::fromLatin1(widget->metaObject()->className()) + QLatin1Char(' ') +
                                widget->objectName()));
            ++named;
        }
        QVERIFY(named >= 20);
        QVERIFY(!c.folderButton[0]->isFlat());
        QCOMPARE(c.folderButton[1]->toolTip(), QStringLiteral("フォルダ2を選ぶ"));
    }

    void filesGivenAtStartAreChosenAsDropsWouldBe() {
        TempDir settings;
        RecordingDialogs dialogs;
        writer::writeCanonicalWav(settings.file("one.wav"), writer::PcmFormat{},
                                  writer::noiseFrames(writer::PcmFormat{}, 10));
        writer::writeCanonicalWav(settings.file("two.wav"), writer::PcmFormat{},
                                  writer::noiseFrames(writer::PcmFormat{}, 20));
        auto window = makeWindow(settings);
        const Controls c(*window);
        const TraceSink previous = setTraceSink({});
        window->openFiles(
            {QString::fromStdString(settings.file("one.wav")), QString::fromStdString(settings.file("two.wav"))});
        setTraceSink(previous);
        QCOMPARE(window->fileSlots()[0].frameCount, 10u);
        QCOMPARE(window->fileSlots()[1].frameCount, 20u);
        QCOMPARE(c.pathEdit[1]->text(), QString::fromStdString(settings.file("two.wav")));
        QCOMPARE(c.list[0]->rowText(c.list[0]->selectedRow()), std::string("one.wav"));
        QCOMPARE(c.folderButton[1]->text(), QString::fromStdString(settings.path() + "/"));
    }

    void aCopyInAnotherContainerIsListedChosenAndCompared() {
        TempDir settings;
        RecordingDialogs dialogs;
        const writer::PcmFormat format{};
        std::vector<int> samples;
        const std::vector<uint8_t> audio = writer::noiseFrames(format, 500);
        for (size_t i = 0; i + 1 < audio.size(); i += 2) samples.push_back((audio[i] | audio[i + 1] << 8) << 16);
        writer::writeCanonicalWav(settings.file("master.wav"), format, audio);
        SF_INFO info{};
        info.samplerate = static_cast<int>(format.sampleRate);
        info.channels = format.channels;
        info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        SNDFILE* flac = sf_open(settings.file("copy.flac").c_str(), SFM_WRITE, &info);
        QVERIFY(flac);
        QCOMPARE(sf_writef_int(flac, samples.data(), 500), sf_count_t{500});
        sf_close(flac);

        auto window = makeWindow(settings);
        const Controls c(*window);
        const TraceSink previous = setTraceSink({});
        window->openFiles(
            {QString::fromStdString(settings.file("master.wav")), QString::fromStdString(settings.file("copy.flac"))});
        QCOMPARE(c.list[1]->rowText(c.list[1]->selectedRow()), std::string("copy.flac"));
        QCOMPARE(c.infoPane[1]->toPlainText().split('\n').value(1), QStringLiteral("44100Hz 16bit stereo FLAC"));
        c.runAction->trigger();
        setTraceSink(previous);
        const QString log = c.logView->toPlainText();
        QVERIFY2(log.contains(QStringLiteral("形式:FLAC 44100Hz 16bit pcm stereo")), qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("一致しました。")), qPrintable(log));
    }

    // The measure box reads the pair to its end and names why it differs; unchecked, the run stops
    // at the first difference as before.
    void theMeasureBoxNamesTheCause() {
        TempDir settings;
        RecordingDialogs dialogs;
        const writer::PcmFormat format{};
        std::vector<uint8_t> audio = writer::noiseFrames(format, 3000);
        writer::writeCanonicalWav(settings.file("one.wav"), format, audio);
        for (size_t i = 0; i + 1 < audio.size(); i += 2) {
            const auto negated = static_cast<uint16_t>(-static_cast<int16_t>(audio[i] | audio[i + 1] << 8));
            audio[i] = static_cast<uint8_t>(negated);
            audio[i + 1] = static_cast<uint8_t>(negated >> 8);
        }
        writer::writeCanonicalWav(settings.file("two.wav"), format, audio);
        auto window = makeWindow(settings);
        const Controls c(*window);
        const TraceSink previous = setTraceSink({});
        window->openFiles(
            {QString::fromStdString(settings.file("one.wav")), QString::fromStdString(settings.file("two.wav"))});
        c.runAction->trigger();
        QVERIFY(!c.logView->toPlainText().contains(QStringLiteral("原因: ")));
        c.measure->setChecked(true);
        c.runAction->trigger();
        setTraceSink(previous);
        const QString log = c.logView->toPlainText();
        QVERIFY2(log.contains(QStringLiteral("原因: 極性反転")), qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("測定 チャンネル1: ")), qPrintable(log));
    }

    void theFolderPickerLeavesTheWindowUsableAndSpeaksJapanese() {
        TempDir settings;
        auto window = makeWindow(settings);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        bool checked = false;
        QTimer::singleShot(100, window.get(), [&] {
            QFileDialog* picker = nullptr;
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (auto* dialog = qobject_cast<QFileDialog*>(top); dialog && dialog->isVisible()) picker = dialog;
            }
            if (!picker) return;
            checked = picker->windowTitle() == QStringLiteral("ディレクトリを開くダイアログ") &&
                      picker->parentWidget() == nullptr && QApplication::activeModalWidget() == nullptr &&
                      window->isEnabled();
            const QList<QPushButton*> buttons = picker->findChildren<QPushButton*>();
            checked = checked && std::any_of(buttons.begin(), buttons.end(), [](QPushButton* b) {
                          return b->text().contains(QStringLiteral("キャンセル"));
                      });
            picker->reject();
        });
        QCOMPARE(widgets::dialogs().chooseFolder(QStringLiteral("ディレクトリを開くダイアログ")), QString());
        QVERIFY(checked);
    }
};

int runMainWindowTests(int argc, char** argv) {
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
