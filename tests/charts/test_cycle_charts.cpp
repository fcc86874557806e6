#include "chart_fixtures.h"

#include "analysis/charts/chart_painter.h"
#include "analysis/charts/cycle_charts.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace viro;
namespace cc = viro::chart_colors;

namespace {

// Five-elements frame at 965 x 554: region 231..734 x 30..524, centre (482, 277),
// radii 251.5 and 247.
constexpr double kCx = 482, kCy = 277, kRx = 251.5, kRy = 247;

QRectF pieBox(double factor) {
    return wedgeBox(kCx, kCy, kRx, kRy, factor);
}

} // namespace

TEST(FiveElements, SectorRadiiAnglesAndClassColours) {
    AnalysisResult r = flatResult();
    r.ElementTable[Earth][BothMembers] = 0;
    r.ElementClass[Earth][BothMembers] = -2;
    r.ElementTable[Metal][BothMembers] = 100;
    r.ElementClass[Metal][BothMembers] = 2;
    r.ElementTable[Water][BothMembers] = 62.5;
    r.ElementClass[Water][BothMembers] = 1;
    const auto ops = recordChart([&](QPainter& p) { DrawFiveElements(p, {}, r, 1); });
    struct Case {
        const char* what;
        double factor, from, to;
        QColor fill;
    };
    const std::vector<Case> cases{
        {"Wood on the average circle", 2.0 / 3, 54, 126, cc::kNormal},
        {"Mo.Fire", 2.0 / 3, 126, 162, cc::kNormal},
        {"Earth at zero on the inner circle", 1.0 / 3, 198, 270, cc::kPoor},
        {"Metal at twice the average on the outer circle", 1.0, 270, 342, cc::kPoor},
        {"Water at 62.5", 0.75, 342, 414, cc::kTolerable},
        {"Mi.Fire", 2.0 / 3, 162, 198, cc::kNormal},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(hasWedge(ops, c.fill, pieBox(c.factor), c.from, c.to)) << c.what;

    // The average circle (red dotted) and the zero circle (filled) frame the scale.
    bool average = false, zero = false;
    for (const DrawOp& op : opsOf(ops, DrawOp::Ellipse)) {
        average |= op.penColor() == cc::kRed && op.pen.style() == Qt::DotLine &&
                   op.rect == QRectF(314, 112, 336, 330);
        zero |= op.filled() && op.fill() == cc::kInnerFill && op.rect == QRectF(398, 195, 168, 164);
    }
    EXPECT_TRUE(average);
    EXPECT_TRUE(zero);
    EXPECT_EQ(textsOf(ops, "62.5").size(), 1u);
    EXPECT_EQ(textsOf(ops, "Water - KI/BL").size(), 1u);
}

TEST(FiveElements, VariantsReadTheirOwnColumn) {
    AnalysisResult r = flatResult();
    r.ElementTable[MoFire][BothMembers] = 10;
    r.ElementTable[MoFire][YinZangMember] = 60;
    r.ElementTable[MoFire][YangFuMember] = 40;
    struct Case {
        int variant;
        const char* value;
        const char* label;
    };
    for (const Case& c : std::vector<Case>{{1, "10.0", "Mo.Fire - HT/SI"},
                                           {2, "60.0", "Mo.Fire - HT"},
                                           {3, "40.0", "Mo.Fire - SI"}}) {
        const auto ops = recordChart([&](QPainter& p) { DrawFiveElements(p, {}, r, c.variant); });
        EXPECT_EQ(textsOf(ops, c.value).size(), 1u) << "variant " << c.variant;
        EXPECT_EQ(textsOf(ops, c.label).size(), 1u) << "variant " << c.variant;
        EXPECT_EQ(textsOf(ops, "Mi.Fire - PC").size(), c.variant == 2 ? 1u : 0u);
    }
}

TEST(TimeCycle, CurrentPeriodIsHighlightedAndBarsFollowTheHoraryOrder) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("Data");
    QImage picture(30, 30, QImage::Format_RGB32);
    picture.fill(Qt::white);
    ASSERT_TRUE(picture.save(dir.path() + "/Data/zebkma.msi", "BMP"));
    const QString folder = dir.path() + "/";

    AnalysisResult r = flatResult();
    setPoint(r, 17, 20, 1); // GB left: first column
    setPoint(r, 23, 20, 1); // GB right
    r.MeridianClass[10] = 1;

    struct Case {
        const char* time;
        double at;
        const char* code;
        const char* hours;
    };
    const std::vector<Case> cases{
        {"10:30", 45413 + 10.5 / 24, "SP", "9am-11am"},
        {"23:30", 45413 + 23.5 / 24, "GB", "11pm-1am"},
        {"01:00", 45413 + 1.0 / 24, "LR", "1am-3am"},
        {"00:59", 45413 + 59.0 / 1440, "GB", "11pm-1am"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time);
        QString error;
        bool ok = false;
        const auto ops =
            recordChart([&](QPainter& p) { ok = DrawTimeCycleA(p, {}, r, c.at, folder, &error); });
        ASSERT_TRUE(ok) << error.toStdString();
        const auto code = textsOf(ops, c.code);
        ASSERT_EQ(code.size(), 1u);
        EXPECT_EQ(code[0].penColor(), cc::kOrange);
        EXPECT_TRUE(code[0].font.bold());
        const auto hours = textsOf(ops, QString("[%1]").arg(c.hours));
        ASSERT_EQ(hours.size(), 1u);
        EXPECT_EQ(hours[0].penColor(), cc::kRed);
        EXPECT_TRUE(textsOf(ops, c.hours).empty());
        int highlighted = 0;
        for (const DrawOp& op : opsOf(ops, DrawOp::Text))
            highlighted += op.penColor() == cc::kOrange;
        EXPECT_EQ(highlighted, 1);

        const auto boxes = boxesAt(ops, 50);
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes[0].rect, outlined(50, 166, 126, 277)) << "GB mean +20 in column 1";
        EXPECT_EQ(boxes[0].fill(), cc::kTolerable);
    }

    // Element names stand between the columns of each pair: "Wood" between GB and LR.
    const auto ops =
        recordChart([&](QPainter& p) { DrawTimeCycleB(p, {}, r, 45413.5, folder, nullptr); });
    const auto wood = textsOf(ops, "Wood");
    ASSERT_EQ(wood.size(), 1u);
    const double width = QFontMetricsF(wood[0].font).horizontalAdvance("Wood");
    EXPECT_NEAR(wood[0].at.x() + width / 2, 126, 1.0);
    const auto slotBar = boxesAt(ops, 50);
    ASSERT_FALSE(slotBar.empty());
    EXPECT_EQ(slotBar[0].rect, outlined(50, 166, 88, 277)) << "chart B: one slot per point";

    QString error;
    QTemporaryDir empty;
    bool ok = true;
    const auto none = recordChart(
        [&](QPainter& p) { ok = DrawTimeCycleB(p, {}, r, 45413.5, empty.path() + "/", &error); });
    EXPECT_FALSE(ok);
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(error.contains("zebkma.msi")) << error.toStdString();
}
