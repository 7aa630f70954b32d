#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <sys/stat.h>

#include "support/temp_dir.h"
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

void writeText(const std::string& path, const std::string& text) { writeFile(path, std::vector<uint8_t>(text.begin(), text.end())); }

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
                                "repeat=0\nmissout=0\nmissout_count=200\n"));
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
        QTest::newRow("empty count") << QByteArray("[setting]\nicchi_sample=\n") << false << false << QString() << QPoint(0, 0);
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

    void unwritableFileShowsTheErrorAndShutdownGoesOn() {
        TempDir settings;
        RecordingDialogs dialogs;
        // A folder where the file should be cannot be written, whoever runs the test.
        const std::string path = settings.file("vemilo3.ini");
        ::mkdir(path.c_str(), 0700);
        makeWindow(settings).reset();
        QCOMPARE(dialogs.errors, QStringList{QString::fromStdString(path) + QStringLiteral(" に書き込めません.")});

        TempDir readOnly;
        const std::string file = readOnly.file("vemilo3.ini");
        writeText(file, "[position]\nTop=1\n");
        ::chmod(file.c_str(), 0444);
        if (::access(file.c_str(), W_OK) == 0) return;  // root may write read-only files
        makeWindow(readOnly).reset();
        QCOMPARE(dialogs.errors.size(), 2);
        QCOMPARE(readAll(file), std::string("[position]\nTop=1\n"));
    }

    void iniStoreKeepsItsPlaceForEachValue() {
        TempDir dir;
        const std::string path = dir.file("x.ini");
        writeText(path, "; comment\n[a]\nk1=1\n\n[b]\nk2=2\n");
        ui::IniStore ini(path);
        ini.writeText("A", "K1", "one");   // replaced where it stands
        ini.writeText("a", "new", "n");    // at the end of its section
        ini.writeText("c", "k3", "three"); // a new section at the end
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
