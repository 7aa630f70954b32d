#include "ui/widgets/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace vemilo::ui {
namespace {

class QtDialogs : public Dialogs {
public:
    void message(const QString& text) override {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Vemilo"), text, QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
    }
    void error(const QString& text) override {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Vemilo"), text, QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
    }
    QString chooseFolder(const QString& title) override {
        // No parent, so the main window stays usable while the picker is open.
        return QFileDialog::getExistingDirectory(nullptr, title, QString(), QFileDialog::ShowDirsOnly);
    }
};

QtDialogs qtDialogs;
Dialogs* current = &qtDialogs;

}  // namespace

Dialogs& dialogs() { return *current; }

Dialogs* setDialogs(Dialogs* replacement) {
    Dialogs* previous = current;
    current = replacement ? replacement : &qtDialogs;
    return previous;
}

QString withFullStop(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() <= u'.') return message;
    return message + u'.';
}

void showErrorDisplay(const QString& message) { dialogs().error(withFullStop(message)); }

}  // namespace vemilo::ui
