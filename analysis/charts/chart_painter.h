#pragma once

#include "analysis/charts/chart_style.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QString>

#include <cmath>
#include <vector>

namespace viro {

// Whole pixels, half to even, as every chart coordinate is rounded.
inline int rnd(double v) {
    return int(std::nearbyint(v));
}

namespace chart_colors {
inline const QColor kNormal(145, 255, 113);
inline const QColor kTolerable(254, 249, 141);
inline const QColor kPoor(255, 70, 70);
inline const QColor kRed(255, 0, 0);
inline const QColor kOlive(128, 128, 0);
inline const QColor kBlack(0, 0, 0);
inline const QColor kWhite(255, 255, 255);
inline const QColor kNavy(0, 0, 128);
inline const QColor kGrey(128, 128, 128);
inline const QColor kGreen(0, 128, 0);
inline const QColor kBlue(0, 0, 255);
inline const QColor kMaroon(128, 0, 0);
inline const QColor kYellow(255, 238, 0);      // side-difference arrows, gauge markers
inline const QColor kWarnYellow(255, 255, 0);  // warning markers of the balance charts
inline const QColor kOrange(233, 122, 22);     // highlighted labels
inline const QColor kPanelOrange(255, 128, 0); // frames of the body energy panel
inline const QColor kLightGrey(238, 238, 238);
inline const QColor kSilver(192, 192, 192);
inline const QColor kInnerFill(221, 222, 255);
inline const QColor kAmber(251, 214, 4);
} // namespace chart_colors

// Normal, Tolerable or Poor fill of a class: 0, +-1, anything else.
QColor classColor(int cls);

// Drawing primitives with the conventions of the charts: texts placed by their top-left
// corner, rectangles covering [x1, x2) x [y1, y2), angles measured from the left (0 left, 90 up,
// 180 right). Every pen width, font size and colour passes through the style.
class ChartPainter {
public:
    ChartPainter(QPainter& painter, const ChartStyle& style);
    ~ChartPainter();
    ChartPainter(const ChartPainter&) = delete;
    ChartPainter& operator=(const ChartPainter&) = delete;

    QPainter& painter() { return p_; }
    const ChartStyle& style() const { return style_; }

    void pen(const QColor& color, int width = 1, Qt::PenStyle style = Qt::SolidLine);
    void noPen();
    void brush(const QColor& color);
    void noBrush();

    void line(double x1, double y1, double x2, double y2);
    void polyline(const std::vector<QPointF>& points);
    void rect(double x1, double y1, double x2, double y2);
    void polygon(const std::vector<QPointF>& points);
    // Ellipse inside the box (left, top)-(right, bottom).
    void ellipse(double left, double top, double right, double bottom);
    // Wedge of the ellipse around (cx, cy) with radii (rx, ry) from angle `from` to `to`.
    void pie(double cx, double cy, double rx, double ry, double from, double to);
    void image(double x, double y, const QImage& image);

    // Fonts: the chart's base font (the painter's font when the chart starts), with size
    // `screenSize` on screen or the print size plus `printStep` on paper. A size of 0 keeps the
    // base size.
    void font(int screenSize = 0, int printStep = 0, bool bold = false,
              const QString& family = QString());
    void bold(bool on);
    int textWidth(const QString& text) const;
    void text(double x, double y, const QString& text, const QColor& color);
    void textCentred(double centreX, double y, const QString& text, const QColor& color);
    // Text on a patch of the canvas's white, for a label that must stay readable over others.
    void textOnWhite(double x, double y, const QString& text, const QColor& color);

private:
    QPainter& p_;
    ChartStyle style_;
    QFont baseFont_;
};

// Geometry of the meridian columns shared by the bar, slope and column charts: a 50-pixel left
// margin, 12 columns of w/12 and 24 slots of w/24 across the rest.
struct ColumnLayout {
    explicit ColumnLayout(int width) : w(width - 50) {}
    double w;
    int slotLeft(int s) const { return rnd(w / 24 * (s - 1)) + 50; }
    int slotRight(int s) const { return rnd(w / 24 * s) + 50; }
    int columnLeft(int i) const { return rnd(w / 12 * (i - 1)) + 50; }
    int columnRight(int i) const { return rnd(w / 12 * i) + 50; }
    int centre(int i) const { return rnd(w / 12 * (i - 1) + w / 24) + 50; }
    int slotBorder(int i) const { return rnd(w / 24) + 50 + rnd(w / 12 * (i - 1)); }
    int divider() const { return int(w) / 2 + 50; }
    int tickLength() const { return int(w) / 80; }
};

// The relative scale: the average on y0 = H div 2, zero at the bottom edge.
struct RelativeScale {
    RelativeScale(int height, double average) : h(height), y0(height / 2), avg(average) {}
    int h;
    int y0;
    double avg;
    // y of a deviation, unrounded.
    double at(double deviation) const { return y0 - y0 * deviation / avg; }
    // The free end of a bar from y0: a top no higher than 5, a bottom below the canvas moved
    // to H - 5.
    int barEnd(double deviation) const;
};

} // namespace viro
