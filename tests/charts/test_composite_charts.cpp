#include "chart_fixtures.h"

#include "analysis/charts/chart_painter.h"
#include "analysis/charts/composite_charts.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace viro;
namespace cc = viro::chart_colors;

namespace {

const MeasuringSequence kNatural = buildMeasuringSequence(0, kNaturalOrder);

void setScores(AnalysisResult& r, int m, double left, double right) {
    r.PointScore[size_t(leftPointOf(m) - 1)] = left;
    r.PointScore[size_t(rightPointOf(m) - 1)] = right;
}

} // namespace

TEST(EciPie, SectorsInMeridianOrderColouredByScore) {
    AnalysisResult r = flatResult();
    setScores(r, 1, 8.0, 8.0);   // exactly 8: Normal
    setScores(r, 2, 7.99, 7.99); // Tolerable
    setScores(r, 3, 7.0, 7.0);   // Tolerable
    setScores(r, 4, 6.8, 7.0);   // 6.9: Poor
    const auto ops = recordChart([&](QPainter& p) { DrawEciPie(p, {}, r, kNatural); });
    // Region 69..572 x 30..524: centre (320, 277) (320.5 rounds to even), radii 251.5, 247.
    struct Case {
        const char* what;
        int sector;
        double value;
        QColor fill;
    };
    const std::vector<Case> cases{
        {"LU", 1, 8.0, cc::kNormal},    {"PC", 2, 7.99, cc::kTolerable},
        {"HT", 3, 7.0, cc::kTolerable}, {"SI", 4, 6.9, cc::kPoor},
        {"TE", 5, 10.0, cc::kNormal},   {"ST", 12, 10.0, cc::kNormal},
    };
    for (const Case& c : cases) {
        const double from = 90 + 30 * (c.sector - 1);
        EXPECT_TRUE(hasWedge(ops, c.fill, wedgeBox(320, 277, 251.5, 247, (c.value + 4) / 14), from,
                             from + 30))
            << c.what;
    }
    EXPECT_EQ(textsOf(ops, "6.9").size(), 1u) << "the SI sector value";
    const auto index = textsOf(ops, "85.9");
    ASSERT_EQ(index.size(), 1u);
    EXPECT_EQ(index[0].penColor(), cc::kBlue);
    EXPECT_EQ(index[0].font.pointSize(), 23);
    // Table: the hand scores of SI in column 5 at Y + 10 and Y + 30, Y = 369.
    const auto si = textsOf(ops, "6.8");
    ASSERT_EQ(si.size(), 1u);
    EXPECT_EQ(si[0].penColor(), cc::kRed);
    EXPECT_TRUE(si[0].font.bold());
    EXPECT_NEAR(textTop(si[0]), 379, 0.01);
}

TEST(AnsAnalysis, HiAndLowSectorsAndTheRatio) {
    struct Case {
        const char* what;
        double hiGroup, lowGroup; // means of groups 4 (Tri.Yang-RH) and 6 (Tri.Yang-LF)
        int ansClass;
        QColor hiFill, lowFill, otherFill;
        const char* ratio;
        QColor ratioColor;
    };
    const QColor blue(62, 62, 255), orange(255, 146, 64);
    const std::vector<Case> cases{
        {"every group equal", 50, 50, 0, blue, blue, blue, "1.00", cc::kGreen},
        {"spread", 80, 20, 3, blue, orange, cc::kNormal, "4.00", cc::kRed},
        {"moderate", 60, 40, 1, blue, orange, cc::kNormal, "1.50", cc::kAmber},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AnalysisResult r = flatResult();
        r.GroupMean[3] = c.hiGroup;
        r.GroupMean[5] = c.lowGroup;
        r.Hi = c.hiGroup;
        r.Low = c.lowGroup;
        r.AnsClass = c.ansClass;
        const auto ops = recordChart([&](QPainter& p) { DrawAnsAnalysis(p, {}, r); });
        const double hi = c.hiGroup;
        const auto factor = [hi](double g) { return (3 * hi / 14 + g) / (17 * hi / 14); };
        // Region 231..734 x 30..524 around (482, 277).
        const auto box = [&](double g) { return wedgeBox(482, 277, 251.5, 247, factor(g)); };
        EXPECT_TRUE(hasWedge(ops, c.hiFill, box(c.hiGroup), 135, 180)) << "sector 2";
        EXPECT_TRUE(hasWedge(ops, c.lowFill, box(c.lowGroup), 270, 315)) << "sector 5";
        EXPECT_TRUE(hasWedge(ops, c.otherFill, box(50), 90, 135)) << "sector 1";
        const auto ratio = textsOf(ops, c.ratio);
        ASSERT_EQ(ratio.size(), 1u);
        EXPECT_EQ(ratio[0].penColor(), c.ratioColor);
        EXPECT_TRUE(ratio[0].font.bold());
        EXPECT_EQ(textsOf(ops, QString("Value: %1  (1~1.5)").arg(c.ratio)).size(), 1u);
    }
    AnalysisResult r = flatResult();
    r.GroupMean[3] = r.Hi = 80;
    r.GroupMean[5] = r.Low = 20;
    const auto ops = recordChart([&](QPainter& p) { DrawAnsAnalysis(p, {}, r); });
    EXPECT_EQ(textsOf(ops, "Hi: Tri.Yang-RH 80.0").size(), 1u);
    EXPECT_EQ(textsOf(ops, "Low: Tri.Yang-LF 20.0").size(), 1u);

    // Every group equal: each is Hi and Low, and the legend still names a group for both.
    AnalysisResult equal = flatResult();
    equal.GroupMean.fill(50);
    equal.Hi = equal.Low = 50;
    const auto same = recordChart([&](QPainter& p) { DrawAnsAnalysis(p, {}, equal); });
    EXPECT_EQ(textsOf(same, "Hi: Tri.Yin-LH 50.0").size(), 1u);
    EXPECT_EQ(textsOf(same, "Low: Tri.Yin-LH 50.0").size(), 1u);
}

TEST(MeasurementQuality, ClassesAndMarkerClamp) {
    const AnalysisResult r = flatResult();
    MeasurementRecord record;
    record.quality.fill(90);
    record.quality[0] = 60;   // slot 1: exactly 60 is Tolerable
    record.quality[6] = 80;   // slot 2: exactly 80 is Good
    record.quality[1] = 59.9; // slot 3: Poor
    record.quality[7] = 100;  // slot 4: centre raised to 55
    const auto ops =
        recordChart([&](QPainter& p) { DrawMeasurementQuality(p, {}, r, record, kNatural); });
    struct Case {
        const char* what;
        int left, right, centre;
        QColor fill;
        const char* text;
        QColor textColor;
    };
    const std::vector<Case> cases{
        {"60", 52, 87, 252, cc::kTolerable, "60.0", cc::kOlive},
        {"80", 90, 125, 151, cc::kNormal, "80.0", cc::kGreen},
        {"59.9", 128, 163, 252, cc::kPoor, "59.9", cc::kRed},
        {"100", 166, 201, 55, cc::kNormal, "100.0", cc::kGreen},
    };
    for (const Case& c : cases) {
        const auto boxes = boxesAt(ops, c.left);
        ASSERT_EQ(boxes.size(), 1u) << c.what;
        EXPECT_EQ(boxes[0].rect, outlined(c.left, c.centre - 5, c.right, c.centre + 5)) << c.what;
        EXPECT_EQ(boxes[0].fill(), c.fill) << c.what;
        const auto label = textsOf(ops, c.text);
        ASSERT_EQ(label.size(), 1u) << c.what;
        EXPECT_EQ(label[0].penColor(), c.textColor) << c.what;
        EXPECT_NEAR(textTop(label[0]), 508, 0.01) << c.what;
    }
    // Limits: red at 60 and olive at 80 on y = 50 + 504 - round(5.04 q).
    EXPECT_EQ(horizontalLines(ops, cc::kRed, Qt::DotLine), std::vector<double>{252});
    EXPECT_EQ(horizontalLines(ops, cc::kOlive, Qt::DotLine), std::vector<double>{151});
    EXPECT_EQ(horizontalLines(ops, cc::kBlue, Qt::SolidLine), std::vector<double>{100});
    EXPECT_EQ(textsOf(ops, "Good").size(), 1u);
}

TEST(BodyEnergyBalance, MarkerClampColoursAndSexBands) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("Data");
    QImage picture(20, 20, QImage::Format_RGB32);
    picture.fill(Qt::white);
    ASSERT_TRUE(picture.save(dir.path() + "/Data/zebkmg.msi", "BMP"));
    const QString folder = dir.path() + "/";

    struct Case {
        const char* what;
        double left, right, up, down;
        int upDownClass, leftRightClass;
        QRectF circle;
        QColor fill;
    };
    // Panel 772 x 484.75; ratio 1.0 at (386, 242.375); 1.7 at the left edge.
    const std::vector<Case> cases{
        {"balanced", 50, 50, 50, 50, 0, 0, QRectF(374, 230, 24, 24), QColor(0, 255, 0)},
        {"left far higher: clamped to x = 5", 100, 10, 50, 50, 0, 3, QRectF(-7, 230, 24, 24),
         cc::kRed},
        {"up far lower: clamped to y = PH - 5", 50, 50, 5, 50, -2, 0, QRectF(374, 468, 24, 24),
         cc::kYellow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AnalysisResult r = flatResult();
        r.Left = c.left;
        r.Right = c.right;
        r.Up = c.up;
        r.Down = c.down;
        r.UpDownClass = c.upDownClass;
        r.LeftRightClass = c.leftRightClass;
        QString error;
        bool ok = false;
        const auto ops = recordChart(
            [&](QPainter& p) { ok = DrawBodyEnergyBalance(p, {}, r, true, folder, &error); });
        ASSERT_TRUE(ok) << error.toStdString();
        bool found = false;
        for (const DrawOp& op : opsOf(ops, DrawOp::Ellipse))
            found |= op.filled() && op.rect == c.circle && op.fill() == c.fill;
        EXPECT_TRUE(found);
    }

    // The Normal band of the body energy column: 30 to 65 for men, 28 to 62 for women.
    for (auto [male, top, bottom] : {std::tuple{true, 258, 364}, std::tuple{false, 267, 370}}) {
        const auto ops = recordChart([&, male = male](QPainter& p) {
            DrawBodyEnergyBalance(p, {}, flatResult(), male, folder, nullptr);
        });
        bool found = false;
        for (const DrawOp& op : opsOf(ops, DrawOp::Rect))
            found |= !op.hasPen() && op.fill() == cc::kNormal &&
                     op.rect == QRectF(782, top, 20, bottom - top);
        EXPECT_TRUE(found) << (male ? "men" : "women");
    }

    QTemporaryDir empty;
    QString error;
    bool ok = true;
    const auto none = recordChart([&](QPainter& p) {
        ok = DrawBodyEnergyBalance(p, {}, flatResult(), true, empty.path() + "/", &error);
    });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(error.contains("zebkmg.msi")) << error.toStdString();
}
