#include "chart_fixtures.h"

#include "analysis/charts/balance_charts.h"
#include "analysis/charts/chart_background.h"
#include "analysis/charts/chart_painter.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace viro;
namespace cc = viro::chart_colors;

namespace {

void setMeridian(AnalysisResult& r, int m, double deviation) {
    setPoint(r, leftPointOf(m), deviation, 0);
    setPoint(r, rightPointOf(m), deviation, 0);
}

int warningTriangles(const std::vector<DrawOp>& ops) {
    int n = 0;
    for (const DrawOp& op : opsOf(ops, DrawOp::Polygon))
        n += op.points.size() == 3 && op.points[1].y() == 3;
    return n;
}

// A data folder with small pictures of our own under Data/.
struct PictureFolder {
    QTemporaryDir dir;
    QString path() const { return dir.path() + "/"; }
    void add(const QString& name, int width = 40, int height = 20) {
        QDir(dir.path()).mkpath("Data");
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::white);
        image.setPixel(width / 2, height / 2, qRgb(200, 220, 255));
        ASSERT_TRUE(image.save(dir.path() + "/Data/" + name, "BMP"));
    }
};

} // namespace

TEST(YinYangBalanceA, WarningMarkersAtTheDifferenceBands) {
    AnalysisResult r = flatResult();
    setMeridian(r, 8, 11); // Wood: LR +11 against GB -11, exactly 22u: yellow
    setMeridian(r, 11, -11);
    setMeridian(r, 3, 5); // Mo.Fire: HT equal to SI: none
    setMeridian(r, 4, 5);
    setMeridian(r, 2, 30); // Mi.Fire: PC +30 against TE -11, 41u: red
    setMeridian(r, 5, -11);
    setMeridian(r, 7, 10); // Earth: 21.9 apart: none
    setMeridian(r, 12, -11.9);
    const auto ops = recordChart([&](QPainter& p) { DrawYinYangBalanceA(p, {}, r); });

    // Column centres 50 + round(152.5 i) - round(76.25): 126, 279, 432, 584, 736, 889.
    EXPECT_TRUE(hasPolygon(ops, QPolygonF({{134, 17}, {126, 3}, {118, 17}}), cc::kWarnYellow));
    EXPECT_TRUE(hasPolygon(ops, QPolygonF({{440, 17}, {432, 3}, {424, 17}}), cc::kRed));
    EXPECT_EQ(warningTriangles(ops), 2);

    // Squares: Yin-Zang in Poor at round(277 - 5.54 d), Yang-Fu in Normal.
    struct Case {
        const char* what;
        int centre, y;
        QColor fill;
    };
    for (const Case& c : std::vector<Case>{{"LR", 126, 216, cc::kPoor},
                                           {"GB", 126, 338, cc::kNormal},
                                           {"PC", 432, 111, cc::kPoor},
                                           {"TE", 432, 338, cc::kNormal},
                                           {"LU", 736, 277, cc::kPoor}}) {
        bool found = false;
        for (const DrawOp& op : boxesAt(ops, c.centre - 6))
            if (op.rect == outlined(c.centre - 6, c.y - 6, c.centre + 6, c.y + 6) &&
                op.fill() == c.fill)
                found = true;
        EXPECT_TRUE(found) << c.what;
    }
    // The Yin-Zang series is joined by a black dotted line, the Yang-Fu one by a blue line.
    bool dotted = false, blue = false;
    for (const DrawOp& op : opsOf(ops, DrawOp::Line)) {
        dotted |= op.line == QLineF(126, 216, 279, 249) && op.penColor() == cc::kBlack &&
                  op.pen.style() == Qt::DotLine;
        blue |= op.line == QLineF(126, 338, 279, 249) && op.penColor() == cc::kBlue &&
                op.pen.style() == Qt::SolidLine;
    }
    EXPECT_TRUE(dotted);
    EXPECT_TRUE(blue);
    ASSERT_EQ(textsOf(ops, "LR-(LR)").size(), 1u);
    ASSERT_EQ(textsOf(ops, "- Mi.Fire -").size(), 1u);
    // Balance scale labels: the sign, then the number right-aligned in four.
    ASSERT_EQ(textsOf(ops, "+  40").size(), 1u);
    ASSERT_EQ(textsOf(ops, "-  40").size(), 1u);
    EXPECT_EQ(textsOf(ops, "+  40")[0].at.x(), 5);
}

TEST(BalanceCharts, BackgroundPictureIsDrawnFirstOrStopsTheChart) {
    const AnalysisResult r = flatResult();
    using Draw =
        bool (*)(QPainter&, const ChartArea&, const AnalysisResult&, const QString&, QString*);
    struct Case {
        const char* chart;
        Draw draw;
        const char* picture;
    };
    const std::vector<Case> cases{
        {"Yin-Yang balance B", DrawYinYangBalanceB, "zebkmc.msi"},
        {"Yin-Yang E/D A", DrawYinYangExcessDeficiencyA, "zebkmc.msi"},
        {"Yin-Yang E/D B", DrawYinYangExcessDeficiencyB, "zebkmc.msi"},
        {"Qi-Blood balance B", DrawQiBloodBalanceB, "zebkmb.msi"},
        {"Qi-Blood E/D A", DrawQiBloodExcessDeficiencyA, "zebkmb.msi"},
        {"Qi-Blood E/D B", DrawQiBloodExcessDeficiencyB, "zebkmb.msi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chart);
        PictureFolder empty;
        QString error;
        bool ok = true;
        auto ops = recordChart([&](QPainter& p) { ok = c.draw(p, {}, r, empty.path(), &error); });
        EXPECT_FALSE(ok);
        EXPECT_TRUE(ops.empty()) << "nothing is drawn without the picture";
        EXPECT_TRUE(error.contains(c.picture)) << error.toStdString();

        PictureFolder folder;
        folder.add(c.picture);
        error.clear();
        ops = recordChart([&](QPainter& p) { ok = c.draw(p, {}, r, folder.path(), &error); });
        EXPECT_TRUE(ok) << error.toStdString();
        ASSERT_FALSE(ops.empty());
        EXPECT_EQ(ops.front().kind, DrawOp::Image) << "the picture comes before anything else";
        EXPECT_EQ(ops.front().at, QPointF(488, 50)); // round(457.5 - 20) + 50
    }
}

TEST(BalanceCharts, UnreadablePictureIsReported) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("Data");
    QFile file(dir.path() + "/Data/zebkmb.msi");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a bitmap at all");
    file.close();
    QString error;
    bool ok = true;
    const auto ops = recordChart([&](QPainter& p) {
        ok = DrawQiBloodBalanceB(p, {}, flatResult(), dir.path() + "/", &error);
    });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(ops.empty());
    EXPECT_TRUE(error.contains("zebkmb.msi")) << error.toStdString();
}

TEST(BalanceCharts, PictureKeysOutItsBottomLeftColour) {
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(qRgb(10, 20, 30));
    image.setPixel(2, 0, qRgb(200, 0, 0));
    const QImage keyed = withTransparentKey(image);
    EXPECT_EQ(qAlpha(keyed.pixel(0, 1)), 0);
    EXPECT_EQ(qAlpha(keyed.pixel(1, 0)), 0);
    EXPECT_EQ(keyed.pixel(2, 0), qRgb(200, 0, 0));
}

TEST(ExcessDeficiencyCharts, BarsAndArrowsPerColumnOrSlot) {
    PictureFolder folder;
    folder.add("zebkmb.msi");
    folder.add("zebkmc.msi");
    AnalysisResult r = flatResult();
    r.PairMean[0] = 70; // Wood left pair +20
    r.PairClass[0] = 1;
    r.PairDiffClass[6] = 2;  // Wood right: red, left higher
    setPoint(r, 14, 20, 1);  // LR left
    r.SideDiffClass[7] = -1; // LR: yellow, pointing left
    QString error;

    auto ops = recordChart(
        [&](QPainter& p) { DrawYinYangExcessDeficiencyA(p, {}, r, folder.path(), &error); });
    auto boxes = boxesAt(ops, 50);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].rect, outlined(50, 166, 126, 277)) << "a column-wide bar";
    EXPECT_EQ(boxes[0].fill(), cc::kTolerable);
    EXPECT_TRUE(hasPolygon(ops, QPolygonF({{559, 30}, {547, 22}, {547, 38}}), cc::kRed));
    EXPECT_EQ(textsOf(ops, "LR-GB").size(), 2u);
    ASSERT_EQ(textsOf(ops, "Right").size(), 1u);
    EXPECT_EQ(textsOf(ops, "Right")[0].penColor(), cc::kOrange);

    ops = recordChart(
        [&](QPainter& p) { DrawQiBloodExcessDeficiencyB(p, {}, r, folder.path(), &error); });
    boxes = boxesAt(ops, 50);
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].rect, outlined(50, 166, 88, 277)) << "LR left in the first slot";
    EXPECT_EQ(boxes[0].fill(), cc::kTolerable);
    EXPECT_TRUE(hasPolygon(ops, QPolygonF({{75, 30}, {87, 22}, {87, 38}}), cc::kYellow));
    // Column separators: navy dotted, odd columns stop 20 above the bottom, none at column 6.
    std::vector<std::pair<double, double>> separators;
    for (const DrawOp& op : opsOf(ops, DrawOp::Line))
        if (op.penColor() == cc::kNavy && op.pen.style() == Qt::DotLine)
            separators.emplace_back(op.line.x1(), op.line.y2());
    EXPECT_EQ(separators.size(), 11u);
    EXPECT_TRUE(std::find(separators.begin(), separators.end(), std::pair{126.0, 534.0}) !=
                separators.end());
    EXPECT_TRUE(std::find(separators.begin(), separators.end(), std::pair{202.0, 554.0}) !=
                separators.end());
}
