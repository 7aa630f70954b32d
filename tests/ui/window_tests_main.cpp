// Runs one window test class, named by the first argument, in an application like the window's
// own (its notify shows errors raised by handlers).

#include <QTest>
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "ui/application.h"

int runMainWindowTests(int argc, char** argv);
int runSettingsTests(int argc, char** argv);
int runOptionControlTests(int argc, char** argv);

int main(int argc, char** argv) {
    const std::map<std::string, std::function<int(int, char**)>> classes = {
        {"MainWindowTest", runMainWindowTests},
        {"SettingsTest", runSettingsTests},
        {"OptionControlsTest", runOptionControlTests},
    };
    if (argc < 2 || !classes.count(argv[1])) {
        std::fprintf(stderr,
                     "usage: vemilo_window_tests MainWindowTest|SettingsTest|OptionControlsTest [QTest options]\n");
        return 2;
    }
    const auto run = classes.at(argv[1]);
    // QTest sees the program name and its own options only.
    argv[1] = argv[0];
    vemilo::ui::VemiloApplication application(argc, argv);
    return run(argc - 1, argv + 1);
}
