#include <QString>
#include <clocale>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "ui/application.h"
#include "ui/main_window.h"
#include "vemilo/version.h"
#include "widgets/dialogs.h"

namespace {

constexpr const char* kHelp =
    "Usage: vemilo [FILE1 [FILE2]]\n"
    "Opens the Vemilo window, which tells whether two PCM audio files hold the same audio, frame for\n"
    "frame. Files named here are chosen as file 1 and file 2, as a drop on the window would.\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "\n"
    "To verify copies from a shell or a script, use vemilo-cli (see vemilo-cli --help).\n";

// --help and --version answer on standard output without a window, as command-line tools do.
// Other options are left to Qt (-platform, -style, ...). The exit status, or nothing when the
// window should open.
std::optional<int> answerWithoutWindow(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(kHelp, stdout);
            return std::fflush(stdout) == 0 ? 0 : 2;
        }
        if (argument == "--version") {
            std::printf("vemilo (Vemilo) %s\n", vemilo::kVersionText);
            return std::fflush(stdout) == 0 ? 0 : 2;
        }
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = answerWithoutWindow(argc, argv)) return *status;
    vemilo::ui::VemiloApplication application(argc, argv);
    std::setlocale(LC_ALL, "");  // the time of day in the log follows the user's locale
    try {
        vemilo::ui::MainWindow window;
        window.show();
        // vemilo FILE1 [FILE2]: files handed over by a file manager's "Open with".
        window.openFiles(application.arguments().mid(1));
        application.exec();
    } catch (const std::exception& error) {
        vemilo::widgets::showErrorDisplay(QString::fromUtf8(error.what()));
    } catch (...) {
        vemilo::widgets::showErrorDisplay(QString());
    }
    return 0;
}
