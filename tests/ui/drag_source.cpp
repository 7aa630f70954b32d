// A window from another program that drags a file, as a file manager would, for the tests that
// drive the real window: pressing the mouse in it starts a drag of the file named on the command line.

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>

namespace {

class DragSource : public QWidget {
public:
    explicit DragSource(QString path) : path_(std::move(path)) {
        setWindowTitle(QStringLiteral("vemilo drag source"));
        resize(160, 120);
    }

protected:
    void mousePressEvent(QMouseEvent*) override {
        auto* data = new QMimeData;
        data->setUrls({QUrl::fromLocalFile(path_)});
        QDrag drag(this);
        drag.setMimeData(data);
        drag.exec(Qt::CopyAction);
    }

private:
    QString path_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) return 2;
    DragSource source(QString::fromLocal8Bit(argv[1]));
    source.move(900, 100);
    source.show();
    return application.exec();
}
