#include "analysis/charts/chart_painter.h"

#include <QFontMetricsF>
#include <QPolygonF>

#include <cmath>
#include <utility>

namespace viro {

QColor classColor(int cls) {
    if (cls == 0)
        return chart_colors::kNormal;
    if (cls == 1 || cls == -1)
        return chart_colors::kTolerable;
    return chart_colors::kPoor;
}

ChartPainter::ChartPainter(QPainter& painter, const ChartStyle& style)
    : p_(painter), style_(style), baseFont_(painter.font()) {
    p_.save();
    p_.setRenderHint(QPainter::Antialiasing, false);
    p_.setRenderHint(QPainter::TextAntialiasing, true);
    p_.setBackgroundMode(Qt::TransparentMode);
    pen(chart_colors::kBlack);
    noBrush();
}

ChartPainter::~ChartPainter() {
    p_.restore();
}

void ChartPainter::pen(const QColor& color, int width, Qt::PenStyle style) {
    QPen pen(style_.color(color), style_.penWidth(width), style, Qt::FlatCap, Qt::MiterJoin);
    p_.setPen(pen);
}

void ChartPainter::noPen() {
    p_.setPen(Qt::NoPen);
}

void ChartPainter::brush(const QColor& color) {
    p_.setBrush(style_.color(color));
}

void ChartPainter::noBrush() {
    p_.setBrush(Qt::NoBrush);
}

void ChartPainter::line(double x1, double y1, double x2, double y2) {
    p_.drawLine(QPointF(rnd(x1), rnd(y1)), QPointF(rnd(x2), rnd(y2)));
}

void ChartPainter::polyline(const std::vector<QPointF>& points) {
    QPolygonF poly;
    for (const QPointF& pt : points)
        poly << QPointF(rnd(pt.x()), rnd(pt.y()));
    p_.drawPolyline(poly);
}

void ChartPainter::rect(double x1, double y1, double x2, double y2) {
    int l = rnd(x1), t = rnd(y1), r = rnd(x2), b = rnd(y2);
    if (r < l)
        std::swap(l, r);
    if (b < t)
        std::swap(t, b);
    if (p_.pen().style() == Qt::NoPen) {
        p_.drawRect(QRectF(l, t, r - l, b - t));
    } else {
        // An outlined box keeps its outline on the first and last covered pixel.
        p_.drawRect(QRectF(l, t, std::max(0, r - l - 1), std::max(0, b - t - 1)));
    }
}

void ChartPainter::polygon(const std::vector<QPointF>& points) {
    QPolygonF poly;
    for (const QPointF& pt : points)
        poly << QPointF(rnd(pt.x()), rnd(pt.y()));
    p_.drawPolygon(poly);
}

void ChartPainter::ellipse(double left, double top, double right, double bottom) {
    const int l = rnd(left), t = rnd(top), r = rnd(right), b = rnd(bottom);
    p_.drawEllipse(QRectF(l, t, r - l, b - t));
}

void ChartPainter::pie(double cx, double cy, double rx, double ry, double from, double to) {
    // Screen angles run counter-clockwise from the right; ours run clockwise from the left.
    const QRectF box(rnd(cx - rx), rnd(cy - ry), rnd(cx + rx) - rnd(cx - rx),
                     rnd(cy + ry) - rnd(cy - ry));
    const int start = int(std::lround((180.0 - to) * 16));
    const int span = int(std::lround((to - from) * 16));
    p_.drawPie(box, start, span);
}

void ChartPainter::image(double x, double y, const QImage& image) {
    if (!style_.monochrome) {
        p_.drawImage(QPointF(rnd(x), rnd(y)), image);
        return;
    }
    // Pictures keep their light tones on a monochrome print: plain grey, no cap.
    QImage grey = image.convertToFormat(QImage::Format_ARGB32);
    for (int row = 0; row < grey.height(); ++row) {
        auto* line = reinterpret_cast<QRgb*>(grey.scanLine(row));
        for (int col = 0; col < grey.width(); ++col) {
            const int g = qGray(line[col]);
            line[col] = qRgba(g, g, g, qAlpha(line[col]));
        }
    }
    p_.drawImage(QPointF(rnd(x), rnd(y)), grey);
}

void ChartPainter::font(int screenSize, int printStep, bool bold, const QString& family) {
    QFont f = baseFont_;
    if (!family.isEmpty())
        f.setFamily(family);
    if (screenSize > 0 || style_.printPointSize)
        f.setPointSize(
            style_.fontSize(screenSize > 0 ? screenSize : baseFont_.pointSize(), printStep));
    f.setBold(bold);
    p_.setFont(f);
}

void ChartPainter::bold(bool on) {
    QFont f = p_.font();
    f.setBold(on);
    p_.setFont(f);
}

int ChartPainter::textWidth(const QString& text) const {
    return rnd(QFontMetricsF(p_.font(), p_.device()).horizontalAdvance(text));
}

void ChartPainter::text(double x, double y, const QString& text, const QColor& color) {
    const QPen keep = p_.pen();
    p_.setPen(style_.color(color));
    const QFontMetricsF fm(p_.font(), p_.device());
    p_.drawText(QPointF(rnd(x), rnd(y) + fm.ascent()), text);
    p_.setPen(keep);
}

void ChartPainter::textCentred(double centreX, double y, const QString& text, const QColor& color) {
    this->text(rnd(centreX) - textWidth(text) / 2, y, text, color);
}

void ChartPainter::textOnWhite(double x, double y, const QString& text, const QColor& color) {
    const QFontMetricsF fm(p_.font(), p_.device());
    p_.fillRect(QRectF(rnd(x), rnd(y), textWidth(text), fm.height()), Qt::white);
    this->text(x, y, text, color);
}

int RelativeScale::barEnd(double deviation) const {
    if (deviation >= 0) {
        const int top = rnd(y0 - y0 * deviation / avg);
        return top < 5 ? 5 : top;
    }
    const int bottom = rnd(y0 + y0 * std::fabs(deviation) / avg);
    return bottom > h ? h - 5 : bottom;
}

} // namespace viro
