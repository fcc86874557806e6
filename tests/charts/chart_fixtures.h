#pragma once

#include "recording_device.h"

#include "analysis/analysis_result.h"
#include "analysis/charts/chart_catalog.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

// A designed result: every point on an average of 50 with band unit 1, all classes normal.
// Tests move single fields to the case they need.
inline viro::AnalysisResult flatResult(double average = 50) {
    viro::AnalysisResult r;
    r.Average = average;
    r.QualityAverage = 90;
    r.BandUnit = 1;
    r.ExcessNormal = 11.5;
    r.ExcessTolerable = 21;
    r.DeficiencyNormal = 10.5;
    r.DeficiencyTolerable = 20;
    r.DiffNormal = 22;
    r.DiffTolerable = 41;
    r.Corrected.fill(average);
    r.GroupMean.fill(average);
    r.PairMean.fill(average);
    for (auto& row : r.ElementTable)
        row.fill(average);
    r.Yin = r.Yang = r.Up = r.Down = r.Left = r.Right = r.Hi = r.Low = average;
    r.PointScore.fill(10.0);
    r.IntegratedIndex = 85.9;
    r.MeridiansIndex = 10.0;
    return r;
}

// Sets a point's corrected value and deviation together.
inline void setPoint(viro::AnalysisResult& r, int point, double deviation, int cls) {
    r.Corrected[size_t(point - 1)] = r.Average + deviation;
    r.Deviation[size_t(point - 1)] = deviation;
    r.PointClass[size_t(point - 1)] = cls;
}

// Records one drawing on a 965 x 554 (or given) canvas with the chart page's font.
inline std::vector<DrawOp> recordChart(const std::function<void(QPainter&)>& draw, int width = 965,
                                       int height = 554) {
    viro::installChartFonts();
    RecordingDevice device(width, height);
    {
        QPainter painter(&device);
        painter.setFont(QFont(QStringLiteral("Tahoma"), 8));
        draw(painter);
    }
    return device.ops();
}

// The rectangle a box covering [l, r) x [t, b) is drawn with when it has an outline.
inline QRectF outlined(int l, int t, int r, int b) {
    return QRectF(l, t, std::max(0, r - l - 1), std::max(0, b - t - 1));
}

inline std::vector<DrawOp> opsOf(const std::vector<DrawOp>& ops, DrawOp::Kind kind) {
    std::vector<DrawOp> out;
    std::copy_if(ops.begin(), ops.end(), std::back_inserter(out),
                 [kind](const DrawOp& op) { return op.kind == kind; });
    return out;
}

// Filled boxes with a black outline (bars, markers, squares) whose left edge is at x.
inline std::vector<DrawOp> boxesAt(const std::vector<DrawOp>& ops, double x) {
    std::vector<DrawOp> out;
    for (const DrawOp& op : ops)
        if (op.kind == DrawOp::Rect && op.filled() && op.hasPen() && op.rect.left() == x)
            out.push_back(op);
    return out;
}

inline std::vector<DrawOp> textsOf(const std::vector<DrawOp>& ops, const QString& text) {
    std::vector<DrawOp> out;
    for (const DrawOp& op : ops)
        if (op.kind == DrawOp::Text && op.text == text)
            out.push_back(op);
    return out;
}

// Top edge of a drawn text (texts are placed by their top-left corner).
inline double textTop(const DrawOp& op) {
    return op.at.y() - QFontMetricsF(op.font).ascent();
}

// Horizontal lines across the plot in a colour and pen style, by their y.
inline std::vector<double> horizontalLines(const std::vector<DrawOp>& ops, const QColor& color,
                                           Qt::PenStyle style) {
    std::vector<double> ys;
    for (const DrawOp& op : ops)
        if (op.kind == DrawOp::Line && op.penColor() == color && op.pen.style() == style &&
            op.line.y1() == op.line.y2() && op.line.length() > 100)
            ys.push_back(op.line.y1());
    return ys;
}

inline bool hasPolygon(const std::vector<DrawOp>& ops, const QPolygonF& points,
                       const QColor& fill) {
    for (const DrawOp& op : ops)
        if (op.kind == DrawOp::Polygon && op.points == points && op.fill() == fill)
            return true;
    return false;
}

// The box of a wedge of radius factor f in a polar frame, rounded as the charts round it.
inline QRectF wedgeBox(double cx, double cy, double rx, double ry, double f) {
    const double l = std::nearbyint(cx - f * rx), r = std::nearbyint(cx + f * rx);
    const double t = std::nearbyint(cy - f * ry), b = std::nearbyint(cy + f * ry);
    return QRectF(l, t, r - l, b - t);
}

// The point of a box's ellipse at an angle measured from the left, clockwise on screen.
inline QPointF onBox(const QRectF& box, double phi) {
    const double a = phi * std::numbers::pi / 180;
    return {box.center().x() - box.width() / 2 * std::cos(a),
            box.center().y() - box.height() / 2 * std::sin(a)};
}

// A filled wedge of that fill around the box's centre whose arc runs between `to` and `from`.
inline bool hasWedge(const std::vector<DrawOp>& ops, const QColor& fill, const QRectF& box,
                     double from, double to) {
    for (const DrawOp& op : ops) {
        if (op.kind != DrawOp::Path || !op.filled() || op.fill() != fill ||
            op.path.elementCount() < 3)
            continue;
        const QPointF centre = op.path.elementAt(0);
        const QPointF start = op.path.elementAt(1);
        const int last = op.path.elementCount() - 1;
        const QPointF s = onBox(box, to), e = onBox(box, from);
        const bool endsThere = QLineF(op.path.elementAt(last), e).length() < 0.6 ||
                               QLineF(op.path.elementAt(last - 1), e).length() < 0.6;
        if (QLineF(centre, box.center()).length() < 0.01 && QLineF(start, s).length() < 0.6 &&
            endsThere)
            return true;
    }
    return false;
}
