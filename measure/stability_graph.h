#pragma once

#include "measure/measurement_engine.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <vector>

class QPainter;

namespace viro {

// What the stability graph is drawn for: the box, the total time T of a point, and whether a
// run is going on (only then is the time axis labelled).
struct StabilityGraphView {
    QSize size{640, 270};
    int totalMs = MeasuringOptions::kDefaultMeasuringMs + MeasuringOptions::kDefaultFinalWindowMs;
    bool running = false;

    friend bool operator==(const StabilityGraphView&, const StabilityGraphView&) = default;
};

struct TimeAxisLabel {
    int ms = 0;
    QString text;

    friend bool operator==(const TimeAxisLabel&, const TimeAxisLabel&) = default;
};

// The arithmetic of the stability graph. The plot covers x from 32 to the box width and y from
// 0 to the box height minus 15; the strips left and below carry the labels. Vertically, 600
// units fill the plot: the start ramp climbs from the bottom to the centre in its first 300 ms,
// afterwards ±30 µA of deviation from the reference fill the two half-heights.
class StabilityGraph {
public:
    static constexpr int kLeftStrip = 32;
    static constexpr int kBottomStrip = 15;
    static constexpr int kVerticalSteps = 24;
    static constexpr int kHorizontalSteps = 5;
    static constexpr int kCentreTicksAcross = 125;
    static constexpr int kCentreTicksDown = 30;
    static constexpr int kFrameWidth = 3;
    static constexpr int kRampMs = 300;

    static QRect plotArea(QSize size);
    // Pixels per millisecond and per vertical unit.
    static double xScale(QSize size, int totalMs);
    static double yScale(QSize size);

    // Where a sample of the curve is drawn: x from the point's progress, y from the ramp or the
    // deviation, held inside the plot's height.
    static QPoint curvePoint(QSize size, int totalMs, const CurveSample& sample);
    // The ramp starts in the bottom-left corner of the plot.
    static QPoint rampStart(QSize size);

    // Dotted grid lines: vertical step 1-23 and horizontal step 1-4 (0 and the last lie on the
    // frame); the solid centre lines are step 12 and the middle of the height.
    static int verticalLineX(QSize size, int step);
    static int horizontalLineY(QSize size, int step);
    static QColor verticalLineColour(int step);
    static int centreX(QSize size);
    static int centreY(QSize size);

    // The time labels of a run spread over the axis (the total time is printed at its right end
    // apart from these): half seconds up to 5.9 s, whole seconds up to 10.9 s, two seconds above.
    static std::vector<TimeAxisLabel> timeAxisLabels(int totalMs);
    // Where the label of `ms` sits on the time axis.
    static int timeAxisX(QSize size, int totalMs, int ms);
    static QString totalTimeText(int totalMs);
};

namespace stability_colors {
inline const QColor kBackground(0, 0, 0);
inline const QColor kGrid(26, 204, 0);
inline const QColor kGridMarked(128, 128, 0);
inline const QColor kFrame(194, 206, 255);
inline const QColor kLabels(194, 206, 255);
inline const QColor kCurve(255, 81, 0);
} // namespace stability_colors

// The background (grid, frame, labels) and the curve, on any painter in the box's coordinates.
void drawStabilityBackground(QPainter& painter, const StabilityGraphView& view);
void drawStabilityCurve(QPainter& painter, const StabilityGraphView& view,
                        const std::vector<CurveSample>& curve);

// Draws the curve a piece at a time onto a kept picture: each call adds the samples that came
// since the last one, going on with the line and its dots where they stopped. A wide dotted
// line costs by its length, so a frame then costs the readings since the frame before, not the
// whole curve.
class StabilityCurveTracer {
public:
    // The next call draws the curve from its start.
    void reset();
    void extend(QPainter& painter, const StabilityGraphView& view,
                const std::vector<CurveSample>& curve);
    // Samples drawn so far.
    size_t drawn() const { return next_; }

private:
    size_t next_ = 0;
    bool ramped_ = false;   // the start ramp is drawn as far as the last ramp sample
    bool deviating_ = false; // the deviations have begun; `last_` is where the line ends
    QPoint last_;
    double length_ = 0; // of the line drawn, in pixels, for the dots to go on from
};

// `PaintBox1`: the live stability curve of the point being measured. It draws what the engine
// holds when it paints; the owner calls update() at its own frame rate. The background is kept
// as a picture and drawn again only when the box, T or the run changes.
class StabilityGraphBox : public QWidget {
    Q_OBJECT
public:
    explicit StabilityGraphBox(const MeasurementEngine& engine, QWidget* parent = nullptr);

    StabilityGraphView view() const;
    QSize sizeHint() const override { return {640, 270}; }
    QSize minimumSizeHint() const override { return {480, 200}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const MeasurementEngine& engine_;
    QImage background_;
    QImage canvas_; // the background with the curve drawn so far
    StabilityGraphView backgroundView_;
    qreal backgroundRatio_ = 0;
    quint64 curveGeneration_ = 0;
    StabilityCurveTracer tracer_;
};

} // namespace viro
