#include "measure/stability_graph.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>

namespace viro {
namespace {

// Whole pixels, half to even, as every coordinate of the program is rounded.
int rnd(double v) {
    return int(std::nearbyint(v));
}

constexpr int kTickHalfLength = 2;
constexpr double kVerticalUnits = 600;
constexpr double kMicroampsToUnits = 10; // ±30 µA fill the half-heights of 300 units

const char* const kValueLabels[] = {"  +30", "  +20", "  +10", " 0 uA", "  -10", "  -20", "  -30"};

QFont labelFont() {
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(10);
    return font;
}

} // namespace

QRect StabilityGraph::plotArea(QSize size) {
    return QRect(QPoint(kLeftStrip, 0), QPoint(size.width() - 1, size.height() - kBottomStrip - 1));
}

double StabilityGraph::xScale(QSize size, int totalMs) {
    return totalMs > 0 ? double(size.width() - kLeftStrip) / totalMs : 0.0;
}

double StabilityGraph::yScale(QSize size) {
    return (size.height() - kBottomStrip) / kVerticalUnits;
}

QPoint StabilityGraph::curvePoint(QSize size, int totalMs, const CurveSample& sample) {
    const double xs = xScale(size, totalMs);
    const double ys = yScale(size);
    // The x of a sample follows the progress, 50 ms ahead of the time it was taken.
    const double m = totalMs / 100.0 * sample.progressPercent;
    const int x = rnd((m + 50) * xs) + kLeftStrip;
    const double y = sample.ramp ? (kVerticalUnits - sample.elapsedMs) * ys
                                 : 300 * ys - ys * sample.deviationMicroamps * kMicroampsToUnits;
    return QPoint(x, std::clamp(rnd(y), 0, size.height() - kBottomStrip));
}

QPoint StabilityGraph::rampStart(QSize size) {
    return QPoint(kLeftStrip, size.height() - kBottomStrip);
}

int StabilityGraph::verticalLineX(QSize size, int step) {
    return kLeftStrip + rnd(double(step) * (size.width() - kLeftStrip) / kVerticalSteps);
}

int StabilityGraph::horizontalLineY(QSize size, int step) {
    return rnd(double(step) * (size.height() - kBottomStrip) / kHorizontalSteps);
}

QColor StabilityGraph::verticalLineColour(int step) {
    return step == 5 || step == 20 ? stability_colors::kGridMarked : stability_colors::kGrid;
}

int StabilityGraph::centreX(QSize size) {
    return kLeftStrip + rnd((size.width() - kLeftStrip) / 2.0);
}

int StabilityGraph::centreY(QSize size) {
    return rnd((size.height() - kBottomStrip) / 2.0);
}

std::vector<TimeAxisLabel> StabilityGraph::timeAxisLabels(int totalMs) {
    // Steps in tenths of a second.
    int step = 5;
    if (totalMs > 10900)
        step = 20;
    else if (totalMs > 5900)
        step = 10;
    const int count = totalMs / (step * 100);
    std::vector<TimeAxisLabel> labels;
    labels.reserve(size_t(std::max(count, 0)));
    for (int i = 1; i <= count; ++i) {
        const int ms = i * step * 100;
        labels.push_back({ms, QString::asprintf("%1.1f", ms / 1000.0)});
    }
    return labels;
}

int StabilityGraph::timeAxisX(QSize size, int totalMs, int ms) {
    return kLeftStrip + rnd(ms * xScale(size, totalMs));
}

QString StabilityGraph::totalTimeText(int totalMs) {
    return QString::asprintf("%5.1f", totalMs / 1000.0);
}

void drawStabilityBackground(QPainter& p, const StabilityGraphView& view) {
    using G = StabilityGraph;
    const QSize size = view.size;
    const QRect plot = G::plotArea(size);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(QPoint(0, 0), size), stability_colors::kBackground);

    QPen dotted(stability_colors::kGrid, 1, Qt::DotLine);
    dotted.setCosmetic(true);
    for (int i = 1; i < G::kVerticalSteps; ++i) {
        if (i == G::kVerticalSteps / 2)
            continue; // the solid centre line
        dotted.setColor(G::verticalLineColour(i));
        p.setPen(dotted);
        const int x = G::verticalLineX(size, i);
        p.drawLine(x, plot.top(), x, plot.bottom());
    }
    dotted.setColor(stability_colors::kGrid);
    p.setPen(dotted);
    for (int j = 1; j < G::kHorizontalSteps; ++j) {
        const int y = G::horizontalLineY(size, j);
        p.drawLine(plot.left(), y, plot.right(), y);
    }

    const int cx = G::centreX(size);
    const int cy = G::centreY(size);
    p.setPen(QPen(stability_colors::kGrid, 1));
    p.drawLine(cx, plot.top(), cx, plot.bottom());
    p.drawLine(plot.left(), cy, plot.right(), cy);
    for (int k = 1; k < G::kCentreTicksAcross; ++k) {
        const int x = plot.left() + rnd(double(k) * plot.width() / G::kCentreTicksAcross);
        p.drawLine(x, cy - kTickHalfLength, x, cy + kTickHalfLength);
    }
    for (int k = 1; k < G::kCentreTicksDown; ++k) {
        const int y = plot.top() + rnd(double(k) * plot.height() / G::kCentreTicksDown);
        p.drawLine(cx - kTickHalfLength, y, cx + kTickHalfLength, y);
    }

    // The frame lies inside the plot, three rings of one pixel.
    p.setPen(QPen(stability_colors::kFrame, 1));
    p.setBrush(Qt::NoBrush);
    for (int ring = 0; ring < G::kFrameWidth; ++ring)
        p.drawRect(plot.adjusted(ring, ring, -ring - 1, -ring - 1));

    p.setFont(labelFont());
    p.setPen(stability_colors::kLabels);
    const int labelHeight = 12;
    const int count = int(std::size(kValueLabels));
    for (int k = 0; k < count; ++k) {
        const int y = rnd(double(k) * plot.height() / (count - 1));
        const int top = std::clamp(y - labelHeight / 2, 0, plot.bottom() - labelHeight + 1);
        p.drawText(QRect(0, top, G::kLeftStrip - 2, labelHeight), Qt::AlignRight | Qt::AlignVCenter,
                   QString::fromLatin1(kValueLabels[k]));
    }
    const QRect axisStrip(0, plot.bottom() + 1, size.width(), G::kBottomStrip);
    const int textWidth = 40;
    p.drawText(QRect(plot.left() - textWidth / 2, axisStrip.top(), textWidth, axisStrip.height()),
               Qt::AlignCenter, QStringLiteral("0 Sec"));
    if (view.running && view.totalMs > 0) {
        const QFontMetrics metrics(p.font());
        const QString total = G::totalTimeText(view.totalMs);
        const int totalLeft = size.width() - 2 - metrics.horizontalAdvance(total.trimmed());
        p.drawText(QRect(0, axisStrip.top(), size.width() - 2, axisStrip.height()),
                   Qt::AlignRight | Qt::AlignVCenter, total.trimmed());
        int lastRight = plot.left() + textWidth / 2;
        for (const TimeAxisLabel& label : G::timeAxisLabels(view.totalMs)) {
            const int x = G::timeAxisX(size, view.totalMs, label.ms);
            const int w = metrics.horizontalAdvance(label.text);
            // A label that would run into its neighbour or the total time is left out.
            if (x - w / 2 < lastRight + 4 || x + w / 2 > totalLeft - 4)
                continue;
            p.drawText(QRect(x - w / 2 - 1, axisStrip.top(), w + 2, axisStrip.height()),
                       Qt::AlignCenter, label.text);
            lastRight = x + w / 2;
        }
    }
    p.restore();
}

namespace {

constexpr int kCurvePenWidth = 2;

QPen curvePen(double drawnLength) {
    QPen pen(stability_colors::kCurve, kCurvePenWidth, Qt::DotLine);
    // The dash offset counts in pen widths.
    pen.setDashOffset(drawnLength / kCurvePenWidth);
    // Flat ends, so a dot split between two pieces is not drawn longer where they meet.
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

double lengthOf(QPoint a, QPoint b) {
    return std::hypot(double(b.x() - a.x()), double(b.y() - a.y()));
}

} // namespace

void drawStabilityCurve(QPainter& p, const StabilityGraphView& view,
                        const std::vector<CurveSample>& curve) {
    StabilityCurveTracer tracer;
    tracer.extend(p, view, curve);
}

void StabilityCurveTracer::reset() {
    *this = StabilityCurveTracer();
}

void StabilityCurveTracer::extend(QPainter& p, const StabilityGraphView& view,
                                  const std::vector<CurveSample>& curve) {
    if (next_ >= curve.size() || view.totalMs <= 0)
        return;
    p.save();
    p.setClipRect(StabilityGraph::plotArea(view.size));
    p.setRenderHint(QPainter::Antialiasing, false);
    // The ramp is one line from the corner to its newest point; drawn again longer, it covers
    // what it drew before, dots and all.
    size_t i = next_;
    size_t lastRamp = curve.size();
    for (; i < curve.size() && !deviating_ && curve[i].ramp; ++i)
        lastRamp = i;
    if (lastRamp < curve.size()) {
        const QPoint from = StabilityGraph::rampStart(view.size);
        const QPoint to = StabilityGraph::curvePoint(view.size, view.totalMs, curve[lastRamp]);
        p.setPen(curvePen(0));
        p.drawLine(from, to);
        ramped_ = true;
        last_ = to;
        length_ = lengthOf(from, to);
    }
    QPolygon line;
    line.reserve(int(curve.size() - i) + 1);
    if (ramped_ || deviating_)
        line << last_;
    for (; i < curve.size(); ++i) {
        if (curve[i].ramp)
            continue; // a late ramp sample after the deviations began draws nothing
        const QPoint pt = StabilityGraph::curvePoint(view.size, view.totalMs, curve[i]);
        if (line.isEmpty() || line.last() != pt)
            line << pt;
    }
    if (line.size() > (ramped_ || deviating_ ? 1 : 0)) {
        p.setPen(curvePen(length_));
        if (line.size() == 1)
            p.drawPoint(line.first());
        else
            p.drawPolyline(line);
        for (int k = 1; k < line.size(); ++k)
            length_ += lengthOf(line[k - 1], line[k]);
        last_ = line.last();
        deviating_ = true;
    }
    next_ = curve.size();
    p.restore();
}

StabilityGraphBox::StabilityGraphBox(const MeasurementEngine& engine, QWidget* parent)
    : QWidget(parent), engine_(engine) {
    setObjectName("PaintBox1");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

StabilityGraphView StabilityGraphBox::view() const {
    const MeasurementDisplay& d = engine_.display();
    return {size(), d.totalMs, d.running};
}

void StabilityGraphBox::paintEvent(QPaintEvent*) {
    const StabilityGraphView v = view();
    const qreal ratio = devicePixelRatioF();
    const std::vector<CurveSample>& curve = engine_.curve();
    bool restart = engine_.curveGeneration() != curveGeneration_ || curve.size() < tracer_.drawn();
    if (background_.isNull() || !(backgroundView_ == v) || backgroundRatio_ != ratio) {
        background_ = QImage(v.size * ratio, QImage::Format_RGB32);
        background_.setDevicePixelRatio(ratio);
        QPainter bp(&background_);
        drawStabilityBackground(bp, v);
        backgroundView_ = v;
        backgroundRatio_ = ratio;
        restart = true;
    }
    if (restart) {
        canvas_ = background_.copy();
        canvas_.setDevicePixelRatio(ratio);
        tracer_.reset();
        curveGeneration_ = engine_.curveGeneration();
    }
    {
        QPainter cp(&canvas_);
        tracer_.extend(cp, v, curve);
    }
    QPainter p(this);
    p.drawImage(0, 0, canvas_);
}

} // namespace viro
