#pragma once
// The progress bar, which after a comparison becomes a map of file 1: where frames differed and by
// how much, what was never compared, and a time scale. A click or the arrow keys choose a
// difference, so that the log can show its line.

#include <QProgressBar>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace vemilo::widgets {

class ProgressStrip : public QProgressBar {
public:
    struct Difference {
        double place = 0;     // 0 at file 1's first frame, 1 at its end
        double level = 1;     // the largest difference against full scale: 2^-15 for 1 LSB of 16 bits
        uint64_t number = 0;  // as the detail lines number it, from 1
        double seconds = 0;   // where it lies in file 1
    };
    struct Range {
        double from = 0, to = 0;  // places, as a difference's
        bool operator==(const Range&) const = default;
    };
    // The bar's and the time scale's heights: the strip is their sum.
    static constexpr int kBarHeight = 17;
    static constexpr int kScaleHeight = 13;

    explicit ProgressStrip(QWidget* parent);

    // After a run: the differences in file 1's order, the stretches of file 1 never compared, and
    // file 1's length for the time scale. toolTip: what a pointer resting on the strip shows.
    void setResult(std::vector<Difference> differences, std::vector<Range> notCompared, double seconds,
                   const QString& toolTip);
    // Back to a plain progress bar.
    void clearMarks();
    bool hasResult() const { return hasResult_; }
    std::vector<double> marks() const;
    const std::vector<Difference>& differences() const { return differences_; }
    const std::vector<Range>& notCompared() const { return notCompared_; }
    // The difference chosen last by click or key, as an index into the run's differences.
    std::optional<size_t> chosen() const { return chosen_; }
    // Runs when the user chooses a difference: the number its detail line carries.
    std::function<void(uint64_t number)> onDifferenceChosen;

    // The pixel column of a place, inside the bar's frame even at 0 and 1, so that a mark there shows.
    static int column(double place, int width);
    // How much of the bar's height a difference of this level takes, by its dBFS: -120 and below
    // a fifth, full scale and above all of it.
    static double barShare(double level);
    // The time scale's labels for a file of this length across this many pixels: each label's
    // place and its text ("1:30"), far enough apart to be read.
    static std::vector<std::pair<double, QString>> timeScale(double seconds, int width);
    // Where differences lie, for a screen reader and the tooltip's first line.
    QString summary() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void paintProgress(class QPainter& painter, const QRect& bar) const;
    void paintResult(QPainter& painter, const QRect& bar) const;
    void paintScale(QPainter& painter) const;
    void choose(size_t index);

    std::vector<Difference> differences_;
    std::vector<Range> notCompared_;
    double seconds_ = 0;
    bool hasResult_ = false;
    std::optional<size_t> chosen_;
};

// A length of time as the strip and its reader give it: "0:05", "1:02:03", or with tenths when
// the whole file is short ("0:01.5").
QString timeText(double seconds, bool tenths);

}  // namespace vemilo::widgets
