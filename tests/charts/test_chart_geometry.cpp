#include "analysis/charts/chart_catalog.h"
#include "analysis/charts/chart_painter.h"
#include "analysis/charts/chart_style.h"
#include "analysis/charts/cycle_charts.h"

#include <gtest/gtest.h>

using namespace viro;

TEST(ChartGeometry, SlotsAndColumnsOfTheScreenCanvasRoundHalfToEven) {
    const ColumnLayout cols(965); // plot width 915: slots of 38.125, columns of 76.25
    struct Case {
        const char* what;
        int got;
        int expected;
    };
    const std::vector<Case> cases{
        {"slot 1 left", cols.slotLeft(1), 50},
        {"slot 1 right", cols.slotRight(1), 88},
        {"slot 4 right, 152.5 rounds down to even", cols.slotRight(4), 202},
        {"slot 12 right, 457.5 rounds up to even", cols.slotRight(12), 508},
        {"slot 24 right", cols.slotRight(24), 965},
        {"column 1 centre", cols.centre(1), 88},
        {"column 6 centre", cols.centre(6), 469},
        {"column 12 centre", cols.centre(12), 927},
        {"column 3 left", cols.columnLeft(3), 202},
        {"slot border in column 2", cols.slotBorder(2), 164},
        {"hand/foot divider", cols.divider(), 507},
        {"tick length", cols.tickLength(), 11},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got, c.expected) << c.what;
}

TEST(ChartGeometry, BarEndsOnTheRelativeScaleAreClamped) {
    const RelativeScale scale(554, 50); // baseline 277
    struct Case {
        double deviation;
        int expected;
    };
    const std::vector<Case> cases{
        {0, 277},   {10, 222}, {20, 166}, {-10, 332}, {60, 5}, // above twice the average: cut at 5
        {-49, 548},                                            // inside the canvas: kept
        {-60, 549},                                            // below the canvas: moved to H - 5
    };
    for (const Case& c : cases)
        EXPECT_EQ(scale.barEnd(c.deviation), c.expected) << "deviation " << c.deviation;
}

TEST(ChartGeometry, StyleMapsPensFontsAndColours) {
    const ChartStyle screen = ChartStyle::screen();
    EXPECT_EQ(screen.penWidth(1), 1);
    EXPECT_EQ(screen.penWidth(3), 3);
    EXPECT_EQ(screen.fontSize(23, 4), 23);
    EXPECT_EQ(screen.color(QColor(145, 255, 113)), QColor(145, 255, 113));

    // 600 dpi: mm(1) = 24, mm(0.2) = 5 (4.72), mm(0.3) = 7 (7.09); thin = 24 / 6 = 4.
    const ChartStyle paper = ChartStyle::printer(600, 9, true);
    EXPECT_EQ(paper.penWidth(1), 4);
    EXPECT_EQ(paper.penWidth(2), 5);
    EXPECT_EQ(paper.penWidth(3), 7);
    EXPECT_EQ(paper.fontSize(23, 4), 13);
    EXPECT_EQ(paper.fontSize(8, -2), 7);

    struct Case {
        QColor in;
        int grey;
    };
    const std::vector<Case> greys{
        {QColor(145, 255, 113), 112}, // Normal: 171 capped
        {QColor(254, 249, 141), 112}, // Tolerable: 214 capped
        {QColor(255, 70, 70), 112},   // Poor: 131 capped
        {QColor(255, 255, 255), 112}, // even white
        {QColor(0, 0, 128), 42},      // navy: 128 div 3
        {QColor(0, 128, 0), 42},      {QColor(0, 0, 0), 0}, {QColor(255, 0, 0), 85},
    };
    for (const Case& c : greys)
        EXPECT_EQ(paper.color(c.in), QColor(c.grey, c.grey, c.grey)) << c.in.name().toStdString();
}

TEST(ChartGeometry, TimeCyclePeriodFollowsTheTwoHourClock) {
    struct Case {
        const char* time;
        double fraction;
        int period;
    };
    const std::vector<Case> cases{
        {"00:00", 0, 1},
        {"00:59", 59.0 / 1440, 1},
        {"01:00", 60.0 / 1440, 2},
        {"02:59", 179.0 / 1440, 2},
        {"10:30", 630.0 / 1440, 6},
        {"21:00", 21.0 / 24, 12},
        {"22:59", 1379.0 / 1440, 12},
        {"23:00", 23.0 / 24, 1},
        {"23:30", 23.5 / 24, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(timeCyclePeriod(45413 + c.fraction), c.period) << c.time;
        // Before 1899-12-30 the fraction is still the time of day.
        EXPECT_EQ(timeCyclePeriod(-3 - c.fraction), c.period) << c.time << " (negative date)";
    }
}

TEST(ChartCatalog, NamesCaptionsAndFamilies) {
    const QStringList names{"bar",
                            "slope",
                            "ryodoraku",
                            "yinyang-balance-a",
                            "yinyang-balance-b",
                            "yinyang-ed-a",
                            "yinyang-ed-b",
                            "qiblood-balance-a",
                            "qiblood-balance-b",
                            "qiblood-ed-a",
                            "qiblood-ed-b",
                            "five-elements-1",
                            "five-elements-2",
                            "five-elements-3",
                            "time-cycle-a",
                            "time-cycle-b",
                            "body-energy",
                            "eci-pie",
                            "ans",
                            "quality"};
    ASSERT_EQ(chartCatalog().size(), size_t(names.size()));
    for (int i = 0; i < names.size(); ++i) {
        EXPECT_EQ(chartCatalog()[size_t(i)].name, names[i]);
        const auto id = chartByName(names[i]);
        ASSERT_TRUE(id) << names[i].toStdString();
        EXPECT_EQ(chartInfo(*id).name, names[i]);
    }
    EXPECT_FALSE(chartByName("Bar"));
    EXPECT_FALSE(chartByName(""));
    EXPECT_EQ(chartInfo(ChartId::Bar).caption,
              QString::fromUtf8("Meridian Excess-Deficiency Analysis \u2013 Bar Diagram"));
    EXPECT_EQ(chartInfo(ChartId::QiBloodExcessDeficiencyB).caption,
              QString::fromUtf8("Qi-Blood Excess/Deficiency Analysis \u2013 Chart B"));
    EXPECT_EQ(chartInfo(ChartId::FiveElements3).caption, "Five Elements Analysis By Yang-Fu");
}
