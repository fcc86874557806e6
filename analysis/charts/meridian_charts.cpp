#include "analysis/charts/meridian_charts.h"

#include "analysis/charts/chart_painter.h"
#include "analysis/charts/chart_parts.h"

namespace viro {

namespace cc = chart_colors;
using namespace chart_parts;

namespace {

const std::array<QString, 3> kClassNames{QStringLiteral("Normal"), QStringLiteral("Tolerable"),
                                         QStringLiteral("Poor")};

void columnLabels(ChartPainter& cp, const ColumnLayout& cols, const MeasuringSequence& order,
                  int codeY, int elementY, int handFootY) {
    for (int i = 1; i <= kMeridianCount; ++i) {
        const MeridianInfo& m = meridian(order.order[size_t(i - 1)]);
        cp.textCentred(cols.centre(i), codeY, m.code, cc::kGreen);
        cp.textCentred(cols.centre(i), elementY, m.element, cc::kBlue);
    }
    handFootLabels(cp, cols, handFootY);
}

void sideDiffArrows(ChartPainter& cp, const ColumnLayout& cols, const AnalysisResult& r,
                    const MeasuringSequence& order, QColor (*fill)(int)) {
    for (int i = 1; i <= kMeridianCount; ++i) {
        const int q = r.SideDiffClass[size_t(order.order[size_t(i - 1)] - 1)];
        sideDiffArrow(cp, cols.centre(i), q, fill(q));
    }
}

QColor ryodorakuArrowColor(int q) {
    return (q == 1 || q == -1) ? cc::kYellow : cc::kRed;
}

// Steps shared by the bar and slope diagrams before their data: axes, average, divider and
// column lines.
struct FrameLines {
    int dividerTop;
    int separatorTop;
    int slotBorderTop;
};

void excessDeficiencyFrame(ChartPainter& cp, const ChartArea& area, const ColumnLayout& cols,
                           const RelativeScale& scale, const AnalysisResult& r,
                           const FrameLines& lines) {
    const int H = area.height;
    cp.pen(cc::kBlack, 3);
    cp.line(50, 0, 50, H);
    cp.line(50, scale.y0, 50 + cols.w, scale.y0);
    cp.text(10, scale.y0 - 8, fixed(r.Average, 5, 1), cc::kNavy);
    cp.pen(cc::kBlack, 2);
    cp.line(cols.divider(), H, cols.divider(), lines.dividerTop);
    for (int i = 1; i <= kMeridianCount; ++i) {
        if (i != 6) {
            cp.pen(cc::kNavy, 1, Qt::DotLine);
            cp.line(cols.columnRight(i), lines.separatorTop, cols.columnRight(i), H);
        }
        cp.pen(cc::kGrey, 1, Qt::DotLine);
        cp.line(cols.slotBorder(i), lines.slotBorderTop, cols.slotBorder(i), H - rnd(H / 10.0));
    }
}

void excessDeficiencyFinish(ChartPainter& cp, const ChartArea& area, const ColumnLayout& cols,
                            const RelativeScale& scale, const AnalysisResult& r,
                            const MeasuringSequence& order) {
    const int H = area.height;
    sideDiffArrows(cp, cols, r, order, classArrowColor);
    relativeBands(cp, cols, scale, r);
    relativeTicks(cp, cols, H);
    columnLabels(cp, cols, order, H - 46, H - 30, H - 15);
    legend(cp, cols, 52, 0, 20, kClassNames);
}

} // namespace

void DrawExcessDeficiencyBar(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                             const MeasuringSequence& order) {
    ChartPainter cp(painter, area.style);
    const int H = area.height;
    const ColumnLayout cols(area.width);
    const RelativeScale scale(H, r.Average);
    excessDeficiencyFrame(cp, area, cols, scale, r, {H / 8, H / 6, scale.y0});
    for (int s = 1; s <= kPointCount; ++s) {
        const int k = slotPoint(order, s);
        cp.pen(cc::kBlack, 1);
        cp.brush(classColor(r.PointClass[size_t(k - 1)]));
        cp.rect(cols.slotLeft(s), scale.y0, cols.slotRight(s),
                scale.barEnd(r.Deviation[size_t(k - 1)]));
    }
    cp.noBrush();
    excessDeficiencyFinish(cp, area, cols, scale, r, order);
}

void DrawExcessDeficiencySlope(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                               const MeasuringSequence& order) {
    ChartPainter cp(painter, area.style);
    const int H = area.height;
    const ColumnLayout cols(area.width);
    const RelativeScale scale(H, r.Average);
    excessDeficiencyFrame(cp, area, cols, scale, r, {H / 14, H / 12, H / 10});
    for (int s = 2; s <= kPointCount; s += 2) {
        const int left = slotPoint(order, s - 1);
        const int right = slotPoint(order, s);
        const double dl = r.Deviation[size_t(left - 1)];
        const double dr = r.Deviation[size_t(right - 1)];
        const int yl = scale.barEnd(dl);
        const int yr = scale.barEnd(dr);
        cp.pen(dr > dl ? cc::kBlue : cc::kRed, 2, Qt::DotLine);
        cp.line(rnd(cols.w / 24 * (s - 2) + cols.w / 48) + 50, yl,
                rnd(cols.w / 24 * (s - 1) + cols.w / 48) + 50, yr);
        const std::array<std::pair<int, int>, 2> marks{{{s - 1, left}, {s, right}}};
        for (const auto& [slot, k] : marks) {
            const int y = slot == s - 1 ? yl : yr;
            cp.pen(cc::kBlack, 1);
            cp.brush(classColor(r.PointClass[size_t(k - 1)]));
            cp.rect(cols.slotLeft(slot) + 2, y - 5, cols.slotRight(slot) - 1, y + 5);
        }
    }
    cp.noBrush();
    excessDeficiencyFinish(cp, area, cols, scale, r, order);
}

void DrawRyodorakuDiagram(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                          const MeasuringSequence& order) {
    ChartPainter cp(painter, area.style);
    const int H = area.height;
    const int h = H - 50;
    const ColumnLayout cols(area.width);
    const auto yOf = [h](double v) { return h - v * h / 150.0; };

    cp.pen(cc::kBlack, 3);
    cp.line(50, 0, 50, H);

    const int avgY = rnd(yOf(r.Average));
    cp.pen(cc::kBlue, 2, Qt::DotLine);
    cp.line(50, avgY, 50 + cols.w, avgY);
    for (int s = 1; s <= kPointCount; ++s) {
        const int x = cols.slotRight(s);
        if (s % 2 == 1) {
            cp.pen(cc::kGrey, 1, Qt::DotLine);
            cp.line(x, h / 12, x, h);
        } else if (s == 12) {
            cp.pen(cc::kGrey, 2);
            cp.line(x, h / 16, x, H);
        } else {
            cp.pen(cc::kBlue, 1, Qt::DotLine);
            cp.line(x, h / 16, x, H);
        }
    }

    for (int j = 0; j <= 15; ++j) {
        const int y = h - rnd(h / 15.0 * j);
        cp.pen(cc::kBlack);
        cp.line(50, y, 50 + cols.tickLength(), y);
        cp.text(12, y - 6, QString::asprintf("%3d", 10 * j), cc::kNavy);
    }
    // The average goes over the scale labels it may share a line with.
    cp.font(0, 0, true);
    cp.textOnWhite(8, avgY - 6, fixed(r.Average, 3, 1), cc::kRed);
    cp.font();

    columnLabels(cp, cols, order, h + 4, h + 20, h + 35);
    legend(cp, cols, 57, 7, 15, kClassNames);

    const std::array<BandLine, 4> bands = bandLines(r);
    for (const BandLine& b : bands) {
        const int y = rnd(yOf(b.value));
        cp.pen(b.color, 1, Qt::DotLine);
        cp.line(50, y, 50 + cols.w, y);
    }

    for (int s = 1; s <= kPointCount; ++s) {
        const int k = slotPoint(order, s);
        int y = h - rnd(h / 150.0 * r.Corrected[size_t(k - 1)]);
        if (y < 5)
            y = 5;
        const double left = cols.w / 24 * (s - 1);
        cp.pen(cc::kBlack);
        cp.brush(classColor(r.PointClass[size_t(k - 1)]));
        cp.rect(rnd(left + 2) + 50, y - 5, rnd(left + cols.w / 24 - 1) + 50, y + 5);
    }
    cp.noBrush();
    sideDiffArrows(cp, cols, r, order, ryodorakuArrowColor);
}

} // namespace viro
