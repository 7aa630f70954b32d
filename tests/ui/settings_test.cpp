#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "support/temp_dir.h"
#include "support/unprivileged.h"
#include "ui/ini_store.h"
#include "ui/window_test_support.h"
#include "wav_writer/wav_writer.h"

using namespace vemilo;
using namespace vemilo::testing;
using namespace vemilo::writer;

namespace {

std::string readAll(const std::string& path) {
    QFile file(QString::fromStdString(path));
    file.open(QIODevice::ReadOnly);
    return file.readAll().toStdString();
}

void writeText(const std::string& path, const std::string& text) {
    writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void newFileListsTheKeysInWriteOrder() {
        TempDir settings;
        RecordingDialogs dialogs;
        {
            auto window = makeWindow(settings);
            const Controls c(*window);
            window->move(208, 169);
        }
        QCOMPARE(QString::fromStdString(readAll(settings.file("vemilo3.ini"))),
                 QStringLiteral("[position]\nTop=169\nLeft=208\n[setting]\nzeroskip=1\nmatchpoint=1\nicchi_sample=200\n"
                                "repeat=0\nmissout=0\nmissout_count=200\nmeasure=0\n"));
    }

    void roundTrip() {
        TempDir settings;
        RecordingDialogs dialogs;
        {
            auto window = makeWindow(settings);
            const Controls c(*window);
            window->move(-40, 77);
            c.matchPoint->setChecked(false);
            c.zeroSkip->setChecked(false);
            c.continuous->setChecked(true);
            c.details->setChecked(true);
            c.measure->setChecked(true);
            c.matchLengthEdit->setText(QString());
            c.differenceLimitEdit->setText(QStringLiteral("1000"));
        }
        auto window = makeWindow(settings);
        const Controls c(*window);
        QCOMPARE(window->pos(), QPoint(-40, 77));
        QVERIFY(!c.zeroSkip->isChecked());
        QVERIFY(!c.matchPoint->isChecked());
        QVERIFY(c.continuous->isChecked());
        QVERIFY(c.details->isChecked());
        QVERIFY(c.measure->isChecked());
        QCOMPARE(c.matchLengthEdit->text(), QString());
        QCOMPARE(c.differenceLimitEdit->text(), QStringLiteral("1000"));
        QVERIFY(dialogs.errors.isEmpty());
    }

    void storedEdgeCases_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("zeroSkip");
        QTest::addColumn<bool>("matchPoint");
        QTest::addColumn<QString>("matchLength");
        QTest::addColumn<QPoint>("position");
        QTest::newRow("empty file") << QByteArray("") << false << false << QStringLiteral("200") << QPoint(0, 0);
        QTest::newRow("match point alone") << QByteArray("[setting]\nzeroskip=0\nmatchpoint=1\n") << false << true
                                           << QStringLiteral("200") << QPoint(0, 0);
        QTest::newRow("zero skip alone") << QByteArray("[setting]\nzeroskip=1\nmatchpoint=0\n") << true << false
                                         << QStringLiteral("200") << QPoint(0, 0);
        QTest::newRow("empty count") << QByteArray("[setting]\nicchi_sample=\n") << false << false << QString()
                                     << QPoint(0, 0);
        QTest::newRow("case and hex") << QByteArray("[POSITION]\ntop=0x20\nLeft = -5\n[Setting]\nZEROSKIP=2\n") << true
                                      << false << QStringLiteral("200") << QPoint(-5, 32);
        QTest::newRow("not integers") << QByteArray("[setting]\nzeroskip=yes\nmatchpoint=0x\n") << false << false
                                      << QStringLiteral("200") << QPoint(0, 0);
    }
    void storedEdgeCases() {
        QFETCH(QByteArray, file);
        QFETCH(bool, zeroSkip);
        QFETCH(bool, matchPoint);
        QFETCH(QString, matchLength);
        QFETCH(QPoint, position);
        TempDir settings;
        RecordingDialogs dialogs;
        writeText(settings.file("vemilo3.ini"), file.toStdString());
        auto window = makeWindow(settings);
        const Controls c(*window);
        QCOMPARE(c.zeroSkip->isChecked(), zeroSkip);
        QCOMPARE(c.matchPoint->isChecked(), matchPoint);
        QCOMPARE(c.matchLengthEdit->text(), matchLength);
        QCOMPARE(c.differenceLimitEdit->text(), QStringLiteral("200"));
        QCOMPARE(window->pos(), position);
        QVERIFY(!c.continuous->isChecked());
    }

    void storedTextThatIsNotANumberIsReportedAndStartUpGoesOn() {
        TempDir settings;
        RecordingDialogs dialogs;
        writeText(settings.file("vemilo3.ini"), "[setting]\nicchi_sample=abc\nmissout_count=300\n");
        auto window = makeWindow(settings);
        const Controls c(*window);
        QCOMPARE(dialogs.errors, QStringList{QStringLiteral("'abc' は整数ではありません.")});
        QCOMPARE(c.matchLengthEdit->text(), QStringLiteral("abc"));
        QVERIFY(window->acceptDrops());  // the rest of start-up happened
        QVERIFY(window->fileSlots()[0].path.empty());
    }

    void anUnwritableFileFallsBackToTheUsersConfiguration() {
        TempDir settings;
        RecordingDialogs dialogs;
        // A folder where the file should be cannot be written, whoever runs the test.
        ::mkdir(settings.file("vemilo3.ini").c_str(), 0700);
        {
            auto window = makeWindow(settings);
            window->move(30, 40);
            Controls(*window).continuous->setChecked(true);
        }
        QVERIFY(dialogs.errors.isEmpty());
        QVERIFY(readAll(settings.file("config/vemilo/vemilo3.ini")).find("repeat=1") != std::string::npos);
        auto window = makeWindow(settings);  // read back from there
        QVERIFY(Controls(*window).continuous->isChecked());
        QCOMPARE(window->pos(), QPoint(30, 40));
    }

    void neitherFileWritableShowsOneMessageAndKeepsTheOldFile() {
        TempDir settings;
        RecordingDialogs dialogs;
        const std::string path = settings.file("vemilo3.ini");
        ::mkdir(path.c_str(), 0700);
        writeText(settings.file("config"), "a file where the folder should be");
        makeWindow(settings).reset();
        // Said once, naming the file the save ended on and the reason.
        QCOMPARE(dialogs.errors, QStringList{QString::fromStdString(settings.file("config/vemilo/vemilo3.ini")) +
                                             QStringLiteral(" に書き込めません: 途中にフォルダでないものがあります.")});
    }

    // The file a start reads is the one the last close wrote: after a save fell back to the
    // user's file, that one, even though a stale file stands beside the program.
    void theLastFileWrittenIsTheOneRead() {
        TempDir settings;
        RecordingDialogs dialogs;
        const ui::SettingsFiles files = settingsFilesIn(settings);
        writeText(files.besideProgram, "[position]\nTop=11\nLeft=12\n");
        ::mkdir(settings.file("config").c_str(), 0700);
        ::mkdir(settings.file("config/vemilo").c_str(), 0700);
        writeText(files.userConfig, "[position]\nTop=21\nLeft=22\n");
        const auto touch = [](const std::string& path, int secondsAgo) {
            std::filesystem::last_write_time(
                path, std::filesystem::file_time_type::clock::now() - std::chrono::seconds(secondsAgo));
        };
        touch(files.besideProgram, 100);
        touch(files.userConfig, 10);
        QCOMPARE(ui::settingsFileToRead(files), files.userConfig);
        QCOMPARE(ui::loadSettings(files).settings.top, 21);
        touch(files.besideProgram, 1);
        QCOMPARE(ui::settingsFileToRead(files), files.besideProgram);
        // An installed program has no file beside itself: the user's file alone.
        ui::SettingsFiles installed = files;
        installed.besideProgram.clear();
        QCOMPARE(ui::settingsFileToRead(installed), files.userConfig);
        ui::saveSettings(installed, ui::WindowSettings{.top = 33});
        QCOMPARE(ui::loadSettings(installed).settings.top, 33);
        QVERIFY(readAll(files.besideProgram).find("Top=11") != std::string::npos);  // never written
    }

    void aReadOnlyFileIsLeftAlone() {
        if (runningAsRoot()) {  // root may write read-only files
            const auto status = rerunAsNobody({"SettingsTest", "aReadOnlyFileIsLeftAlone"});
            if (!status) QSKIP("running as root, and runuser cannot run this test as nobody");
            QCOMPARE(*status, 0);
            return;
        }
        TempDir readOnly;
        RecordingDialogs dialogs;
        const std::string file = readOnly.file("vemilo3.ini");
        writeText(file, "[position]\nTop=1\n");
        ::chmod(file.c_str(), 0444);
        writeText(readOnly.file("config"), "x");
        makeWindow(readOnly).reset();
        QCOMPARE(dialogs.errors.size(), 1);
        QVERIFY(dialogs.errors.front().contains(QStringLiteral("に書き込めません")));
        QCOMPARE(readAll(file), std::string("[position]\nTop=1\n"));
    }

    // A folder the user may not write: the reason is the refused folder, in the window's language,
    // not the missing file that followed from it.
    void aConfigFolderThatCannotBeMadeIsNamedWithItsReason() {
        if (runningAsRoot()) {  // root may write anywhere
            const auto status = rerunAsNobody({"SettingsTest", "aConfigFolderThatCannotBeMadeIsNamedWithItsReason"});
            if (!status) QSKIP("running as root, and runuser cannot run this test as nobody");
            QCOMPARE(*status, 0);
            return;
        }
        TempDir home;
        RecordingDialogs dialogs;
        ::chmod(home.path().c_str(), 0555);
        makeWindow(home).reset();
        ::chmod(home.path().c_str(), 0700);
        QCOMPARE(dialogs.errors, QStringList{QString::fromStdString(home.file("config/vemilo/vemilo3.ini")) +
                                             QStringLiteral(" に書き込めません: 書き込みの権限がありません.")});
    }

    void whatOthersPutInTheFileIsKept() {
        TempDir settings;
        RecordingDialogs dialogs;
        writeText(
            settings.file("vemilo3.ini"),
            "; kept by hand\n[other]\nmine=1\n\n[setting]\nfont=Gothic\nzeroskip=0\n[position]\nTop=5\n[last]\nx=y\n");
        {
            auto window = makeWindow(settings);
            window->move(7, 9);
        }
        QCOMPARE(QString::fromStdString(readAll(settings.file("vemilo3.ini"))),
                 QStringLiteral(
                     "; kept by "
                     "hand\n[other]\nmine=1\n\n[setting]\nfont=Gothic\nzeroskip=0\nmatchpoint=0\nicchi_sample=200\n"
                     "repeat=0\nmissout=0\nmissout_count=200\nmeasure=0\n[position]\nTop=9\nLeft=7\n[last]\nx=y\n"));
    }

    void aSaveInterruptedBeforeItsRenameLeavesTheOldFile() {
        TempDir dir;
        const std::string path = dir.file("vemilo3.ini");
        writeText(path, "[position]\nTop=1\n");
        const pid_t child = ::fork();
        if (child == 0) {
            ui::IniStore ini(path);
            ini.writeText("position", "Top", "999");
            ini.save([] { ::_exit(3); });  // killed with the new text written but not yet in place
            ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        QCOMPARE(WEXITSTATUS(status), 3);
        QCOMPARE(readAll(path), std::string("[position]\nTop=1\n"));
    }

    void aFullDiskKeepsTheOldFile() {
        TempDir dir;
        const std::string disk = dir.file("disk");
        ::mkdir(disk.c_str(), 0700);
        if (std::system(("mount -t tmpfs -o size=16k tmpfs '" + disk + "' 2>/dev/null").c_str()) != 0) {
            QSKIP("a small tmpfs cannot be mounted here");
        }
        const std::string path = disk + "/vemilo3.ini";
        writeText(path, "[position]\nTop=1\n");
        writeText(disk + "/filler", std::string(12 * 1024, 'f'));  // what is left is less than the new file
        bool refused = false;
        try {
            ui::IniStore ini(path);
            ini.writeText("setting", "icchi_sample", std::string(6000, '9'));
            ini.save();
        } catch (const std::runtime_error& error) {
            refused = std::string(error.what()) == path + " に書き込めません: ディスクの空きがありません";
        }
        const std::string after = readAll(path);
        QCOMPARE(std::system(("umount '" + disk + "'").c_str()), 0);
        QVERIFY(refused);
        QCOMPARE(after, std::string("[position]\nTop=1\n"));
    }

    void anOversizedFileIsIgnoredWithOneMessage() {
        TempDir settings;
        RecordingDialogs dialogs;
        const std::string path = settings.file("vemilo3.ini");
        std::string huge = "[setting]\nzeroskip=0\nmatchpoint=0\n";
        huge.resize(ui::IniStore::kMaxFileBytes + 1, ';');
        writeText(path, huge);
        {
            auto window = makeWindow(settings);
            const Controls c(*window);
            QCOMPARE(dialogs.messages.size(), 1);
            QVERIFY(dialogs.messages[0].startsWith(QString::fromStdString(path)));
            QVERIFY(c.zeroSkip->isChecked() && c.matchPoint->isChecked());  // the designed state
        }
        QCOMPARE(readAll(path), huge);  // never rewritten
        QVERIFY(readAll(settings.file("config/vemilo/vemilo3.ini")).find("zeroskip=1") != std::string::npos);
        QVERIFY(dialogs.errors.isEmpty());
    }

    void iniStoreKeepsItsPlaceForEachValue() {
        TempDir dir;
        const std::string path = dir.file("x.ini");
        writeText(path, "; comment\n[a]\nk1=1\n\n[b]\nk2=2\n");
        ui::IniStore ini(path);
        ini.writeText("A", "K1", "one");                                              // replaced where it stands
        ini.writeText("a", "new", "n");                                               // at the end of its section
        ini.writeText("c", "k3", "three");                                            // a new section at the end
        QCOMPARE(readAll(path), std::string("; comment\n[a]\nk1=1\n\n[b]\nk2=2\n"));  // nothing written before save
        ini.save();
        QCOMPARE(QString::fromStdString(readAll(path)),
                 QStringLiteral("; comment\n[a]\nk1=one\nnew=n\n\n[b]\nk2=2\n[c]\nk3=three\n"));
        QCOMPARE(QString::fromStdString(ini.readText("B", "K2", "?")), QStringLiteral("2"));
        QCOMPARE(QString::fromStdString(ini.readText("b", "missing", "?")), QStringLiteral("?"));
        QCOMPARE(ini.readInteger("a", "k1", 7), 7);  // not a number: the default
        QCOMPARE(ini.readInteger("b", "k2", 7), 2);
        QVERIFY(ini.readBoolean("b", "k2", false));
    }
};

int runSettingsTests(int argc, char** argv) {
    SettingsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "settings_test.moc"
