#pragma once

#include <QColor>

#include <array>
#include <optional>

namespace viro {

// How a chart is put on its device: the screen draws with whole-pixel pens and the charts' own
// font sizes; the printed report gives pens in device units of its resolution, sizes texts
// from its print size and may turn every colour into grey.
struct ChartStyle {
    // Device widths of the pens the charts call 1, 2 and 3 pixels wide.
    std::array<double, 3> penWidths{1, 2, 3};
    // When set, texts use this point size plus the step each text names, instead of the
    // screen sizes.
    std::optional<int> printPointSize;
    bool monochrome = false;

    double penWidth(int screenWidth) const;
    int fontSize(int screenPointSize, int printStep) const;
    QColor color(const QColor& c) const;

    static ChartStyle screen(bool monochrome = false);
    // Axes 0.3 mm, medium lines 0.2 mm, thin lines and outlines a sixth of a millimetre,
    // converted with the horizontal resolution.
    static ChartStyle printer(int horizontalDpi, int pointSize, bool monochrome);
};

// The size of the canvas a chart is drawn on and how it is drawn there.
struct ChartArea {
    int width = 965;
    int height = 554;
    ChartStyle style;
};

// The grey of the monochrome print: the mean of the three channels, never lighter than 112.
QColor monochromeGrey(const QColor& c);

} // namespace viro
