#pragma once

#include "analysis/analysis_result.h"
#include "analysis/charts/chart_painter.h"
#include "analysis/meridian_model.h"

#include <QImage>
#include <QString>

#include <array>
#include <functional>
#include <vector>

// Pieces shared by the charts of this library; not part of its interface.
namespace viro::chart_parts {

// The point shown in slot 1..24: the left point of display position ceil(s/2) for odd s, the
// right point for even s.
int slotPoint(const MeasuringSequence& order, int slot);

// Arrow at the top of a column for a side difference: pointing right when the left side is
// higher (q > 0), left when lower; nothing for q = 0.
void sideDiffArrow(ChartPainter& cp, int centre, int q, const QColor& fill);
// Tolerable / Poor fill for the arrows of the meridian diagrams.
QColor classArrowColor(int q);
// Yellow / red fill for the arrows of the other diagrams.
QColor signalArrowColor(int q);

// The Normal / Tolerable / Poor legend. Rectangles start `rectOffset` pixels right of the
// slot position (52 or 57) and span rows top..bottom.
void legend(ChartPainter& cp, const ColumnLayout& cols, int rectOffset, int top, int bottom,
            const std::array<QString, 3>& names);

// The four band values around the average (excess and deficiency, tolerable and normal) with
// their line colours, in drawing order.
struct BandLine {
    double value;
    QColor color;
};
std::array<BandLine, 4> bandLines(const AnalysisResult& r);

// Band lines (dotted, across the plot) and their labels at the left, on the relative scale.
void relativeBands(ChartPainter& cp, const ColumnLayout& cols, const RelativeScale& scale,
                   const AnalysisResult& r);
// Ticks on the vertical axis at H/20 steps except the baseline.
void relativeTicks(ChartPainter& cp, const ColumnLayout& cols, int height);

// "L    R" under columns 1 and 7, "Hand" under column 4 and "Foot" under column 10.
void handFootLabels(ChartPainter& cp, const ColumnLayout& cols, int y);

// A background picture centred over the plot with its top at y = 50.
void centredBackground(ChartPainter& cp, const ColumnLayout& cols, const QImage& image);

// The excess/deficiency charts of the balance and time-cycle families: 12 column bars or 24
// slot bars from the average on the relative scale, arrows on the 12 columns.
struct ColumnBars {
    std::vector<double> deviations; // 12 or 24
    std::vector<int> classes;
    std::array<int, 12> arrows{};
    int dividerTop = 0;
    std::function<void(ChartPainter&, const ColumnLayout&)> labels;
};
void drawColumnBars(ChartPainter& cp, const ChartArea& area, const AnalysisResult& r,
                    const QImage& background, const ColumnBars& bars);

// Value label formats.
QString fixed(double value, int width, int decimals);

} // namespace viro::chart_parts
