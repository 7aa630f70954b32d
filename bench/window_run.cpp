// Times one Run in the real main window (offscreen) on a given pair, with difference details on:
// what the log pane costs next to the command-line tool on the same pair.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <cstdio>

#include "commands/file_panes.h"
#include "commands/run_command.h"
#include "ui/main_window.h"
#include "ui/option_controls.h"
#include "wav/trace.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: vemilo-window-bench FILE1 FILE2\n");
        return 2;
    }
    QApplication application(argc, argv);
    vemilo::setTraceSink({});
    const QString settings = QDir::tempPath() + QStringLiteral("/vemilo-window-bench");
    QDir().mkpath(settings);
    vemilo::ui::MainWindow window({(settings + QStringLiteral("/vemilo3.ini")).toStdString(), std::string()});
    window.show();
    for (int side = 0; side < 2; ++side) {
        window.filePanes().offerDroppedFile({QString::fromLocal8Bit(argv[1 + side])});
        window.filePanes().assignDroppedFile(side);
    }
    window.optionControls().setDetailDisplay(true);
    window.optionControls().setDifferenceLimitText(QStringLiteral("2000"));
    QElapsedTimer timer;
    timer.start();
    window.runComparison();
    std::printf("%.3f\n", timer.nsecsElapsed() / 1e9);
    return 0;
}
