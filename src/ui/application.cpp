#include "ui/application.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>
#include <exception>

#include "widgets/dialogs.h"

namespace vemilo::ui {

using namespace vemilo::widgets;

VemiloApplication::VemiloApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // No display name: the platform would append it to every window title.
    setApplicationName(QStringLiteral("Vemilo"));
    setWindowIcon(makeWindowIcon());
    // Qt's own dialogs and buttons speak Japanese with the rest of the window.
    if (translator_.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        installTranslator(&translator_);
    }
}

bool VemiloApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        showErrorDisplay(QString::fromUtf8(error.what()));
    } catch (...) {
        showErrorDisplay(QString());
    }
    return false;
}

QIcon makeWindowIcon() {
    QIcon icon;
    for (int size : {16, 32, 64, 128}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(0x23, 0x3a, 0x5e));
        painter.setPen(Qt::NoPen);
        painter.drawRoundedRect(QRectF(0, 0, size, size), size * 0.18, size * 0.18);
        const QColor colours[] = {QColor(0x6f, 0xd3, 0xff), QColor(0xff, 0xc8, 0x4a)};
        for (int wave = 0; wave < 2; ++wave) {
            QPainterPath path;
            for (int x = 0; x <= 40; ++x) {
                const double t = x / 40.0;
                const double y = 0.5 + (wave == 0 ? -0.16 : 0.16) + 0.13 * std::sin(t * 6.283 * 2 + wave * 0.4);
                const QPointF point(size * (0.12 + 0.76 * t), size * y);
                if (x == 0)
                    path.moveTo(point);
                else
                    path.lineTo(point);
            }
            painter.setPen(QPen(colours[wave], std::max(1.0, size / 16.0)));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(path);
        }
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace vemilo::ui
