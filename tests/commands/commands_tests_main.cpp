// Runs the command tests in an application like the window's own (its notify shows errors raised
// by handlers).

#include "ui/application.h"

int runCommandTests(int argc, char** argv);

int main(int argc, char** argv) {
    vemilo::ui::VemiloApplication application(argc, argv);
    return runCommandTests(argc, argv);
}
