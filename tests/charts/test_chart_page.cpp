#include "analysis/ui/chart_page.h"

#include "analysis/charts/chart_catalog.h"
#include "analysis/compute_analysis.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace viro;

namespace {

const QString kDash = QString(QChar(0x2013));

struct PageFixture {
    int category = 1;
    std::array<int, kChartFamilyCount> charts{1, 1, 1, 1, 1, 1};
    QTemporaryDir dir;
    ChartPage page{category, charts};

    explicit PageFixture(bool pictures = true, double level = 45) {
        QDir(dir.path()).mkpath("Data");
        if (pictures)
            for (const char* name : {"zebkma.msi", "zebkmb.msi", "zebkmc.msi", "zebkmg.msi"}) {
                QImage image(40, 40, QImage::Format_RGB32);
                image.fill(Qt::white);
                image.save(dir.path() + "/Data/" + name, "BMP");
            }
        MeasurementRecord record;
        for (int k = 0; k < kPointCount; ++k)
            record.values[size_t(k)] = level + (k % 5) * 2.5;
        record.quality.fill(85);
        record.dateTime = 45413.4375;
        const auto result = ComputeAnalysis(record, true, 20284, kDefaultCorrectionFactors);
        page.setAnalysis(*result, record, buildMeasuringSequence(0, kNaturalOrder), true,
                         dir.path() + "/");
    }
    QToolButton* family(int f) {
        return page.findChild<QToolButton*>(QString("CategoryButton%1").arg(f));
    }
    QToolButton* chart(int c) {
        return page.findChild<QToolButton*>(QString("ChartButton%1").arg(c));
    }
    bool energyLowShown() {
        return !page.findChild<QLabel*>("EnergyLowLabel")->isHidden() &&
               !page.findChild<QLabel*>("EnergyLowLamp")->isHidden();
    }
};

} // namespace

TEST(ChartPage, FamilyTableSetsButtonsTitlesAndStatusTexts) {
    PageFixture f;
    struct Case {
        int family;
        QString hint;
        std::array<QString, 4> hints; // empty for a hidden button
        std::array<int, 4> images;
        QString firstTitle;
        QString firstStatus;
    };
    const QString yyGap = "This graph compares the Qi-Blood balance between Yin-Zang and "
                          "Yang-Fu. The smaller the gap, the better.";
    const std::vector<Case> cases{
        {1,
         "Composite Analysis",
         {"Diagram of Body Energy Balance", "E.C.I. Pie Diagram", "ANS Analysis",
          "Measurement Quality Diagram"},
         {6, 7, 8, 9},
         "Diagram of Body Energy Balance",
         "Diagram of Body Energy Balance"},
        {2,
         "Meridian Analysis",
         {"Meridian Excess-Deficiency Analysis " + kDash + " Bar Diagram",
          "Meridian Excess-Deficiency Analysis " + kDash + " Slope Diagram",
          "Ryodoraku Analysis Diagram", ""},
         {10, 11, 12, -1},
         "Meridian Excess-Deficiency Analysis " + kDash + " Bar Diagram",
         "Average body energy data varies with each individual patient."},
        {3,
         "Yin Yang Analysis",
         {"Yin-Yang Balance A", "Yin-Yang Balance B", "Yin-Yang Exc/Def A", "Yin-Yang Exc/Def B"},
         {13, 14, 15, 16},
         "Yin-Yang Balance Analysis " + kDash + " Chart A",
         yyGap},
        {4,
         "Qi-Blood Analysis",
         {"Qi-Blood Balance A", "Qi-Blood Balance B", "Qi-Blood Exc/Def A", "Qi-Blood Exc/Def B"},
         {17, 18, 19, 20},
         "Qi-Blood Balance Analysis " + kDash + " Chart A",
         "This graph compares the Qi-Blood balance of the meridian energy between the right "
         "side and left side of the body. The smaller the gap, the better"},
        {5,
         "Five Elements Analysis",
         {"Five Elements " + kDash + " Yin-Zang + Yang-Fu", "Five Elements " + kDash + " Yin-Zang",
          "Five Elements " + kDash + " Yang-Fu", ""},
         {21, 22, 23, -1},
         "Five Elements Analysis With Yin-Zang And Yang-Fu Integrated",
         "This graph compares the meridian energy of the Five Elements by Yin-Zang and Yang-Fu"},
        {6,
         "Meridian Time Cycle",
         {"Time Cycle A", "Time Cycle B", "", ""},
         {24, 25, -1, -1},
         "Meridian Time Cycle Analysis " + kDash + " Chart A",
         "Analysis Chart of Meridian Time Cycle A"},
    };
    QSignalSpy status(&f.page, &ChartPage::statusTextChanged);
    for (const Case& c : cases) {
        SCOPED_TRACE("family " + std::to_string(c.family));
        EXPECT_EQ(f.family(c.family)->toolTip(), c.hint);
        f.family(c.family)->click();
        EXPECT_EQ(f.category, c.family);
        for (int b = 1; b <= kChartFamilyCount; ++b)
            EXPECT_EQ(f.family(b)->isChecked(), b == c.family);
        for (int b = 0; b < 4; ++b) {
            const bool shown = !c.hints[size_t(b)].isEmpty();
            EXPECT_EQ(!f.chart(b + 1)->isHidden(), shown) << "button " << b + 1;
            EXPECT_EQ(f.chart(b + 1)->toolTip(), c.hints[size_t(b)]) << "button " << b + 1;
            EXPECT_EQ(f.chart(b + 1)->property("imageIndex").toInt(), c.images[size_t(b)]);
            EXPECT_EQ(f.chart(b + 1)->isChecked(), b == 0);
            if (shown) {
                EXPECT_FALSE(f.chart(b + 1)->icon().isNull());
            }
        }
        EXPECT_EQ(f.page.title(), c.firstTitle);
        EXPECT_EQ(f.page.statusText(), c.firstStatus);
        ASSERT_FALSE(status.isEmpty());
        EXPECT_EQ(status.last().at(0).toString(), c.firstStatus);
        EXPECT_TRUE(f.page.errorText().isEmpty()) << f.page.errorText().toStdString();
    }
}

TEST(ChartPage, EachFamilyRemembersItsChart) {
    PageFixture f;
    f.family(3)->click();
    f.chart(4)->click();
    EXPECT_EQ(f.charts[2], 4);
    EXPECT_EQ(f.page.title(), "Yin-Yang Excess/Deficiency Analysis " + kDash + " Chart B");
    EXPECT_EQ(f.page.statusText(),
              "This graph compares the Qi-Blood balance between Yin-Zang and Yang-Fu.");
    f.family(6)->click();
    f.chart(2)->click();
    f.family(3)->click();
    EXPECT_TRUE(f.chart(4)->isChecked());
    EXPECT_FALSE(f.chart(1)->isChecked());
    EXPECT_EQ(f.page.title(), "Yin-Yang Excess/Deficiency Analysis " + kDash + " Chart B");
    f.family(6)->click();
    EXPECT_EQ(f.page.title(), "Meridian Time Cycle Analysis " + kDash + " Chart B");
    EXPECT_EQ(f.charts, (std::array<int, kChartFamilyCount>{1, 1, 4, 1, 1, 2}));

    // A remembered chart that the family does not have falls back to the first.
    f.charts[1] = 4;
    f.family(2)->click();
    EXPECT_EQ(f.charts[1], 1);
    EXPECT_TRUE(f.chart(1)->isChecked());
}

TEST(ChartPage, EnergyLowIndicatorFollowsTheAnalysis) {
    PageFixture weak(true, 8); // values 8 to 18: average 12.79, above 12
    weak.page.ShowChart(true);
    EXPECT_FALSE(weak.energyLowShown());

    PageFixture low(true, 6); // values 6 to 16: average 10.79
    low.family(5)->click();   // the chart does not use the average; the indicator still shows
    EXPECT_TRUE(low.energyLowShown());
    PageFixture normal;
    normal.page.ShowChart(true);
    EXPECT_FALSE(normal.energyLowShown());
}

TEST(ChartPage, MissingPictureLeavesAnEmptyChartAndAnError) {
    PageFixture f(false);
    f.family(6)->click();
    EXPECT_TRUE(f.page.errorText().contains("zebkma.msi")) << f.page.errorText().toStdString();
    const QImage& image = f.page.chartImage();
    bool blank = true;
    for (int y = 0; y < image.height() && blank; y += 3)
        for (int x = 0; x < image.width() && blank; x += 3)
            blank = image.pixel(x, y) == qRgb(255, 255, 255);
    EXPECT_TRUE(blank);
    EXPECT_EQ(f.page.title(), "Meridian Time Cycle Analysis " + kDash + " Chart A");

    f.family(2)->click(); // a chart without a picture draws again
    EXPECT_TRUE(f.page.errorText().isEmpty());
}

TEST(ChartPage, RepaintWithoutClearingKeepsWhatIsThere) {
    PageFixture f;
    f.family(2)->click(); // bar diagram: a black vertical axis at x = 50
    EXPECT_EQ(f.page.chartImage().pixel(50, 2), qRgb(0, 0, 0));
    f.category = 5; // five elements draws nothing at (50, 2)
    f.page.ShowChart(false);
    EXPECT_EQ(f.page.chartImage().pixel(50, 2), qRgb(0, 0, 0));
    f.page.ShowChart(true);
    EXPECT_EQ(f.page.chartImage().pixel(50, 2), qRgb(255, 255, 255));
}
