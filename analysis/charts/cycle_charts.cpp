#include "analysis/charts/cycle_charts.h"

#include "analysis/charts/chart_background.h"
#include "analysis/charts/chart_painter.h"
#include "analysis/charts/chart_parts.h"

#include <cmath>
#include <numbers>
#include <optional>

namespace viro {

namespace cc = chart_colors;
using namespace chart_parts;

namespace {

double rad(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

struct ElementSector {
    ElementRow row;
    double from;
    double to;
    double labelAngle;
    const char* labels[3];
};

const std::array<ElementSector, 6> kSectors{{
    {Wood, 54, 126, 90, {"Wood - LR/GB", "Wood - LR", "Wood - GB"}},
    {MoFire, 126, 162, 144, {"Mo.Fire - HT/SI", "Mo.Fire - HT", "Mo.Fire - SI"}},
    {Earth, 198, 270, 234, {"Earth - SP/ST", "Earth - SP", "Earth - ST"}},
    {Metal, 270, 342, 306, {"Metal - LU/LI", "Metal - LU", "Metal - LI"}},
    {Water, 342, 414, 378, {"Water - KI/BL", "Water - KI", "Water - BL"}},
    {MiFire, 162, 198, 180, {"Mi.Fire - PC/TE", "Mi.Fire - PC", "Mi.Fire - TE"}},
}};

// Horary order from 23:00: GB, LR, LU, LI, ST, SP, HT, SI, BL, KI, PC, TE.
constexpr std::array<int, 12> kHorary{11, 8, 1, 6, 12, 7, 3, 4, 10, 9, 2, 5};

std::vector<QPointF> rotated(const std::vector<QPointF>& local, double degrees, double cx,
                             double cy) {
    const double c = std::cos(rad(degrees)), s = std::sin(rad(degrees));
    std::vector<QPointF> out;
    for (const QPointF& p : local)
        out.emplace_back(p.x() * c - p.y() * s + cx, p.x() * s + p.y() * c + cy);
    return out;
}

bool drawTimeCycle(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                   double measuredAt, const QString& dataFolder, QString* error, bool perPoint) {
    const std::optional<QImage> image =
        loadChartBackground(dataFolder, QString::fromLatin1(kTimeCycleBackground), error);
    if (!image)
        return false;
    const int period = timeCyclePeriod(measuredAt);
    ColumnBars bars;
    for (int u = 0; u < 12; ++u) {
        const int m = kHorary[size_t(u)];
        const int left = leftPointOf(m), right = rightPointOf(m);
        if (perPoint) {
            for (int k : {left, right}) {
                bars.deviations.push_back(r.Deviation[size_t(k - 1)]);
                bars.classes.push_back(r.PointClass[size_t(k - 1)]);
            }
        } else {
            bars.deviations.push_back(
                (r.Deviation[size_t(left - 1)] + r.Deviation[size_t(right - 1)]) / 2);
            bars.classes.push_back(r.MeridianClass[size_t(m - 1)]);
        }
        bars.arrows[size_t(u)] = r.SideDiffClass[size_t(m - 1)];
    }
    bars.dividerTop = area.height / 8;
    bars.labels = [H = area.height, period](ChartPainter& cp, const ColumnLayout& cols) {
        for (int u = 1; u <= 12; ++u) {
            const MeridianInfo& m = meridian(kHorary[size_t(u - 1)]);
            if (u == period) {
                cp.bold(true);
                cp.textCentred(cols.centre(u), H - 46, m.code, cc::kOrange);
                cp.textCentred(cols.centre(u), H - 30, "[" + m.clockHours + "]", cc::kRed);
            } else {
                cp.bold(false);
                cp.textCentred(cols.centre(u), H - 46, m.code, cc::kGreen);
                cp.bold(true);
                cp.textCentred(cols.centre(u), H - 30, m.clockHours, cc::kBlack);
            }
            cp.bold(false);
            if (u % 2 == 0)
                cp.textCentred(cols.columnLeft(u), H - 15, m.element, cc::kBlue);
        }
    };
    ChartPainter cp(painter, area.style);
    drawColumnBars(cp, area, r, *image, bars);
    return true;
}

} // namespace

void DrawFiveElements(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                      int variant) {
    ChartPainter cp(painter, area.style);
    const int W = area.width, H = area.height;
    const int v = std::clamp(variant, 1, 3) - 1;
    const double left = rnd(W / 12.0 * 2.5) + 30;
    const double right = rnd(W / 12.0 * 9.5) - 30;
    const double rx = (right - left) / 2;
    const double ry = (H - 60) / 2.0;
    const double cx = rnd(left + rx);
    const double cy = rnd(30 + ry);

    for (const ElementSector& sector : kSectors) {
        const double S = r.ElementTable[size_t(sector.row)][size_t(v)];
        const double d = S - r.Average;
        const double f = (2 * r.Average + d) / (3 * r.Average);
        const QColor fill = classColor(r.ElementClass[size_t(sector.row)][size_t(v)]);
        cp.pen(fill, 2);
        cp.brush(fill);
        cp.pie(cx, cy, f * rx, f * ry, sector.from, sector.to);
        cp.noBrush();
        cp.pen(cc::kLightGrey, 2);
        cp.pie(cx, cy, rx, ry, sector.from, sector.to);

        const double phi = rad(sector.labelAngle);
        const QString label = QString::fromLatin1(sector.labels[v]);
        const double top = cy - 1.1 * ry * std::sin(phi) - 5;
        if (sector.row == Wood)
            cp.textCentred(cx, top, label, cc::kBlue);
        else if (sector.row == Metal || sector.row == Water)
            cp.text(cx - (cp.textWidth(label) + 1.1 * rx) * std::cos(phi), top, label, cc::kBlue);
        else
            cp.text(cx - 1.1 * rx * std::cos(phi), top, label, cc::kBlue);
        cp.textCentred(cx - rx / 2 * std::cos(phi), cy - ry / 2 * std::sin(phi), fixed(S, 3, 1),
                       cc::kBlack);
    }

    cp.pen(cc::kRed, 1, Qt::DotLine);
    cp.ellipse(cx - 2 * rx / 3, cy - 2 * ry / 3, cx + 2 * rx / 3, cy + 2 * ry / 3);
    cp.pen(cc::kGrey, 3);
    cp.ellipse(left, 30, right, H - 30);
    cp.pen(cc::kLightGrey, 3);
    cp.brush(cc::kInnerFill);
    cp.ellipse(cx - rx / 3, cy - ry / 3, cx + rx / 3, cy + ry / 3);

    const double X1 = rx / 3, X2 = 0.75 * rx;
    const std::vector<QPointF> cycleArrow{{X1 - 20, -25}, {X1 - 34, -35}, {X1 - 34, -29},
                                          {22 - X1, -29}, {22 - X1, -21}, {X1 - 34, -21},
                                          {X1 - 34, -15}};
    const std::vector<QPointF> outerArrow{{-X2, -20},    {15 - X2, 0}, {8 - X2, 0},  {8 - X2, 10},
                                          {-8 - X2, 10}, {-8 - X2, 0}, {-15 - X2, 0}};
    cp.pen(cc::kSilver);
    cp.brush(QColor(255, 232, 232));
    for (double a : {0.0, 72.0, 144.0, 216.0, 288.0})
        cp.polygon(rotated(cycleArrow, a, cx, cy));
    cp.brush(cc::kBlue);
    for (double a : {54.0, 126.0, 198.0, 270.0, 342.0})
        cp.polygon(rotated(outerArrow, a, cx, cy));
    cp.noBrush();

    cp.font(0, 0, true);
    cp.textCentred(cx, cy - 15, QStringLiteral("Avg"), cc::kRed);
    cp.textCentred(cx, cy, fixed(r.Average, 3, 1), cc::kRed);
    cp.font();
}

int timeCyclePeriod(double measuredAt) {
    double frac = std::fabs(measuredAt - std::trunc(measuredAt));
    if (!std::isfinite(frac))
        frac = 0;
    long long ms = std::llround(frac * 86400000.0) % 86400000LL;
    const int hour = int(ms / 3600000LL);
    const int p = (hour + 1) / 2 + 1;
    return p == 13 ? 1 : p;
}

bool DrawTimeCycleA(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                    double measuredAt, const QString& dataFolder, QString* error) {
    return drawTimeCycle(painter, area, r, measuredAt, dataFolder, error, false);
}

bool DrawTimeCycleB(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                    double measuredAt, const QString& dataFolder, QString* error) {
    return drawTimeCycle(painter, area, r, measuredAt, dataFolder, error, true);
}

} // namespace viro
