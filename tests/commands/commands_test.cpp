#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <filesystem>

#include "cli/cli_app.h"
#include "compare/run_state.h"

#include "ui/window_test_support.h"
#include "wav/text_format.h"
#include "wav/trace.h"
#include "wav_writer/wav_writer.h"

using namespace vemilo;
using namespace vemilo::testing;
using namespace vemilo::writer;

namespace {

const PcmFormat kCd{1, 2, 44100, 16};

QStringList logLines(const ui::MainWindow& window) { return Controls(window).logView->toPlainText().split(u'\n'); }

int countLines(const ui::MainWindow& window, const QString& prefix) {
    int count = 0;
    for (const QString& line : logLines(window)) count += line.startsWith(prefix);
    return count;
}

}  // namespace

class CommandsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<RecordingDialogs> dialogs_;
    std::unique_ptr<ui::MainWindow> window_;
    std::unique_ptr<Controls> c_;
    TraceSink previousTrace_;

    std::string folder(const std::string& name) {
        const std::string path = dir_->file(name);
        std::filesystem::create_directories(path);
        return path;
    }
    void wav(const std::string& folderName, const std::string& name, uint32_t seed = 1, const PcmFormat& format = kCd) {
        writeCanonicalWav(folder(folderName) + "/" + name, format, noiseFrames(format, 2000, seed));
    }
    // Points both panes at folders as the folder picker would.
    void pickFolders(const std::string& one, const std::string& two) {
        dialogs_->folderToChoose = QString::fromStdString(folder(one));
        window_->filePanes().chooseFolder(0);
        dialogs_->folderToChoose = QString::fromStdString(folder(two));
        window_->filePanes().chooseFolder(1);
    }
    // Writes a pair into folders a and b, and selects it in both lists.
    void choosePair(const std::string& name, const PcmFormat& format, const std::vector<uint8_t>& one,
                    const std::vector<uint8_t>& two) {
        writeCanonicalWav(folder("a") + "/" + name, format, one);
        writeCanonicalWav(folder("b") + "/" + name, format, two);
        pickFolders("a", "b");
        userSelects(c_->list[0], 0);
        userSelects(c_->list[1], 0);
    }
    // Selects a row as the user would, with the keyboard.
    void userSelects(widgets::FileListBox* list, int row) {
        list->setFocus();
        list->setCurrentIndex(list->model()->index(row, 0));
    }

private slots:
    void init() {
        previousTrace_ = setTraceSink({});
        dir_ = std::make_unique<TempDir>();
        dialogs_ = std::make_unique<RecordingDialogs>();
        window_ = makeWindow(*dir_);
        c_ = std::make_unique<Controls>(*window_);
    }
    void cleanup() {
        c_.reset();
        window_.reset();
        dialogs_.reset();
        dir_.reset();
        setTraceSink(previousTrace_);
    }

    void onlyTheUsersSelectionLoadsAFile() {
        wav("a", "1.wav");
        wav("a", "2.wav");
        pickFolders("a", "a");
        QCOMPARE(c_->folderButton[0]->text(), QString::fromStdString(folder("a")));
        QCOMPARE(c_->list[0]->rowCount(), 2);
        c_->list[0]->selectRow(1);
        QCOMPARE(c_->list[0]->selectedRow(), 1);
        QVERIFY(window_->fileSlots()[0].path.empty());
        QVERIFY(c_->pathEdit[0]->text().isEmpty());

        // A click on a row loads it; taking the focus alone loads nothing.
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        c_->list[1]->setFocus();
        QCOMPARE(c_->list[1]->selectedRow(), -1);
        QVERIFY(window_->fileSlots()[1].path.empty());
        const QRect firstRow = c_->list[1]->rowRect(0);
        QTest::mouseClick(c_->list[1]->viewport(), Qt::LeftButton, {}, firstRow.center());
        QCOMPARE(window_->fileSlots()[1].path, folder("a") + "/1.wav");
        QCOMPARE(c_->pathEdit[1]->text(), QString::fromStdString(folder("a") + "/1.wav"));
        const uint64_t firstLoad = window_->fileSlots()[1].loadId;
        QTest::mouseClick(c_->list[1]->viewport(), Qt::LeftButton, {}, firstRow.center());  // again: loaded again
        QVERIFY(window_->fileSlots()[1].loadId != firstLoad);
        QCOMPARE(window_->fileSlots()[1].path, folder("a") + "/1.wav");
        QTest::keyClick(c_->list[1], Qt::Key_Down);
        QCOMPARE(c_->list[1]->selectedRow(), 1);
        QCOMPARE(window_->fileSlots()[1].path, folder("a") + "/2.wav");
        QCOMPARE(c_->pathEdit[1]->text(), QString::fromStdString(folder("a") + "/2.wav"));
        QCOMPARE(c_->infoPane[1]->toPlainText().split(u'\n').size(), 6);
    }

    void cancelledPickerChangesNothing() {
        wav("a", "1.wav");
        pickFolders("a", "a");
        dialogs_->folderToChoose.clear();
        window_->filePanes().chooseFolder(0);
        QCOMPARE(dialogs_->titles.last(), QStringLiteral("ディレクトリを開くダイアログ"));
        QCOMPARE(c_->folderButton[0]->text(), QString::fromStdString(folder("a")));
        QCOMPARE(c_->list[0]->rowCount(), 1);
    }

    void watchFollowsTheFolder() {
        wav("a", "1.wav");
        wav("a", ".hidden.wav");
        pickFolders("a", "a");
        c_->list[0]->selectRow(0);
        window_->filePanes().watchFolders();  // a hidden file alone never causes a re-read
        QCOMPARE(c_->list[0]->selectedRow(), 0);
        QVERIFY(!c_->list[0]->followFolder());  // an unchanged folder is not even counted
        wav("a", "0.wav");
        QTRY_COMPARE_WITH_TIMEOUT(c_->list[0]->rowCount(), 2, 2500);  // the timer's own tick
        QCOMPARE(c_->list[0]->selectedRow(), -1);
        QCOMPARE(c_->list[0]->rowText(0), std::string("0.wav"));

        // A folder that disappears is emptied once, quietly; when it returns it is read again.
        std::filesystem::remove_all(folder("a"));
        window_->filePanes().watchFolders();
        QCOMPARE(c_->list[0]->rowCount(), 0);
        window_->filePanes().watchFolders();
        QVERIFY(dialogs_->errors.isEmpty());
        wav("a", "5.wav");
        window_->filePanes().watchFolders();
        QCOMPARE(c_->list[0]->rowCount(), 1);
        window_->filePanes().rereadList(0);
        QCOMPARE(c_->list[0]->rowCount(), 1);
    }

    void refreshKeepsTheSlot() {
        wav("a", "1.wav");
        pickFolders("a", "a");
        userSelects(c_->list[0], 0);
        QVERIFY(!window_->fileSlots()[0].path.empty());
        window_->filePanes().rereadList(0);
        QCOMPARE(c_->list[0]->selectedRow(), -1);
        QCOMPARE(window_->fileSlots()[0].path, folder("a") + "/1.wav");
        QCOMPARE(c_->pathEdit[0]->text(), QString::fromStdString(folder("a") + "/1.wav"));
    }

    void dropOfOneFileAsksForItsSideAndTwoFillBoth() {
        wav("a", "x.wav");
        wav("b", "Y.wav");
        wav("b", "z.wav");
        pickFolders("a", "a");
        const QString dropped = QString::fromStdString(folder("b") + "/z.wav");
        window_->filePanes().offerDroppedFile({dropped});
        QCOMPARE(window_->filePanes().droppedPath(), dropped.toStdString());
        QTRY_VERIFY(c_->dropMenu->isVisible());
        c_->dropMenu->hide();
        window_->filePanes().assignDroppedFile(1);
        QCOMPARE(c_->pathEdit[1]->text(), dropped);
        QCOMPARE(c_->folderButton[1]->text(), QString::fromStdString(folder("b") + "/"));
        QCOMPARE(c_->list[1]->folder(), folder("b"));
        QCOMPARE(c_->list[1]->selectedRow(), 1);
        QCOMPARE(window_->fileSlots()[1].path, dropped.toStdString());
        QCOMPARE(c_->list[0]->folder(), folder("a"));  // the other pane is untouched

        // Letter case counts: y.wav names no file, which is said, and the panes stay as they were.
        window_->filePanes().offerDroppedFile({QString::fromStdString(folder("b") + "/y.wav")});
        window_->filePanes().assignDroppedFile(1);
        QCOMPARE(c_->list[1]->selectedRow(), 1);
        QCOMPARE(dialogs_->messages.size(), 1);
        QVERIFY(dialogs_->messages.front().endsWith(QStringLiteral("ファイルが見つかりません")));
        QCOMPARE(widgets::findFileRow(*c_->list[1], "Y.wav"), 0);
        QCOMPARE(widgets::findFileRow(*c_->list[1], "y.wav"), 2);
        dialogs_->messages.clear();

        // Two files at once: file 1 and file 2 in the order given, without the menu; a third is ignored.
        c_->dropMenu->hide();
        window_->filePanes().offerDroppedFile({QString::fromStdString(folder("b") + "/Y.wav"),
                                               QString::fromStdString(folder("a") + "/x.wav"),
                                               QStringLiteral("/etc/passwd")});
        QCOMPARE(window_->fileSlots()[0].path, folder("b") + "/Y.wav");
        QCOMPARE(window_->fileSlots()[1].path, folder("a") + "/x.wav");
        QCOMPARE(c_->list[1]->folder(), folder("a"));
        QVERIFY(!c_->dropMenu->isVisible());
        QVERIFY(dialogs_->messages.isEmpty());

        // A very long path works like any other.
        std::string deep = folder("c");
        while (deep.size() < 1200) deep += "/" + std::string(100, 'd');
        std::filesystem::create_directories(deep);
        writeCanonicalWav(deep + "/long.wav", kCd, noiseFrames(kCd, 10));
        window_->filePanes().offerDroppedFile({QString::fromStdString(deep + "/long.wav")});
        window_->filePanes().assignDroppedFile(0);
        QCOMPARE(c_->list[0]->folder(), deep);
        QCOMPARE(c_->list[0]->selectedRow(), 0);
        QCOMPARE(window_->fileSlots()[0].frameCount, 10u);
    }

    void synchronisation() {
        // At start both captions name the folder both lists show, and 同期 works at once.
        const QString start = QString::fromStdString(c_->list[0]->folder());
        QVERIFY(!start.isEmpty());
        QCOMPARE(c_->folderButton[0]->text(), start);
        QCOMPARE(c_->folderButton[1]->text(), start);
        window_->filePanes().copyFolder(0, 1);
        window_->filePanes().copyFolder(1, 0);
        QVERIFY(dialogs_->messages.isEmpty());
        // A caption emptied (no folder named) is said so.
        c_->folderButton[0]->setText(QString());
        window_->filePanes().copyFolder(0, 1);
        QCOMPARE(dialogs_->messages, QStringList{QStringLiteral("フォルダ1が設定されていません")});

        wav("a", "1.wav");
        wav("b", "1.wav");
        wav("b", "2.wav");
        pickFolders("a", "b");
        c_->list[1]->selectRow(1);
        window_->filePanes().copyFolder(0, 1);
        QCOMPARE(c_->folderButton[1]->text(), QString::fromStdString(folder("a")));
        QCOMPARE(c_->list[1]->rowCount(), 1);
        QCOMPARE(c_->list[1]->selectedRow(), -1);
        c_->list[1]->selectRow(0);
        window_->filePanes().copyFolder(0, 1);  // the same folder: the selection stays
        QCOMPARE(c_->list[1]->selectedRow(), 0);
        QVERIFY(window_->fileSlots()[0].path.empty());

        std::filesystem::remove_all(folder("b"));
        c_->folderButton[1]->setText(QString::fromStdString(dir_->file("b")));
        c_->syncAction[1]->trigger();  // the error display shows why, and the list keeps its folder
        QCOMPARE(dialogs_->errors, QStringList{QStringLiteral("フォルダ ") + QString::fromStdString(dir_->file("b")) +
                                               QStringLiteral(" を開けません.")});
        QCOMPARE(c_->folderButton[0]->text(), QString::fromStdString(dir_->file("b")));
        QCOMPARE(c_->list[0]->folder(), folder("a"));
    }

    // What the path fields show is what is compared: Enter chooses a typed file, and Run chooses
    // a typed file that was not chosen yet before it compares.
    void typedPathsAreWhatIsCompared() {
        wav("a", "1.wav", 1);
        wav("a", "2.wav", 2);
        wav("b", "1.wav", 1);
        pickFolders("a", "b");
        c_->pathEdit[0]->setText(QString::fromStdString(folder("a") + "/1.wav"));
        QTest::keyClick(c_->pathEdit[0], Qt::Key_Return);
        QCOMPARE(window_->fileSlots()[0].path, folder("a") + "/1.wav");
        QCOMPARE(c_->list[0]->selectedRow(), 0);
        c_->pathEdit[1]->setText(QString::fromStdString(folder("b") + "/1.wav"));  // typed, no Enter
        window_->runComparison();
        QCOMPARE(window_->fileSlots()[1].path, folder("b") + "/1.wav");
        QVERIFY(logLines(*window_).contains(QStringLiteral("一致しました。")));
        // A different file typed over the chosen one is compared, not the one chosen before.
        c_->pathEdit[1]->setText(QString::fromStdString(folder("a") + "/2.wav"));
        window_->runComparison();
        QCOMPARE(window_->fileSlots()[1].path, folder("a") + "/2.wav");
        QVERIFY(
            logLines(*window_).contains(QStringLiteral("ファイル2:") + QString::fromStdString(folder("a") + "/2.wav")));

        // A mistyped path is named, and folder 1 keeps its folder, list and selection.
        const QString caption = c_->folderButton[0]->text();
        c_->pathEdit[0]->setText(QString::fromStdString(folder("a") + "/nowhere/1.wav"));
        QTest::keyClick(c_->pathEdit[0], Qt::Key_Return);
        QCOMPARE(c_->list[0]->folder(), folder("a"));
        QCOMPARE(c_->list[0]->selectedRow(), 0);
        QCOMPARE(c_->folderButton[0]->text(), caption);
        QVERIFY(dialogs_->messages.last().endsWith(QStringLiteral("ファイルが見つかりません")));
    }

    // One Tab order through every control, forward and back, in reading order; no stop that
    // cannot be seen, and none that keeps the focus.
    void tabWalksEveryControlInReadingOrder() {
        wav("a", "1.wav");
        pickFolders("a", "a");
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(c_->list[0]));  // where a start leaves it
        const QList<QWidget*> order = {
            c_->folderButton[0], c_->list[0],         c_->folderButton[1], c_->list[1],     c_->pathEdit[0],
            c_->pathEdit[1],     c_->infoPane[0],     c_->infoPane[1],     c_->progressBar, c_->zeroSkip,
            c_->matchPoint,      c_->matchLengthEdit, c_->continuous,      c_->details,     c_->differenceLimitEdit,
            c_->measure,         c_->logView};
        c_->folderButton[0]->setFocus(Qt::TabFocusReason);
        for (qsizetype i = 1; i <= order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), order[i % order.size()]);
        }
        for (qsizetype i = order.size() - 1; i >= 0; --i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
            QCOMPARE(QApplication::focusWidget(), order[i]);
        }
        // The information panes can be read and copied, never typed into.
        const QString info = c_->infoPane[0]->toPlainText();
        c_->infoPane[0]->setFocus();
        QTest::keyClicks(c_->infoPane[0], QStringLiteral("XYZQ"));
        QCOMPARE(c_->infoPane[0]->toPlainText(), info);
        QVERIFY(c_->infoPane[0]->isReadOnly());
        QVERIFY(c_->infoPane[0]->textInteractionFlags() & Qt::TextSelectableByKeyboard);
        // Ctrl+Q closes the window as its close button does.
        QTest::keyClick(window_.get(), Qt::Key_Q, Qt::ControlModifier);
        QTRY_VERIFY(!window_->isVisible());
    }

    // The keyboard reaches everything: Tab leaves the log, F5 and Ctrl+Return run, F10 opens the
    // menu bar.
    void keyboardAlone() {
        wav("a", "1.wav");
        pickFolders("a", "a");
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        c_->logView->setFocus();
        QTest::keyClick(c_->logView, Qt::Key_Tab);
        QCOMPARE(c_->logView->toPlainText(), QString());  // no tab character typed
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(c_->folderButton[0]));
        QCOMPARE(c_->folderButton[0]->focusPolicy(), Qt::StrongFocus);
        QTest::keyClick(c_->folderButton[0], Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(c_->logView));

        userSelects(c_->list[0], 0);
        userSelects(c_->list[1], 0);
        QTest::keyClick(window_.get(), Qt::Key_F5);
        QVERIFY(logLines(*window_).contains(QStringLiteral("一致しました。")));
        c_->logView->setPlainText(QStringLiteral("old"));
        c_->logView->setFocus();
        QTest::keyClick(c_->logView, Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(logLines(*window_).contains(QStringLiteral("一致しました。")));
        QVERIFY(!logLines(*window_).contains(QStringLiteral("old")));

        QTest::keyClick(window_.get(), Qt::Key_F10);
        QVERIFY(window_->menuBar()->activeAction() != nullptr);
        QCOMPARE(window_->menuBar()->activeAction()->text(), QStringLiteral("実行"));
    }

    void runChecksInOrder() {
        c_->matchLengthEdit->clear();
        window_->runComparison();
        QCOMPARE(dialogs_->messages.last(), QStringLiteral("一致点のサンプル数を指定してください。"));
        c_->matchPoint->setChecked(false);
        window_->runComparison();
        QCOMPARE(dialogs_->messages.last(), QStringLiteral("ファイル1が指定されていません"));
        wav("a", "1.wav");
        pickFolders("a", "a");
        userSelects(c_->list[0], 0);
        c_->logView->setPlainText(QStringLiteral("old"));
        window_->runComparison();
        QCOMPARE(dialogs_->messages.last(), QStringLiteral("ファイル2が指定されていません"));
        QCOMPARE(c_->logView->toPlainText(), QStringLiteral("old"));
        userSelects(c_->list[1], 0);
        window_->runComparison();  // an empty match length is fine with match point off
        QCOMPARE(countLines(*window_, QStringLiteral("一致しました。")), 1);
        QVERIFY(!c_->logView->toPlainText().contains(QStringLiteral("old")));

        // A limit that is not a number passes the checks; the run's conversion error is shown.
        c_->differenceLimitEdit->setText(QStringLiteral("x"));
        dialogs_->errors.clear();
        c_->runAction->trigger();
        QCOMPARE(dialogs_->errors, QStringList{QStringLiteral("'x' は整数ではありません.")});
        QVERIFY(!window_->runCommand().isRunning());
    }

    void continuousModeStopsAtTheFirstDifferingPair() {
        wav("a", "1.wav", 1);
        wav("a", "2.wav", 2);
        wav("a", "3.wav", 3);
        wav("b", "1.wav", 1);
        wav("b", "2.wav", 9);
        wav("b", "3.wav", 3);
        pickFolders("a", "b");
        userSelects(c_->list[0], 0);
        userSelects(c_->list[1], 0);
        c_->continuous->setChecked(true);
        window_->runComparison();
        QCOMPARE(countLines(*window_, QStringLiteral("ファイル1:/")), 2);
        QCOMPARE(countLines(*window_, QStringLiteral("一致しました。")), 1);
        QCOMPARE(countLines(*window_, QStringLiteral("相違点がありました。")), 1);
        QCOMPARE(c_->list[0]->selectedRow(), 1);
        QCOMPARE(c_->list[1]->selectedRow(), 1);
        QCOMPARE(c_->pathEdit[1]->text(), QString::fromStdString(folder("b") + "/2.wav"));
    }

    void continuousModeGoesOnPastAFormatMismatchAndStopsAtTheEnd() {
        wav("a", "1.wav", 1);
        wav("a", "2.wav", 2, PcmFormat{1, 2, 48000, 16});
        wav("a", "3.wav", 3);
        wav("a", "4.wav", 4);
        wav("b", "1.wav", 1);
        wav("b", "2.wav", 2);
        wav("b", "3.wav", 3);
        pickFolders("a", "b");
        c_->continuous->setChecked(true);
        // No row selected: the first run uses the slots, the series starts at each first row.
        window_->filePanes().offerDroppedFile({QString::fromStdString(folder("a") + "/1.wav")});
        window_->filePanes().assignDroppedFile(0);
        window_->filePanes().offerDroppedFile({QString::fromStdString(folder("b") + "/1.wav")});
        window_->filePanes().assignDroppedFile(1);
        c_->list[0]->selectRow(-1);
        c_->list[1]->selectRow(-1);
        window_->runComparison();
        QCOMPARE(dialogs_->messages, QStringList{QStringLiteral("サンプリングレートが違います。")});
        QCOMPARE(countLines(*window_, QStringLiteral("ファイル1:/")), 4);
        QCOMPARE(countLines(*window_, QStringLiteral("一致しました。")), 3);
        // File 1 moved on to 4.wav before the end of list 2 was noticed.
        QCOMPARE(c_->list[0]->selectedRow(), 3);
        QCOMPARE(window_->fileSlots()[0].path, folder("a") + "/4.wav");
        QCOMPARE(c_->list[1]->selectedRow(), 2);
    }

    void continuousModeWithEmptyLists() {
        wav("a", "1.wav");
        pickFolders("a", "a");
        userSelects(c_->list[0], 0);
        userSelects(c_->list[1], 0);
        folder("empty");
        dialogs_->folderToChoose = QString::fromStdString(folder("empty"));
        window_->filePanes().chooseFolder(0);
        window_->filePanes().chooseFolder(1);
        c_->continuous->setChecked(true);
        window_->runComparison();
        QCOMPARE(countLines(*window_, QStringLiteral("ファイル1:/")), 1);
        window_->runComparison();  // a second command starts with an empty log
        QCOMPARE(countLines(*window_, QStringLiteral("ファイル1:/")), 1);
    }

    void runChosenAgainDuringARunIsIgnored() {
        const PcmFormat format{1, 1, 8000, 8};
        std::vector<uint8_t> audio = noiseFrames(format, kCompareBlockBytes + 1000);  // two blocks, a yield between
        writeCanonicalWav(folder("a") + "/1.wav", format, audio);
        pickFolders("a", "a");
        userSelects(c_->list[0], 0);
        userSelects(c_->list[1], 0);
        int nested = 0;
        QTimer::singleShot(0, window_.get(), [&] {
            ++nested;
            window_->runComparison();
        });
        window_->runComparison();
        QCOMPARE(nested, 1);
        QCOMPARE(countLines(*window_, QStringLiteral("ファイル1:/")), 1);
        QCOMPARE(countLines(*window_, QStringLiteral("一致しました。")), 1);
        QVERIFY(!window_->runCommand().isRunning());
    }

    void damagedCopiesAreReportedAsInTheCommandLine() {
        const std::vector<uint8_t> audio = noiseFrames(kCd, 3000);
        writeCanonicalWav(folder("a") + "/1.wav", kCd, audio);
        writeCanonicalWav(folder("b") + "/1.wav", kCd, std::vector<uint8_t>(audio.begin(), audio.end() - 4 * 1000));
        writeFile(folder("b") + "/2.wav", std::vector<uint8_t>(64, 'x'));
        pickFolders("a", "b");
        userSelects(c_->list[0], 0);
        userSelects(c_->list[1], 0);
        c_->runAction->trigger();
        QVERIFY(logLines(*window_).contains(QStringLiteral("ファイル1の残り1000サンプルは比較されませんでした。")));
        QCOMPARE(c_->progressBar->value(), 100);
        userSelects(c_->list[1], 1);
        c_->runAction->trigger();
        // Named when chosen, with the reason, in a message and in the log.
        const QString named = QStringLiteral("ファイル2 ") + QString::fromStdString(folder("b") + "/2.wav") +
                              QStringLiteral(" を読めません: RIFF/WAVEファイルではありません");
        QCOMPARE(dialogs_->messages.last(), named);
        QVERIFY(logLines(*window_).contains(named));
        QCOMPARE(Controls(*window_).infoPane[1]->toPlainText(),
                 QStringLiteral("ファイル2\n読めません:\nRIFF/WAVEファイルではありません"));
        // And again when run: the log says why nothing was compared.
        c_->runAction->trigger();
        QCOMPARE(dialogs_->messages.last(), named);
        QVERIFY(logLines(*window_).contains(named));
    }

    void closingDuringARunStopsItAtTheNextBlock() {
        const PcmFormat format{1, 1, 8000, 8};
        const uint32_t frames = 3 * kCompareBlockBytes;
        writeCanonicalWav(folder("a") + "/1.wav", format, noiseFrames(format, frames));
        pickFolders("a", "a");
        userSelects(c_->list[0], 0);
        userSelects(c_->list[1], 0);
        c_->continuous->setChecked(true);
        window_->show();
        QTimer::singleShot(0, window_.get(), [&] { window_->close(); });
        window_->runComparison();
        QVERIFY(window_->reporter().stopRequested());
        // Stopped after the first block: one comparison, far from all of its frames.
        QCOMPARE(countLines(*window_, QStringLiteral("ファイル1:/")), 1);
        QVERIFY(logLines(*window_).contains(formatText("比較サンプル(%zu)", kCompareBlockBytes).c_str()));
    }

    void theProgressStripMarksWhereFramesDiffered() {
        const PcmFormat format{1, 1, 8000, 16};
        std::vector<uint8_t> audio = noiseFrames(format, 10000);
        std::vector<uint8_t> changed = audio;
        for (int frame : {0, 2500, 9999}) changed[frame * 2] ^= 0x10;
        choosePair("p.wav", format, audio, changed);
        c_->zeroSkip->setChecked(false);
        c_->matchPoint->setChecked(false);
        window_->runComparison();
        QCOMPARE(c_->progressBar->marks(), (std::vector<double>{0.0, 0.25, 0.9999}));
        QCOMPARE(c_->progressBar->toolTip(), QStringLiteral("最初の相違点 1 / 最後の相違点 10000"));
        QVERIFY(c_->progressBar->notCompared().empty());
        // Marks at the first and the last frame stand inside the bar's frame, not on it.
        QCOMPARE(widgets::ProgressStrip::column(0.0, 412), 3);
        QCOMPARE(widgets::ProgressStrip::column(1.0, 412), 412 - 4);

        // Stopped at the limit: the strip says so and greys what was never compared.
        c_->differenceLimitEdit->setText(QStringLiteral("1"));
        window_->runComparison();
        QCOMPARE(c_->progressBar->marks(), (std::vector<double>{0.0}));
        QCOMPARE(c_->progressBar->notCompared(), (std::vector<widgets::ProgressStrip::Range>{{2500.0 / 10000, 1.0}}));
        QCOMPARE(c_->progressBar->toolTip(),
                 QStringLiteral("最初の相違点 1 / 最後の相違点 1\n相違数の上限で停止: フレーム2501"));
        c_->differenceLimitEdit->setText(QStringLiteral("200"));
        // Until the next run, which finds none here.
        userSelects(c_->list[1], 0);
        c_->list[0]->selectRow(-1);
        dialogs_->folderToChoose = QString::fromStdString(folder("b"));
        window_->filePanes().chooseFolder(0);
        userSelects(c_->list[0], 0);
        window_->runComparison();
        QVERIFY(c_->progressBar->marks().empty());
        QCOMPARE(c_->progressBar->toolTip(), QString());
        QCOMPARE(c_->progressBar->accessibleDescription(), QStringLiteral("相違点はありません"));
    }

    // A click on the strip, or the arrow keys on it, bring the difference's detail line into view.
    void choosingADifferenceOnTheStripShowsItsLine() {
        const PcmFormat format{1, 1, 8000, 16};
        std::vector<uint8_t> audio = noiseFrames(format, 80000);
        std::vector<uint8_t> changed = audio;
        for (int frame : {100, 40000, 79000}) changed[frame * 2 + 1] ^= 0x40;
        choosePair("p.wav", format, audio, changed);
        c_->zeroSkip->setChecked(false);
        c_->matchPoint->setChecked(false);
        c_->details->setChecked(true);
        window_->runComparison();
        widgets::ProgressStrip& strip = *c_->progressBar;
        QCOMPARE(strip.accessibleDescription(), QStringLiteral("相違点3箇所 (最初 0:00.0、最後 0:09.9)"));
        const auto selectedLine = [&] { return c_->logView->textCursor().selectedText(); };
        QTest::mouseClick(&strip, Qt::LeftButton, {},
                          QPoint(widgets::ProgressStrip::column(0.5, strip.width()) + 1, 8));
        QVERIFY2(selectedLine().startsWith(QStringLiteral("相違点      40001(")), qPrintable(selectedLine()));
        QCOMPARE(strip.chosen(), std::optional<size_t>(1));
        strip.setFocus();
        QTest::keyClick(&strip, Qt::Key_Right);
        QVERIFY(selectedLine().startsWith(QStringLiteral("相違点      79001(")));
        QTest::keyClick(&strip, Qt::Key_Home);
        QVERIFY(selectedLine().startsWith(QStringLiteral("相違点        101(")));
        QVERIFY(strip.accessibleDescription().startsWith(QStringLiteral("相違点 101 (0:00.0)")));
        // A click far from any difference chooses none.
        QTest::mouseClick(&strip, Qt::LeftButton, {}, QPoint(widgets::ProgressStrip::column(0.25, strip.width()), 8));
        QCOMPARE(strip.chosen(), std::optional<size_t>(0));
        // Without details there is no line: the status bar says so.
        c_->details->setChecked(false);
        window_->runComparison();
        QTest::keyClick(&strip, Qt::Key_End);
        QVERIFY(window_->statusBar()->currentMessage().contains(QStringLiteral("相違詳細表示がオフ")));
    }

    // What zero skip passed over is greyed, said in the tooltip, and the bar's heights follow
    // the size of each difference.
    void theStripGreysWhatWasSkippedAndShowsHowLarge() {
        std::vector<uint8_t> audio = silentFrames(kCd, 1000);
        appendBytes(audio, noiseFrames(kCd, 3000, 5));
        std::vector<uint8_t> changed = audio;
        changed[(1000 + 10) * 4] ^= 0x01;        // 1 LSB
        changed[(1000 + 2000) * 4 + 1] ^= 0x40;  // 16384 LSB
        choosePair("q.wav", kCd, audio, changed);
        c_->matchPoint->setChecked(false);
        window_->runComparison();
        QVERIFY(logLines(*window_).contains(
            QStringLiteral("比較しなかった先頭のサンプル: ファイル1 1000、ファイル2 1000")));
        const widgets::ProgressStrip& strip = *c_->progressBar;
        QCOMPARE(strip.notCompared(), (std::vector<widgets::ProgressStrip::Range>{{0.0, 0.25}}));
        QCOMPARE(strip.marks(), (std::vector<double>{1010.0 / 4000, 3000.0 / 4000}));
        QCOMPARE(strip.differences()[0].level, 1.0 / 32768);
        QCOMPARE(strip.differences()[1].level, 16384.0 / 32768);
        QVERIFY(
            strip.toolTip().contains(QStringLiteral("比較しなかった先頭のサンプル: ファイル1 1000、ファイル2 1000")));
        QVERIFY(strip.accessibleDescription().contains(QStringLiteral("比較しなかった範囲 0:00.0〜0:00.0")));
        using widgets::ProgressStrip;
        QVERIFY(ProgressStrip::barShare(1.0 / 32768) < 0.5);
        QVERIFY(ProgressStrip::barShare(1.0 / 32768) > ProgressStrip::barShare(1.0 / 8388608));
        QVERIFY(ProgressStrip::barShare(0.5) > 0.9);
        QCOMPARE(ProgressStrip::barShare(2.0), 1.0);
        QCOMPARE(ProgressStrip::barShare(0.0), ProgressStrip::barShare(1e-12));
    }

    // The time scale: readable labels, never crowded, whatever the length.
    void theTimeScaleLabelsStandApart() {
        using widgets::ProgressStrip;
        const auto texts = [](double seconds, int width) {
            QStringList labels;
            for (const auto& [place, text] : ProgressStrip::timeScale(seconds, width)) labels << text;
            return labels;
        };
        QCOMPARE(texts(3.018, 412),
                 (QStringList{"0:00.0", "0:00.5", "0:01.0", "0:01.5", "0:02.0", "0:02.5", "0:03.0"}));
        QCOMPARE(texts(300, 412), (QStringList{"0:00", "1:00", "2:00", "3:00", "4:00", "5:00"}));
        QCOMPARE(texts(4 * 3600, 412).first(), QStringLiteral("0:00"));
        QCOMPARE(texts(4 * 3600, 412).last(), QStringLiteral("4:00:00"));
        for (const double seconds : {0.01, 1.0, 59.0, 3599.0, 1e6}) {
            const auto labels = ProgressStrip::timeScale(seconds, 412);
            for (size_t i = 1; i < labels.size(); ++i) {
                QVERIFY((labels[i].first - labels[i - 1].first) * 405 >= 56);
            }
        }
        QVERIFY(ProgressStrip::timeScale(0, 412).empty());
    }

    // Every run starts its progress from nothing: a run that compares nothing shows none.
    void theProgressBarStartsEachRunAtZero() {
        wav("a", "1.wav");
        writeCanonicalWav(folder("b") + "/empty.wav", kCd, {});
        pickFolders("a", "a");
        userSelects(c_->list[0], 0);
        userSelects(c_->list[1], 0);
        window_->runComparison();
        QCOMPARE(c_->progressBar->value(), 100);
        window_->filePanes().assignFile(1, folder("b") + "/empty.wav");
        window_->runComparison();
        QCOMPARE(c_->progressBar->value(), 0);
    }

    // Screen readers hear the folder each button shows, and the drop menu's items by name.
    void accessibleNamesCarryTheState() {
        pickFolders("a", "b");
        QCOMPARE(c_->folderButton[1]->accessibleName(), QStringLiteral("フォルダ2: ") + c_->folderButton[1]->text());
        QVERIFY(c_->folderButton[1]->text().contains(QString::fromStdString(folder("b"))));
        QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(c_->dropMenu);
        QVERIFY(menu);
        QCOMPARE(menu->childCount(), 2);
        QCOMPARE(menu->child(0)->text(QAccessible::Name), QStringLiteral("ファイル1"));
        QCOMPARE(menu->child(1)->text(QAccessible::Name), QStringLiteral("ファイル2"));
        QVERIFY(QAccessible::queryAccessibleInterface(c_->infoPane[0])->state().readOnly);
    }

    void windowLogMatchesTheCommandLine() {
        std::vector<uint8_t> audio = silentFrames(kCd, 300);
        appendBytes(audio, noiseFrames(kCd, 5000, 4));
        std::vector<uint8_t> changed = silentFrames(kCd, 120);
        appendBytes(changed, noiseFrames(kCd, 50, 8));
        appendBytes(changed, noiseFrames(kCd, 5000, 4));
        for (int frame : {500, 501, 4000}) changed[(120 + 50 + frame) * 4 + 1] ^= 0x40;
        choosePair("p.wav", kCd, audio, changed);
        c_->details->setChecked(true);
        c_->matchLengthEdit->setText(QStringLiteral("150"));
        window_->runComparison();

        char* text = nullptr;
        size_t size = 0;
        std::FILE* out = open_memstream(&text, &size);
        std::FILE* err = std::fopen("/dev/null", "w");
        const int status = cli::runCli(
            {"--align", "--details", "--match-samples", "150", folder("a") + "/p.wav", folder("b") + "/p.wav"}, out,
            err);
        std::fclose(out);
        std::fclose(err);
        const QString cliText = QString::fromUtf8(text, static_cast<int>(size));
        std::free(text);
        QCOMPARE(status, 1);

        // The window's Run clears the scans' lines; the times of day differ.
        const auto comparable = [](QStringList lines) {
            lines.removeIf([](const QString& line) {
                return line.startsWith(QStringLiteral("[debug] ")) && line.contains(u':') &&
                       !line.contains(QStringLiteral("一致点"));
            });
            lines.removeAll(QString());
            return lines;
        };
        QStringList cliLines = cliText.split(u'\n');
        const qsizetype header =
            cliLines.indexOf(QStringLiteral("ファイル1:") + QString::fromStdString(folder("a") + "/p.wav"));
        QVERIFY(header >= 0);
        cliLines = cliLines.mid(header);
        const QStringList windowLines = comparable(logLines(*window_));
        QCOMPARE(windowLines, comparable(cliLines));
        QVERIFY(windowLines.contains(QStringLiteral("ファイル2: 一致点がありました(120→170)")));
        QCOMPARE(countLines(*window_, QStringLiteral("相違点 ")), 3);
    }
};

int runCommandTests(int argc, char** argv) {
    CommandsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "commands_test.moc"
