#include <QString>
#include <clocale>
#include <exception>

#include "ui/application.h"
#include "ui/main_window.h"
#include "widgets/dialogs.h"

int main(int argc, char** argv) {
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
