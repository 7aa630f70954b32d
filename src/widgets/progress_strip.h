#pragma once
// The progress bar, which after a comparison also marks where along the compared stretch frames
// differed, so that the user sees at a glance where the damage lies.

#include <QProgressBar>
#include <optional>
#include <vector>

namespace vemilo::widgets {

class ProgressStrip : public QProgressBar {
public:
    using QProgressBar::QProgressBar;

    // Marks at these places, 0 at the start of the compared stretch and 1 at its end.
    void setMarks(std::vector<double> places, const QString& toolTip);
    void clearMarks();
    const std::vector<double>& marks() const { return marks_; }
    // Where a comparison stopped short (at the difference limit), 0 to 1: what follows is greyed,
    // never compared. Nothing: it went to its end.
    void setStoppedAt(std::optional<double> place);
    std::optional<double> stoppedAt() const { return stoppedAt_; }
    // The pixel column of a place, inside the bar's frame even at 0 and 1, so that a mark there shows.
    static int column(double place, int width);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<double> marks_;
    std::optional<double> stoppedAt_;
};

}  // namespace vemilo::widgets
