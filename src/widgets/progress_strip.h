#pragma once
// The progress bar, which after a comparison also marks where along the compared stretch frames
// differed, so that the user sees at a glance where the damage lies.

#include <QProgressBar>
#include <vector>

namespace vemilo::widgets {

class ProgressStrip : public QProgressBar {
public:
    using QProgressBar::QProgressBar;

    // Marks at these places, 0 at the start of the compared stretch and 1 at its end.
    void setMarks(std::vector<double> places, const QString& toolTip);
    void clearMarks();
    const std::vector<double>& marks() const { return marks_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<double> marks_;
};

}  // namespace vemilo::widgets
