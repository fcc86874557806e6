#include "analysis/charts/chart_parts.h"

namespace viro::chart_parts {

namespace cc = chart_colors;

int slotPoint(const MeasuringSequence& order, int slot) {
    const int position = (slot + 1) / 2;
    return slot % 2 == 1 ? order.pairLeft[size_t(position - 1)]
                         : order.pairRight[size_t(position - 1)];
}

void sideDiffArrow(ChartPainter& cp, int c, int q, const QColor& fill) {
    if (q == 0)
        return;
    cp.noPen();
    cp.brush(fill);
    if (q > 0) {
        cp.rect(c - 5, 22, c - 1, 40);
        cp.polygon({{double(c + 13), 30}, {double(c + 1), 22}, {double(c + 1), 38}});
    } else {
        cp.rect(c + 1, 22, c + 5, 40);
        cp.polygon({{double(c - 13), 30}, {double(c - 1), 22}, {double(c - 1), 38}});
    }
    cp.noBrush();
}

QColor classArrowColor(int q) {
    return (q == 1 || q == -1) ? cc::kTolerable : cc::kPoor;
}

QColor signalArrowColor(int q) {
    return (q == 1 || q == -1) ? cc::kYellow : cc::kRed;
}

void legend(ChartPainter& cp, const ColumnLayout& cols, int rectOffset, int top, int bottom,
            const std::array<QString, 3>& names) {
    static const std::array<QColor, 3> fills{cc::kNormal, cc::kTolerable, cc::kPoor};
    static constexpr std::array<int, 3> positions{15, 18, 21};
    for (size_t i = 0; i < 3; ++i) {
        const double n = positions[i];
        cp.pen(cc::kBlack);
        cp.brush(fills[i]);
        cp.rect(rnd(cols.w / 24 * n) + rectOffset, top, rnd(cols.w / 24 * n + 25) + 50, bottom);
        cp.noBrush();
        cp.text(rnd(cols.w / 24 * n + 32) + 50, 4, names[i], cc::kBlue);
    }
}

std::array<BandLine, 4> bandLines(const AnalysisResult& r) {
    return {{{r.Average + r.ExcessTolerable, cc::kRed},
             {r.Average - r.DeficiencyTolerable, cc::kRed},
             {r.Average + r.ExcessNormal, cc::kOlive},
             {r.Average - r.DeficiencyNormal, cc::kOlive}}};
}

void relativeBands(ChartPainter& cp, const ColumnLayout& cols, const RelativeScale& scale,
                   const AnalysisResult& r) {
    const std::array<BandLine, 4> bands = bandLines(r);
    for (const BandLine& b : bands) {
        const int y = rnd(scale.at(b.value - r.Average));
        cp.pen(b.color, 1, Qt::DotLine);
        cp.line(50, y, 50 + cols.w, y);
    }
    for (const BandLine& b : bands) {
        const int y = rnd(scale.at(b.value - r.Average));
        cp.text(10, y - 8, fixed(b.value, 5, 1), b.color);
    }
}

void relativeTicks(ChartPainter& cp, const ColumnLayout& cols, int height) {
    cp.pen(cc::kBlack);
    for (int j = 1; j <= 18; ++j) {
        if (j == 10)
            continue;
        const int y = rnd(height / 20.0 * j);
        cp.line(50, y, 50 + cols.tickLength(), y);
    }
}

void handFootLabels(ChartPainter& cp, const ColumnLayout& cols, int y) {
    const QString lr = QStringLiteral("L    R");
    cp.textCentred(cols.centre(1), y, lr, cc::kRed);
    cp.textCentred(cols.centre(7), y, lr, cc::kRed);
    cp.textCentred(cols.centre(4), y, QStringLiteral("Hand"), cc::kBlue);
    cp.textCentred(cols.centre(10), y, QStringLiteral("Foot"), cc::kBlue);
}

void centredBackground(ChartPainter& cp, const ColumnLayout& cols, const QImage& image) {
    cp.image(rnd(cols.w / 2 - image.width() / 2.0) + 50, 50, image);
}

void drawColumnBars(ChartPainter& cp, const ChartArea& area, const AnalysisResult& r,
                    const QImage& background, const ColumnBars& bars) {
    const int H = area.height;
    const ColumnLayout cols(area.width);
    const RelativeScale scale(H, r.Average);
    const bool perSlot = bars.deviations.size() == size_t(kPointCount);

    centredBackground(cp, cols, background);
    cp.pen(cc::kBlack, 3);
    cp.line(50, 0, 50, H);
    cp.line(50, scale.y0, 50 + cols.w, scale.y0);
    cp.text(10, scale.y0 - 8, fixed(r.Average, 5, 1), cc::kNavy);
    cp.pen(cc::kBlack, 2);
    cp.line(cols.divider(), H, cols.divider(), bars.dividerTop);
    cp.pen(cc::kNavy, 1, Qt::DotLine);
    for (int i = 1; i <= kMeridianCount; ++i) {
        if (i == 6)
            continue;
        const int x = cols.columnRight(i);
        cp.line(x, H / 6, x, i % 2 == 1 ? H - 20 : H);
    }
    if (perSlot) {
        cp.pen(cc::kGrey, 1, Qt::DotLine);
        for (int i = 1; i <= kMeridianCount; ++i)
            cp.line(cols.slotBorder(i), scale.y0, cols.slotBorder(i), H - rnd(H / 10.0));
    }
    for (size_t n = 0; n < bars.deviations.size(); ++n) {
        const int i = int(n) + 1;
        cp.pen(cc::kBlack, 1);
        cp.brush(classColor(bars.classes[n]));
        const int left = perSlot ? cols.slotLeft(i) : cols.columnLeft(i);
        const int right = perSlot ? cols.slotRight(i) : cols.columnRight(i);
        cp.rect(left, scale.y0, right, scale.barEnd(bars.deviations[n]));
    }
    cp.noBrush();
    for (int i = 1; i <= kMeridianCount; ++i)
        sideDiffArrow(cp, cols.centre(i), bars.arrows[size_t(i - 1)],
                      signalArrowColor(bars.arrows[size_t(i - 1)]));
    relativeBands(cp, cols, scale, r);
    relativeTicks(cp, cols, H);
    legend(cp, cols, 52, 0, 20,
           {QStringLiteral("Normal"), QStringLiteral("Tolerable"), QStringLiteral("Poor")});
    if (bars.labels)
        bars.labels(cp, cols);
}

QString fixed(double value, int width, int decimals) {
    return QString::asprintf("%*.*f", width, decimals, value);
}

} // namespace viro::chart_parts
