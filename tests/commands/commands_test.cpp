#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <filesystem>

#include "cli/cli_app.h"
#include "commands/file_list_box.h"
#include "ui/window_test_support.h"
#include "wav/trace.h"
#include "wav_writer.h"

using namespace vemilo;
using namespace vemilo::testing;

namespace {

const PcmFormat kCd{1, 2, 44100, 16};

QStringList logLines(const ui::TForm1& window) { return window.Memo1->toPlainText().split(u'\n'); }

int countLines(const ui::TForm1& window, const QString& prefix) {
    int count = 0;
    for (const QString& line : logLines(window)) count += line.startsWith(prefix);
    return count;
}

}  // namespace

class CommandsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<RecordingDialogs> dialogs_;
    std::unique_ptr<ui::TForm1> window_;
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
        window_->SpeedButton1Click(window_->SpeedButton1);
        dialogs_->folderToChoose = QString::fromStdString(folder(two));
        window_->SpeedButton1Click(window_->SpeedButton2);
    }
    // Selects a row as the user would, with the keyboard.
    void userSelects(commands::FileListBox* list, int row) {
        list->setFocus();
        list->setCurrentRow(row);
    }

private slots:
    void init() {
        previousTrace_ = setTraceSink({});
        dir_ = std::make_unique<TempDir>();
        dialogs_ = std::make_unique<RecordingDialogs>();
        window_ = makeWindow(*dir_);
    }
    void cleanup() {
        window_.reset();
        dialogs_.reset();
        dir_.reset();
        setTraceSink(previousTrace_);
    }

    void onlyTheUsersSelectionLoadsAFile() {
        wav("a", "1.wav");
        wav("a", "2.wav");
        pickFolders("a", "a");
        QCOMPARE(window_->SpeedButton1->text(), QString::fromStdString(folder("a")));
        QCOMPARE(window_->folder1->rowCount(), 2);
        window_->folder1->selectRow(1);
        QCOMPARE(window_->folder1->selectedRow(), 1);
        QVERIFY(window_->fileSlots[0].path.empty());
        QVERIFY(window_->Edit2->text().isEmpty());

        // A click on a row loads it; taking the focus alone loads nothing.
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        window_->folder2->setFocus();
        QCOMPARE(window_->folder2->selectedRow(), -1);
        QVERIFY(window_->fileSlots[1].path.empty());
        const QRect firstRow = window_->folder2->visualItemRect(window_->folder2->item(0));
        QTest::mouseClick(window_->folder2->viewport(), Qt::LeftButton, {}, firstRow.center());
        QCOMPARE(window_->fileSlots[1].path, folder("a") + "/1.wav");
        QCOMPARE(window_->Edit3->text(), QString::fromStdString(folder("a") + "/1.wav"));
        window_->fileSlots[1].path.clear();
        QTest::mouseClick(window_->folder2->viewport(), Qt::LeftButton, {}, firstRow.center());  // again
        QCOMPARE(window_->fileSlots[1].path, folder("a") + "/1.wav");
        QTest::keyClick(window_->folder2, Qt::Key_Down);
        QCOMPARE(window_->folder2->selectedRow(), 1);
        QCOMPARE(window_->fileSlots[1].path, folder("a") + "/2.wav");
        QCOMPARE(window_->Edit3->text(), QString::fromStdString(folder("a") + "/2.wav"));
        QCOMPARE(window_->file2_info->toPlainText().split(u'\n').size(), 6);
    }

    void cancelledPickerChangesNothing() {
        wav("a", "1.wav");
        pickFolders("a", "a");
        dialogs_->folderToChoose.clear();
        window_->SpeedButton1Click(window_->SpeedButton1);
        QCOMPARE(dialogs_->titles.last(), QStringLiteral("ディレクトリを開くダイアログ"));
        QCOMPARE(window_->SpeedButton1->text(), QString::fromStdString(folder("a")));
        QCOMPARE(window_->folder1->rowCount(), 1);
    }

    void watchFollowsTheFolder() {
        wav("a", "1.wav");
        wav("a", ".hidden.wav");
        pickFolders("a", "a");
        window_->folder1->selectRow(0);
        window_->Timer1Timer();  // a hidden file alone never causes a re-read
        QCOMPARE(window_->folder1->selectedRow(), 0);
        wav("a", "0.wav");
        QTRY_COMPARE_WITH_TIMEOUT(window_->folder1->rowCount(), 2, 2500);  // the timer's own tick
        QCOMPARE(window_->folder1->selectedRow(), -1);
        QCOMPARE(window_->folder1->rowText(0), std::string("0.wav"));

        // A folder that disappears is emptied once, quietly; when it returns it is read again.
        std::filesystem::remove_all(folder("a"));
        window_->Timer1Timer();
        QCOMPARE(window_->folder1->rowCount(), 0);
        window_->Timer1Timer();
        QVERIFY(dialogs_->errors.isEmpty());
        wav("a", "5.wav");
        window_->Timer1Timer();
        QCOMPARE(window_->folder1->rowCount(), 1);
        window_->N12Click();
        QCOMPARE(window_->folder1->rowCount(), 1);
    }

    void refreshKeepsTheSlot() {
        wav("a", "1.wav");
        pickFolders("a", "a");
        userSelects(window_->folder1, 0);
        QVERIFY(!window_->fileSlots[0].path.empty());
        window_->N12Click();
        QCOMPARE(window_->folder1->selectedRow(), -1);
        QCOMPARE(window_->fileSlots[0].path, folder("a") + "/1.wav");
        QCOMPARE(window_->Edit2->text(), QString::fromStdString(folder("a") + "/1.wav"));
    }

    void dropAssignsTheFirstFile() {
        wav("a", "x.wav");
        wav("b", "Y.wav");
        wav("b", "z.wav");
        pickFolders("a", "a");
        const QString dropped = QString::fromStdString(folder("b") + "/z.wav");
        window_->WMDropFiles({dropped, QString::fromStdString(folder("a") + "/x.wav"), QStringLiteral("/etc/passwd")});
        QCOMPARE(window_->droppedPath, dropped.toStdString());
        window_->PopupMenu1->hide();
        window_->N11Click(window_->N21);
        QCOMPARE(window_->Edit3->text(), dropped);
        QCOMPARE(window_->SpeedButton2->text(), QString::fromStdString(folder("b") + "/"));
        QCOMPARE(window_->folder2->folder(), folder("b"));
        QCOMPARE(window_->folder2->selectedRow(), 1);
        QCOMPARE(window_->fileSlots[1].path, dropped.toStdString());
        QCOMPARE(window_->folder1->folder(), folder("a"));  // the other pane is untouched

        // Letter case counts in the row lookup: no row is selected then.
        window_->WMDropFiles({QString::fromStdString(folder("b") + "/y.wav")});
        window_->N11Click(window_->N21);
        QCOMPARE(window_->folder2->selectedRow(), -1);
        QCOMPARE(commands::FindFileRow(*window_->folder2, "Y.wav"), 0);
        QCOMPARE(commands::FindFileRow(*window_->folder2, "y.wav"), 2);

        // A very long path works like any other.
        std::string deep = folder("c");
        while (deep.size() < 1200) deep += "/" + std::string(100, 'd');
        std::filesystem::create_directories(deep);
        writeCanonicalWav(deep + "/long.wav", kCd, noiseFrames(kCd, 10));
        window_->WMDropFiles({QString::fromStdString(deep + "/long.wav")});
        window_->N11Click(window_->N11);
        QCOMPARE(window_->folder1->folder(), deep);
        QCOMPARE(window_->folder1->selectedRow(), 0);
        QCOMPARE(window_->fileSlots[0].sampleCount, 10u);
    }

    void synchronisation() {
        window_->N121Click(window_->N121);
        QCOMPARE(dialogs_->messages, QStringList{QStringLiteral("フォルダ1が設定されていません")});
        window_->N121Click(window_->N211);
        QCOMPARE(dialogs_->messages.last(), QStringLiteral("フォルダ2が設定されていません"));

        wav("a", "1.wav");
        wav("b", "1.wav");
        wav("b", "2.wav");
        pickFolders("a", "b");
        window_->folder2->selectRow(1);
        window_->N121Click(window_->N121);
        QCOMPARE(window_->SpeedButton2->text(), QString::fromStdString(folder("a")));
        QCOMPARE(window_->folder2->rowCount(), 1);
        QCOMPARE(window_->folder2->selectedRow(), -1);
        window_->folder2->selectRow(0);
        window_->N121Click(window_->N121);  // the same folder: the selection stays
        QCOMPARE(window_->folder2->selectedRow(), 0);
        QVERIFY(window_->fileSlots[0].path.empty());

        std::filesystem::remove_all(folder("b"));
        window_->SpeedButton2->setText(QString::fromStdString(dir_->file("b")));
        window_->N211->trigger();  // the error display shows why, and the list keeps its folder
        QCOMPARE(dialogs_->errors, QStringList{QStringLiteral("フォルダ ") + QString::fromStdString(dir_->file("b")) + QStringLiteral(" を開けません.")});
        QCOMPARE(window_->SpeedButton1->text(), QString::fromStdString(dir_->file("b")));
        QCOMPARE(window_->folder1->folder(), folder("a"));
    }

    void runChecksInOrder() {
        window_->Edit1->clear();
        window_->N1Click();
        QCOMPARE(dialogs_->messages.last(), QStringLiteral("一致点のサンプル数を指定してください。"));
        window_->cbx_matchpoint->setChecked(false);
        window_->N1Click();
        QCOMPARE(dialogs_->messages.last(), QStringLiteral("ファイル1が指定されていません"));
        wav("a", "1.wav");
        pickFolders("a", "a");
        userSelects(window_->folder1, 0);
        window_->Memo1->setPlainText(QStringLiteral("old"));
        window_->N1Click();
        QCOMPARE(dialogs_->messages.last(), QStringLiteral("ファイル2が指定されていません"));
        QCOMPARE(window_->Memo1->toPlainText(), QStringLiteral("old"));
        userSelects(window_->folder2, 0);
        window_->N1Click();  // an empty Edit1 is fine with match point off
        QCOMPARE(countLines(*window_, QStringLiteral("一致しました。")), 1);
        QVERIFY(!window_->Memo1->toPlainText().contains(QStringLiteral("old")));

        // A limit that is not a number passes the checks; the run's conversion error is shown.
        window_->Edit4->setText(QStringLiteral("x"));
        dialogs_->errors.clear();
        window_->N1->trigger();
        QCOMPARE(dialogs_->errors, QStringList{QStringLiteral("'x' は整数ではありません.")});
        QVERIFY(!window_->runInProgress);
    }

    void continuousModeStopsAtTheFirstDifferingPair() {
        wav("a", "1.wav", 1);
        wav("a", "2.wav", 2);
        wav("a", "3.wav", 3);
        wav("b", "1.wav", 1);
        wav("b", "2.wav", 9);
        wav("b", "3.wav", 3);
        pickFolders("a", "b");
        userSelects(window_->folder1, 0);
        userSelects(window_->folder2, 0);
        window_->cbx_repeat->setChecked(true);
        window_->N1Click();
        QCOMPARE(countLines(*window_, QStringLiteral("ファイル1:/")), 2);
        QCOMPARE(countLines(*window_, QStringLiteral("一致しました。")), 1);
        QCOMPARE(countLines(*window_, QStringLiteral("相違点がありました。")), 1);
        QCOMPARE(window_->folder1->selectedRow(), 1);
        QCOMPARE(window_->folder2->selectedRow(), 1);
        QCOMPARE(window_->Edit3->text(), QString::fromStdString(folder("b") + "/2.wav"));
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
        window_->cbx_repeat->setChecked(true);
        // No row selected: the first run uses the slots, the series starts at each first row.
        window_->WMDropFiles({QString::fromStdString(folder("a") + "/1.wav")});
        window_->N11Click(window_->N11);
        window_->WMDropFiles({QString::fromStdString(folder("b") + "/1.wav")});
        window_->N11Click(window_->N21);
        window_->folder1->selectRow(-1);
        window_->folder2->selectRow(-1);
        window_->N1Click();
        QCOMPARE(dialogs_->messages, QStringList{QStringLiteral("サンプリングレートが違います。")});
        QCOMPARE(countLines(*window_, QStringLiteral("ファイル1:/")), 4);
        QCOMPARE(countLines(*window_, QStringLiteral("一致しました。")), 3);
        // File 1 moved on to 4.wav before the end of list 2 was noticed.
        QCOMPARE(window_->folder1->selectedRow(), 3);
        QCOMPARE(window_->fileSlots[0].path, folder("a") + "/4.wav");
        QCOMPARE(window_->folder2->selectedRow(), 2);
    }

    void continuousModeWithEmptyLists() {
        wav("a", "1.wav");
        pickFolders("a", "a");
        userSelects(window_->folder1, 0);
        userSelects(window_->folder2, 0);
        folder("empty");
        dialogs_->folderToChoose = QString::fromStdString(folder("empty"));
        window_->SpeedButton1Click(window_->SpeedButton1);
        window_->SpeedButton1Click(window_->SpeedButton2);
        window_->cbx_repeat->setChecked(true);
        window_->N1Click();
        QCOMPARE(countLines(*window_, QStringLiteral("ファイル1:/")), 1);
        window_->N1Click();  // a second command starts with an empty log
        QCOMPARE(countLines(*window_, QStringLiteral("ファイル1:/")), 1);
    }

    void runChosenAgainDuringARunIsIgnored() {
        const PcmFormat format{1, 2, 8000, 16};
        std::vector<uint8_t> audio = noiseFrames(format, 8000 * 40);  // three blocks, three yields
        writeCanonicalWav(folder("a") + "/1.wav", format, audio);
        pickFolders("a", "a");
        userSelects(window_->folder1, 0);
        userSelects(window_->folder2, 0);
        int nested = 0;
        QTimer::singleShot(0, window_.get(), [&] {
            ++nested;
            window_->N1Click();
        });
        window_->N1Click();
        QCOMPARE(nested, 1);
        QCOMPARE(countLines(*window_, QStringLiteral("ファイル1:/")), 1);
        QCOMPARE(countLines(*window_, QStringLiteral("一致しました。")), 1);
        QVERIFY(!window_->runInProgress);
    }

    void windowLogMatchesTheCommandLine() {
        std::vector<uint8_t> audio = silentFrames(kCd, 300);
        appendBytes(audio, noiseFrames(kCd, 5000, 4));
        std::vector<uint8_t> changed = silentFrames(kCd, 120);
        appendBytes(changed, noiseFrames(kCd, 50, 8));
        appendBytes(changed, noiseFrames(kCd, 5000, 4));
        for (int frame : {500, 501, 4000}) changed[(120 + 50 + frame) * 4 + 1] ^= 0x40;
        writeCanonicalWav(folder("a") + "/p.wav", kCd, audio);
        writeCanonicalWav(folder("b") + "/p.wav", kCd, changed);
        pickFolders("a", "b");
        userSelects(window_->folder1, 0);
        userSelects(window_->folder2, 0);
        window_->cbx_missout->setChecked(true);
        window_->Edit1->setText(QStringLiteral("150"));
        window_->N1Click();

        char* text = nullptr;
        size_t size = 0;
        std::FILE* out = open_memstream(&text, &size);
        std::FILE* err = std::fopen("/dev/null", "w");
        const int status = cli::runCli({"--details", "--match-samples", "150", folder("a") + "/p.wav", folder("b") + "/p.wav"}, out, err);
        std::fclose(out);
        std::fclose(err);
        const QString cliText = QString::fromUtf8(text, static_cast<int>(size));
        std::free(text);
        QCOMPARE(status, 1);

        // The window's Run clears the scans' lines; the times of day differ.
        const auto comparable = [](QStringList lines) {
            lines.removeIf([](const QString& line) { return line.startsWith(QStringLiteral("[debug] ")) && line.contains(u':') &&
                                                             !line.contains(QStringLiteral("一致点")); });
            lines.removeAll(QString());
            return lines;
        };
        QStringList cliLines = cliText.split(u'\n');
        const qsizetype header = cliLines.indexOf(QStringLiteral("ファイル1:") + QString::fromStdString(folder("a") + "/p.wav"));
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
