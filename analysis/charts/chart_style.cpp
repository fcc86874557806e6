#include "analysis/charts/chart_style.h"

#include <algorithm>
#include <cmath>

namespace viro {

double ChartStyle::penWidth(int screenWidth) const {
    const int i = std::clamp(screenWidth, 1, 3) - 1;
    return penWidths[size_t(i)];
}

int ChartStyle::fontSize(int screenPointSize, int printStep) const {
    if (printPointSize)
        return std::max(1, *printPointSize + printStep);
    return screenPointSize;
}

QColor ChartStyle::color(const QColor& c) const {
    return monochrome ? monochromeGrey(c) : c;
}

ChartStyle ChartStyle::screen(bool monochrome) {
    ChartStyle s;
    s.monochrome = monochrome;
    return s;
}

ChartStyle ChartStyle::printer(int horizontalDpi, int pointSize, bool monochrome) {
    const auto mm = [horizontalDpi](double x) {
        return std::max(1.0, std::nearbyint(horizontalDpi * x / 25.4));
    };
    ChartStyle s;
    s.penWidths = {std::max(1.0, std::nearbyint(mm(1) / 6)), mm(0.2), mm(0.3)};
    s.printPointSize = pointSize;
    s.monochrome = monochrome;
    return s;
}

QColor monochromeGrey(const QColor& c) {
    const int g = std::min((c.red() + c.green() + c.blue()) / 3, 112);
    return QColor(g, g, g);
}

} // namespace viro
