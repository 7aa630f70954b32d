#pragma once

#include <QApplication>
#include <QTranslator>

namespace vemilo::ui {

// The application object. Its notify shows an error raised by any handler in the error display
// and goes on with the next event.
class VemiloApplication : public QApplication {
public:
    VemiloApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

private:
    QTranslator translator_;
};

// The window's icon: two waveforms over one another.
QIcon makeWindowIcon();

}  // namespace vemilo::ui
