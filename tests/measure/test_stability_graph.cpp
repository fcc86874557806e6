#include "measure/stability_graph.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

using namespace viro;

namespace {

// A box of 640 x 270: plot 608 x 255 from x = 32, so xscale = 608 / T and yscale = 0.425.
const QSize kBox(640, 270);

CurveSample ramp(int elapsedMs, double progress) {
    return {elapsedMs, progress, 0, true};
}
CurveSample deviation(double progress, double microamps) {
    return {0, progress, microamps, false};
}

QImage background(const StabilityGraphView& view) {
    QImage image(view.size, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter p(&image);
    drawStabilityBackground(p, view);
    return image;
}

// Counts the pixels of a rectangle (inclusive) that pass `test`.
int countPixels(const QImage& image, const QRect& r, const std::function<bool(QRgb)>& test) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (test(image.pixel(x, y)))
                ++n;
    return n;
}

auto is(const QColor& c) {
    return [rgb = c.rgb()](QRgb px) { return (px | 0xff000000u) == rgb; };
}
bool notBlack(QRgb px) {
    return qRed(px) + qGreen(px) + qBlue(px) > 60;
}

} // namespace

TEST(StabilityGraph, PlotAreaAndScalesLeaveTheLabelStrips) {
    EXPECT_EQ(StabilityGraph::plotArea(kBox), QRect(32, 0, 608, 255));
    EXPECT_DOUBLE_EQ(StabilityGraph::xScale(kBox, 2500), 608.0 / 2500);
    EXPECT_DOUBLE_EQ(StabilityGraph::xScale(kBox, 10000), 608.0 / 10000);
    EXPECT_DOUBLE_EQ(StabilityGraph::yScale(kBox), 0.425);
    EXPECT_EQ(StabilityGraph::rampStart(kBox), QPoint(32, 255));
}

TEST(StabilityGraph, CurvePointsFollowProgressRampAndDeviationWithinThePlot) {
    // A box where xscale = 0.5 (T = 2000) and yscale = 1 shows the half-to-even rounding.
    const QSize exact(1032, 615);
    struct Case {
        const char* what;
        QSize box;
        int totalMs;
        CurveSample sample;
        QPoint expected;
    };
    const std::vector<Case> cases{
        {"ramp start: 50 ms ahead, at the bottom", kBox, 2500, ramp(0, 0), {44, 255}},
        {"ramp half way up", kBox, 2500, ramp(150, 6), {81, 191}},
        {"ramp end at the centre", kBox, 2500, ramp(300, 12), {117, 128}},
        {"no deviation: centre line, 127.5 to even", kBox, 2500, deviation(50, 0), {348, 128}},
        {"+10 uA: a third of the half-height up", kBox, 2500, deviation(50, 10), {348, 85}},
        {"-30 uA: the bottom of the plot", kBox, 2500, deviation(50, -30), {348, 255}},
        {"+40 uA: held at the top", kBox, 2500, deviation(60, 40), {409, 0}},
        {"-40 uA: held at the bottom of the plot", kBox, 2500, deviation(60, -40), {409, 255}},
        {"complete: past the right edge by the 50 ms lead",
         kBox,
         2500,
         deviation(100, 0),
         {652, 128}},
        {"longer T compresses x", kBox, 10000, deviation(50, 0), {339, 128}},
        {"x 25.5 rounds up to even", exact, 2000, deviation(0.05, 0), {58, 300}},
        {"x 26.5 rounds down to even", exact, 2000, deviation(0.15, 0), {58, 300}},
        {"y 299.5 rounds up to even", exact, 2000, deviation(50, 0.05), {557, 300}},
        {"y 298.5 rounds down to even", exact, 2000, deviation(50, 0.15), {557, 298}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StabilityGraph::curvePoint(c.box, c.totalMs, c.sample), c.expected) << c.what;
}

TEST(StabilityGraph, GridLinesSplitThePlotEvenly) {
    EXPECT_EQ(StabilityGraph::verticalLineX(kBox, 1), 57);  // 25.33
    EXPECT_EQ(StabilityGraph::verticalLineX(kBox, 5), 159); // 126.67
    EXPECT_EQ(StabilityGraph::verticalLineX(kBox, 12), 336);
    EXPECT_EQ(StabilityGraph::verticalLineX(kBox, 24), 640);
    EXPECT_EQ(StabilityGraph::centreX(kBox), 336);
    EXPECT_EQ(StabilityGraph::horizontalLineY(kBox, 1), 51);
    EXPECT_EQ(StabilityGraph::horizontalLineY(kBox, 4), 204);
    EXPECT_EQ(StabilityGraph::centreY(kBox), 128); // 127.5 to even
    for (int step = 1; step < StabilityGraph::kVerticalSteps; ++step)
        EXPECT_EQ(StabilityGraph::verticalLineColour(step),
                  step == 5 || step == 20 ? QColor(128, 128, 0) : QColor(26, 204, 0))
            << "step " << step;
}

TEST(StabilityGraph, TimeAxisLabelsStepByTheTotalTime) {
    struct Case {
        int totalMs;
        int stepMs;
        int count;
        const char* first;
        const char* last;
    };
    const std::vector<Case> cases{
        {2500, 500, 5, "0.5", "2.5"},     // the default point
        {5900, 500, 11, "0.5", "5.5"},    // still half seconds
        {6000, 1000, 6, "1.0", "6.0"},    // whole seconds above 5.9 s
        {10900, 1000, 10, "1.0", "10.0"}, // up to 10.9 s
        {11000, 2000, 5, "2.0", "10.0"},  // two seconds above
        {600, 500, 1, "0.5", "0.5"},
    };
    for (const Case& c : cases) {
        const std::vector<TimeAxisLabel> labels = StabilityGraph::timeAxisLabels(c.totalMs);
        ASSERT_EQ(int(labels.size()), c.count) << "T " << c.totalMs;
        for (int i = 0; i < c.count; ++i)
            EXPECT_EQ(labels[size_t(i)].ms, (i + 1) * c.stepMs) << "T " << c.totalMs;
        EXPECT_EQ(labels.front().text, c.first) << "T " << c.totalMs;
        EXPECT_EQ(labels.back().text, c.last) << "T " << c.totalMs;
    }
    EXPECT_EQ(StabilityGraph::timeAxisX(kBox, 2500, 1250), 336);
    EXPECT_EQ(StabilityGraph::totalTimeText(2500), "  2.5");
    EXPECT_EQ(StabilityGraph::totalTimeText(11000), " 11.0");
}

TEST(StabilityGraph, BackgroundColoursGridFrameAndCentreLines) {
    const QImage image = background({kBox, 2500, false});
    const QRect plot = StabilityGraph::plotArea(kBox);
    // Everything is painted: nothing of the fill colour is left.
    EXPECT_EQ(countPixels(image, image.rect(), is(Qt::magenta)), 0);
    EXPECT_EQ(QColor(image.pixel(45, 20)), QColor(0, 0, 0)) << "plot background";

    // The frame: three pixels on each side, inside the plot.
    for (const QPoint& pt : {QPoint(32, 100), QPoint(34, 100), QPoint(639, 100), QPoint(637, 100),
                             QPoint(200, 0), QPoint(200, 2), QPoint(200, 254), QPoint(200, 252)})
        EXPECT_EQ(QColor(image.pixel(pt)), QColor(194, 206, 255)) << pt.x() << "," << pt.y();
    EXPECT_NE(QColor(image.pixel(35, 100)), QColor(194, 206, 255));

    // Steps 5 and 20 in olive, the others in green; dotted, so some pixels of each are gaps.
    const auto column = [&](int step) {
        const int x = StabilityGraph::verticalLineX(kBox, step);
        return QRect(x, plot.top() + 3, 1, plot.height() - 6);
    };
    const int rows = plot.height() - 6;
    for (int step : {5, 20}) {
        const int olive = countPixels(image, column(step), is(QColor(128, 128, 0)));
        EXPECT_GT(olive, rows / 4) << "step " << step;
        EXPECT_LT(olive, rows) << "step " << step << " is dotted";
    }
    for (int step : {1, 4, 6, 19, 23})
        EXPECT_EQ(countPixels(image, column(step), is(QColor(128, 128, 0))), 0) << "step " << step;
    EXPECT_GT(countPixels(image, column(4), is(QColor(26, 204, 0))), rows / 4);

    // The centre lines are solid; the other horizontal lines dotted.
    const int inner = plot.width() - 6;
    const int cy = StabilityGraph::centreY(kBox);
    EXPECT_EQ(countPixels(image, QRect(35, cy, inner, 1), is(QColor(26, 204, 0))), inner);
    const int cx = StabilityGraph::centreX(kBox);
    EXPECT_EQ(countPixels(image, QRect(cx, 3, 1, rows), is(QColor(26, 204, 0))), rows);
    const int dotted =
        countPixels(image, QRect(35, StabilityGraph::horizontalLineY(kBox, 1), inner, 1),
                    is(QColor(26, 204, 0)));
    EXPECT_GT(dotted, inner / 4);
    EXPECT_LT(dotted, inner);

    // Ticks cross the centre lines: two pixels above the horizontal one, beside the vertical.
    EXPECT_GT(countPixels(image, QRect(35, cy - 2, inner, 1), is(QColor(26, 204, 0))), 100);
    EXPECT_GT(countPixels(image, QRect(cx - 2, 3, 1, rows), is(QColor(26, 204, 0))), 20);
}

TEST(StabilityGraph, LabelsAndTheTimeAxisOfARun) {
    const QImage idle = background({kBox, 2500, false});
    const QImage running = background({kBox, 2500, true});
    // The value labels left of the plot, with " 0 uA" at the centre, and "0 Sec" under the
    // origin, in both.
    for (const QImage* image : {&idle, &running}) {
        EXPECT_GT(countPixels(*image, QRect(0, 120, 31, 16), notBlack), 10);
        EXPECT_GT(countPixels(*image, QRect(0, 0, 31, 10), notBlack), 5) << "+30 at the top";
        EXPECT_GT(countPixels(*image, QRect(20, 256, 30, 14), notBlack), 5);
    }
    // Only a run prints the total time at the right end and the seconds along the axis.
    const QRect total(600, 256, 40, 14);
    EXPECT_EQ(countPixels(idle, total, notBlack), 0);
    EXPECT_GT(countPixels(running, total, notBlack), 5);
    const int x1 = StabilityGraph::timeAxisX(kBox, 2500, 1000);
    const QRect oneSecond(x1 - 10, 256, 20, 14);
    EXPECT_EQ(countPixels(idle, oneSecond, notBlack), 0);
    EXPECT_GT(countPixels(running, oneSecond, notBlack), 5);
}

TEST(StabilityGraph, CurveRunsFromTheRampThroughTheDeviationsInsideThePlot) {
    const StabilityGraphView view{kBox, 2500, true};
    const QImage before = background(view);
    const auto drawn = [&](const std::vector<CurveSample>& curve) {
        QImage image = before;
        QPainter p(&image);
        drawStabilityCurve(p, view, curve);
        return image;
    };
    const QColor curveColour(255, 81, 0);
    const auto near = [&](const QImage& image, QPoint pt) {
        return countPixels(image, QRect(pt - QPoint(3, 3), QSize(7, 7)).intersected(image.rect()),
                           is(curveColour));
    };

    EXPECT_EQ(drawn({}), before) << "no curve, nothing drawn";

    std::vector<CurveSample> curve{ramp(0, 0), ramp(100, 4), ramp(200, 8), ramp(290, 12)};
    for (int i = 13; i <= 60; ++i)
        curve.push_back(deviation(i, i % 2 ? 20 : -20));
    const QImage image = drawn(curve);
    EXPECT_GT(countPixels(image, image.rect(), is(curveColour)), 100);
    // The ramp leaves the bottom-left corner and reaches its newest point.
    EXPECT_GT(near(image, {36, 250}), 0);
    EXPECT_GT(near(image, StabilityGraph::curvePoint(kBox, 2500, curve[3])), 0);
    // Nothing right of the newest sample.
    const int lastX = StabilityGraph::curvePoint(kBox, 2500, curve.back()).x();
    EXPECT_EQ(countPixels(image, QRect(lastX + 3, 0, 640 - lastX - 3, 255), is(curveColour)), 0);

    // Deviations beyond ±30 µA stay inside the plot: the axis strip below is never drawn on.
    const QImage clipped = drawn(
        {ramp(0, 0), deviation(20, -45), deviation(30, 45), deviation(40, -45), deviation(50, 45)});
    EXPECT_GT(countPixels(clipped, QRect(32, 250, 608, 5), is(curveColour)), 0);
    EXPECT_GT(countPixels(clipped, QRect(32, 0, 608, 3), is(curveColour)), 0);
    EXPECT_EQ(countPixels(clipped, QRect(0, 255, 640, 15), is(curveColour)), 0);
}

// The window adds the curve a piece at a time; what it shows must be the curve drawn whole,
// whatever the pieces, or a frame would show a broken or doubled line.
TEST(StabilityGraph, CurveDrawnInPiecesMatchesTheCurveDrawnWhole) {
    const StabilityGraphView view{kBox, 2500, true};
    std::vector<CurveSample> curve;
    for (int e = 0; e < 300; e += 7)
        curve.push_back(ramp(e, e / 25.0));
    for (int i = 0; i < 900; ++i)
        curve.push_back(deviation(12 + i * 0.097, 12 * std::sin(i / 40.0)));
    QImage whole = background(view);
    {
        QPainter p(&whole);
        drawStabilityCurve(p, view, curve);
    }
    const QColor curveColour(255, 81, 0);
    const int wholePixels = countPixels(whole, whole.rect(), is(curveColour));
    ASSERT_GT(wholePixels, 500);
    int rampEnd = 0;
    for (const CurveSample& s : curve)
        if (s.ramp)
            rampEnd = StabilityGraph::curvePoint(kBox, 2500, s).x();

    struct Case {
        const char* name;
        size_t piece;
    };
    for (const Case& c : {Case{"a frame of 5 readings", 5}, Case{"a frame of 40 readings", 40},
                          Case{"pieces across the end of the ramp", 29}}) {
        SCOPED_TRACE(c.name);
        QImage pieces = background(view);
        StabilityCurveTracer tracer;
        std::vector<CurveSample> sofar;
        for (size_t i = 0; i < curve.size(); i += c.piece) {
            sofar.insert(sofar.end(), curve.begin() + long(i),
                         curve.begin() + long(std::min(curve.size(), i + c.piece)));
            QPainter p(&pieces);
            tracer.extend(p, view, sofar);
        }
        EXPECT_EQ(tracer.drawn(), curve.size());
        // Past the start ramp (drawn again longer at every frame, as a live ramp is) the same
        // line: as many curve pixels within a tenth, and each one of either drawing within two
        // pixels of one of the other (a dot may sit a pixel off where pieces meet).
        const QRect deviations(rampEnd + 3, 0, kBox.width() - rampEnd - 3, kBox.height());
        const int wholeDeviations = countPixels(whole, deviations, is(curveColour));
        EXPECT_NEAR(countPixels(pieces, deviations, is(curveColour)), wholeDeviations,
                    wholeDeviations / 10);
        const auto strays = [&](const QImage& a, const QImage& b) {
            int n = 0;
            for (int y = 0; y < a.height(); ++y)
                for (int x = deviations.left(); x < a.width(); ++x)
                    if (is(curveColour)(a.pixel(x, y)) &&
                        countPixels(b, QRect(x - 2, y - 2, 5, 5).intersected(b.rect()),
                                    is(curveColour)) == 0)
                        ++n;
            return n;
        };
        EXPECT_EQ(strays(pieces, whole), 0);
        EXPECT_EQ(strays(whole, pieces), 0);
        // Drawing again with nothing new changes nothing.
        const QImage settled = pieces;
        QPainter p(&pieces);
        tracer.extend(p, view, sofar);
        p.end();
        EXPECT_EQ(pieces, settled);
    }
}
