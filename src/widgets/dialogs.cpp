#include "widgets/dialogs.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <algorithm>

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
    // Message boxes open over the middle of the window they speak for (of the screen when there
    // is none), within the screen, with a title and a close button but no minimise or maximise.
    void showCentredAndWait(QMessageBox& box) {
        box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
        box.adjustSize();
        const QWidget* owner = box.parentWidget() ? box.parentWidget()->window() : nullptr;
        const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            QRect placed(QPoint(), box.size());
            placed.moveCenter(owner && owner->isVisible() ? owner->frameGeometry().center() : area.center());
            placed.moveLeft(
                std::clamp(placed.left(), area.left(), std::max(area.left(), area.right() + 1 - placed.width())));
            placed.moveTop(
                std::clamp(placed.top(), area.top(), std::max(area.top(), area.bottom() + 1 - placed.height())));
            box.move(placed.topLeft());
        }
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
