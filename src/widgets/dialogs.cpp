#include "widgets/dialogs.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>

namespace vemilo::widgets {
namespace {

class QtDialogs : public Dialogs {
public:
    void message(const QString& text) override {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Vemilo"), text, QMessageBox::Ok,
                        QApplication::activeWindow());
        showCentredAndWait(box);
    }
    void error(const QString& text) override {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Vemilo"), text, QMessageBox::Ok,
                        QApplication::activeWindow());
        showCentredAndWait(box);
    }
    QString chooseFolder(const QString& title) override {
        // One picker at a time: asked again, the open one comes to the front.
        if (openPicker_) {
            openPicker_->raise();
            openPicker_->activateWindow();
            return {};
        }
        // No owner and not modal: the main window stays usable while the picker is open.
        QFileDialog picker(nullptr, title);
        picker.setFileMode(QFileDialog::Directory);
        picker.setOption(QFileDialog::ShowDirsOnly);
        picker.setWindowModality(Qt::NonModal);
        openPicker_ = &picker;
        QEventLoop waiting;
        QObject::connect(&picker, &QDialog::finished, &waiting, &QEventLoop::quit);
        picker.show();
        waiting.exec();
        openPicker_ = nullptr;
        return picker.result() == QDialog::Accepted && !picker.selectedFiles().isEmpty()
                   ? picker.selectedFiles().front()
                   : QString();
    }

    void closeAll() override {
        if (openPicker_) openPicker_->reject();
        for (const QPointer<QMessageBox>& box : openBoxes_) {
            if (box) box->reject();
        }
    }

private:
    // Message boxes open in the middle of the screen, wherever the window stands.
    void showCentredAndWait(QMessageBox& box) {
        box.adjustSize();
        const QScreen* screen = box.parentWidget() ? box.parentWidget()->screen() : QGuiApplication::primaryScreen();
        if (screen) box.move(screen->availableGeometry().center() - box.rect().center());
        openBoxes_.push_back(&box);
        box.exec();
        openBoxes_.removeAll(QPointer<QMessageBox>(&box));
    }

    QPointer<QFileDialog> openPicker_;
    QList<QPointer<QMessageBox>> openBoxes_;  // boxes open now, the innermost last
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

}  // namespace vemilo::widgets
