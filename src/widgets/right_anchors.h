#pragma once
// Keeps controls anchored to the left, top and right of their parent: when the parent grows or
// shrinks, they keep their distance to its right edge and stretch with it.

#include <QObject>
#include <QVector>

class QWidget;

namespace vemilo::widgets {

class RightAnchors : public QObject {
public:
    // designedWidth: the parent's width in the layout, from which the right margins are taken.
    RightAnchors(QWidget* parent, int designedWidth);
    void add(QWidget* child);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Anchored {
        QWidget* widget;
        int rightMargin;
    };
    QWidget* parent_;
    int designedWidth_;
    QVector<Anchored> anchored_;
};

}  // namespace vemilo::widgets
