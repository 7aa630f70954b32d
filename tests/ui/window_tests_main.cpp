// Runs every window test class in one application, as the window runs in one.

#include <QTest>

#include "ui/application.h"

int runMainWindowTests(int argc, char** argv);
int runSettingsTests(int argc, char** argv);
int runOptionControlTests(int argc, char** argv);
int runCommandTests(int argc, char** argv);

int main(int argc, char** argv) {
    vemilo::ui::VemiloApplication application(argc, argv);
    int failed = 0;
    failed += runMainWindowTests(argc, argv);
    failed += runSettingsTests(argc, argv);
    failed += runOptionControlTests(argc, argv);
    failed += runCommandTests(argc, argv);
    return failed == 0 ? 0 : 1;
}
