#include "chart_fixtures.h"

#include "analysis/charts/chart_painter.h"
#include "analysis/charts/meridian_charts.h"

#include <gtest/gtest.h>

using namespace viro;
namespace cc = viro::chart_colors;

namespace {

const MeasuringSequence kNatural = buildMeasuringSequence(0, kNaturalOrder);
const MeasuringSequence kPaired = buildMeasuringSequence(1, kNaturalOrder);

// LU: left +20 (tolerable), right -20 (poor), side difference +1.
// PC: left +60 (beyond twice the average), right -49; side difference -2.
// HT: left -60 (below the canvas), right exactly on the average.
AnalysisResult designedResult() {
    AnalysisResult r = flatResult();
    setPoint(r, 1, 20, 1);
    setPoint(r, 7, -20, -2);
    setPoint(r, 2, 60, 3);
    setPoint(r, 8, -49, -3);
    setPoint(r, 3, -60, -3);
    setPoint(r, 9, 0, 0);
    r.SideDiffClass[0] = 1;
    r.SideDiffClass[1] = -2;
    return r;
}

} // namespace

TEST(BarDiagram, BarsSpanTheirSlotsFromTheBaselineWithClampsAndClassFills) {
    const AnalysisResult r = designedResult();
    const auto ops = recordChart([&](QPainter& p) { DrawExcessDeficiencyBar(p, {}, r, kNatural); });
    struct Case {
        const char* what;
        int left, top, right, bottom;
        QColor fill;
    };
    const std::vector<Case> cases{
        {"LU left +20", 50, 166, 88, 277, cc::kTolerable},
        {"LU right -20", 88, 277, 126, 388, cc::kPoor},
        {"PC left cut at 5", 126, 5, 164, 277, cc::kPoor},
        {"PC right inside the canvas", 164, 277, 202, 548, cc::kPoor},
        {"HT left moved to H - 5", 202, 277, 241, 549, cc::kPoor},
        {"HT right zero height", 241, 277, 279, 277, cc::kNormal},
        {"SP left untouched", 508, 277, 546, 277, cc::kNormal},
    };
    for (const Case& c : cases) {
        const auto boxes = boxesAt(ops, c.left);
        ASSERT_FALSE(boxes.empty()) << c.what;
        EXPECT_EQ(boxes.front().rect, outlined(c.left, c.top, c.right, c.bottom)) << c.what;
        EXPECT_EQ(boxes.front().fill(), c.fill) << c.what;
        EXPECT_EQ(boxes.front().penColor(), cc::kBlack) << c.what;
    }
}

TEST(BarDiagram, ArrowsBandsTicksAndLegend) {
    const AnalysisResult r = designedResult();
    const auto ops = recordChart([&](QPainter& p) { DrawExcessDeficiencyBar(p, {}, r, kNatural); });

    // LU (centre 88) points right in the Tolerable colour, PC (centre 164) left in Poor.
    EXPECT_TRUE(hasPolygon(ops, QPolygonF({{101, 30}, {89, 22}, {89, 38}}), cc::kTolerable));
    EXPECT_TRUE(hasPolygon(ops, QPolygonF({{151, 30}, {163, 22}, {163, 38}}), cc::kPoor));
    int triangles = 0;
    for (const DrawOp& op : opsOf(ops, DrawOp::Polygon))
        triangles += op.points.size() == 3;
    EXPECT_EQ(triangles, 2) << "only meridians with a side difference get an arrow";

    // Bands: 71 and 30 red, 61.5 and 39.5 olive, on the relative scale.
    auto red = horizontalLines(ops, cc::kRed, Qt::DotLine);
    auto olive = horizontalLines(ops, cc::kOlive, Qt::DotLine);
    std::sort(red.begin(), red.end());
    std::sort(olive.begin(), olive.end());
    EXPECT_EQ(red, (std::vector<double>{161, 388}));
    EXPECT_EQ(olive, (std::vector<double>{213, 335}));
    struct Label {
        QString text;
        double top;
        QColor color;
    };
    for (const Label& l : std::vector<Label>{{" 71.0", 153, cc::kRed},
                                             {" 30.0", 380, cc::kRed},
                                             {" 61.5", 205, cc::kOlive},
                                             {" 39.5", 327, cc::kOlive},
                                             {" 50.0", 269, cc::kNavy}}) {
        const auto found = textsOf(ops, l.text);
        ASSERT_EQ(found.size(), 1u) << l.text.toStdString();
        EXPECT_EQ(found[0].at.x(), 10) << l.text.toStdString();
        EXPECT_NEAR(textTop(found[0]), l.top, 0.01) << l.text.toStdString();
        EXPECT_EQ(found[0].penColor(), l.color) << l.text.toStdString();
    }

    // Ticks at H/20 steps except the baseline: 17 short black lines from the axis.
    std::vector<double> ticks;
    for (const DrawOp& op : opsOf(ops, DrawOp::Line))
        if (op.line.x1() == 50 && op.line.x2() == 61 && op.penColor() == cc::kBlack)
            ticks.push_back(op.line.y1());
    std::vector<double> expected;
    for (int j = 1; j <= 18; ++j)
        if (j != 10)
            expected.push_back(std::nearbyint(554 / 20.0 * j));
    EXPECT_EQ(ticks, expected);

    // Legend boxes start 2 pixels right of slots 15, 18 and 21 and span y 0 to 20.
    for (auto [left, right, fill] :
         {std::tuple{624, 647, cc::kNormal}, std::tuple{738, 761, cc::kTolerable},
          std::tuple{853, 876, cc::kPoor}}) {
        const auto boxes = boxesAt(ops, left);
        ASSERT_EQ(boxes.size(), 1u) << left;
        EXPECT_EQ(boxes[0].rect, outlined(left, 0, right, 20));
        EXPECT_EQ(boxes[0].fill(), fill);
    }
}

TEST(BarDiagram, PairedOrderMovesColumnsAndKeepsHandFootLabels) {
    AnalysisResult r = flatResult();
    setPoint(r, 6, 20, 1); // LI left: second column in the paired order
    const auto ops = recordChart([&](QPainter& p) { DrawExcessDeficiencyBar(p, {}, r, kPaired); });
    const auto boxes = boxesAt(ops, 126); // slot 3
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].rect, outlined(126, 166, 164, 277));

    const QStringList codes{"LU", "LI", "PC", "TE", "HT", "SI", "SP", "ST", "LR", "GB", "KI", "BL"};
    const std::vector<int> centres{88, 164, 241, 317, 393, 469, 546, 622, 698, 774, 851, 927};
    for (int i = 0; i < 12; ++i) {
        const auto found = textsOf(ops, codes[i]);
        ASSERT_EQ(found.size(), 1u) << codes[i].toStdString();
        const double width = QFontMetricsF(found[0].font).horizontalAdvance(codes[i]);
        EXPECT_NEAR(found[0].at.x() + width / 2, centres[size_t(i)], 1.0) << codes[i].toStdString();
        EXPECT_NEAR(textTop(found[0]), 554 - 46, 0.01);
        EXPECT_EQ(found[0].penColor(), cc::kGreen);
    }
    for (auto [text, centre] : {std::pair{"Hand", 317}, std::pair{"Foot", 774}}) {
        const auto found = textsOf(ops, text);
        ASSERT_EQ(found.size(), 1u) << text;
        const double width = QFontMetricsF(found[0].font).horizontalAdvance(text);
        EXPECT_NEAR(found[0].at.x() + width / 2, centre, 1.0) << text;
    }
}

TEST(SlopeDiagram, LinesJoinSlotCentresInTheColourOfTheRise) {
    AnalysisResult r = flatResult();
    setPoint(r, 1, -10, 0); // LU falls... then rises to the right point
    setPoint(r, 7, 10, 0);
    setPoint(r, 2, 10, 0); // PC falls
    setPoint(r, 8, -10, 0);
    // HT equal on both sides: red
    const auto ops =
        recordChart([&](QPainter& p) { DrawExcessDeficiencySlope(p, {}, r, kNatural); });
    struct Case {
        const char* what;
        QLineF line;
        QColor color;
    };
    // Slot centres: round(38.125 * (s - 1) + 19.0625) + 50.
    const std::vector<Case> cases{
        {"LU rises", QLineF(69, 332, 107, 222), cc::kBlue},
        {"PC falls", QLineF(145, 222, 183, 332), cc::kRed},
        {"HT equal", QLineF(222, 277, 260, 277), cc::kRed},
    };
    for (const Case& c : cases) {
        bool found = false;
        for (const DrawOp& op : opsOf(ops, DrawOp::Line))
            if (op.line == c.line) {
                found = true;
                EXPECT_EQ(op.penColor(), c.color) << c.what;
                EXPECT_EQ(op.pen.widthF(), 2) << c.what;
                EXPECT_EQ(op.pen.style(), Qt::DotLine) << c.what;
            }
        EXPECT_TRUE(found) << c.what;
    }
    // Markers: 2 pixels inside the left edge to 1 inside the right, 5 above and below.
    const auto lu = boxesAt(ops, 52);
    ASSERT_EQ(lu.size(), 1u);
    EXPECT_EQ(lu[0].rect, outlined(52, 327, 87, 337));
    const auto ht = boxesAt(ops, 243);
    ASSERT_EQ(ht.size(), 1u);
    EXPECT_EQ(ht[0].rect, outlined(243, 272, 278, 282)) << "a point on the average sits on y0";
}

TEST(RyodorakuDiagram, MarkersOnTheAbsoluteScaleWithClampAndArrowColours) {
    AnalysisResult r = flatResult();
    setPoint(r, 1, 110, 3);  // 160 > 150: centre at 5
    setPoint(r, 7, -20, -1); // 30
    r.SideDiffClass[0] = 2;
    r.SideDiffClass[1] = -1;
    const auto ops = recordChart([&](QPainter& p) { DrawRyodorakuDiagram(p, {}, r, kNatural); });
    // h = 504: y = 504 - round(3.36 v).
    struct Case {
        const char* what;
        int left, top, right, bottom;
        QColor fill;
    };
    const std::vector<Case> cases{
        {"LU left above 150", 52, 0, 87, 10, cc::kPoor},
        {"LU right at 30", 90, 398, 125, 408, cc::kTolerable},
        {"PC left at 50", 128, 331, 163, 341, cc::kNormal},
    };
    for (const Case& c : cases) {
        const auto boxes = boxesAt(ops, c.left);
        ASSERT_EQ(boxes.size(), 1u) << c.what;
        EXPECT_EQ(boxes[0].rect, outlined(c.left, c.top, c.right, c.bottom)) << c.what;
        EXPECT_EQ(boxes[0].fill(), c.fill) << c.what;
    }
    EXPECT_TRUE(hasPolygon(ops, QPolygonF({{101, 30}, {89, 22}, {89, 38}}), cc::kRed));
    EXPECT_TRUE(hasPolygon(ops, QPolygonF({{151, 30}, {163, 22}, {163, 38}}), cc::kYellow));

    // Average line blue dotted at y = round(504 - 50 * 504 / 150) = 336; value axis labels.
    EXPECT_EQ(horizontalLines(ops, cc::kBlue, Qt::DotLine), std::vector<double>{336});
    const auto seventy = textsOf(ops, " 70");
    ASSERT_EQ(seventy.size(), 1u);
    EXPECT_EQ(seventy[0].at.x(), 12);
    EXPECT_NEAR(textTop(seventy[0]), 504 - 235 - 6, 0.01);
    auto red = horizontalLines(ops, cc::kRed, Qt::DotLine);
    std::sort(red.begin(), red.end());
    EXPECT_EQ(red, (std::vector<double>{265, 403})); // 71 and 30
}
