#include "chart_fixtures.h"

#include "analysis/charts/chart_catalog.h"
#include "analysis/compute_analysis.h"

#include <QDir>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace viro;

namespace {

struct Pictures {
    QTemporaryDir dir;
    Pictures() {
        QDir(dir.path()).mkpath("Data");
        for (const char* name : {"zebkma.msi", "zebkmb.msi", "zebkmc.msi", "zebkmg.msi"}) {
            QImage image(60, 40, QImage::Format_RGB32);
            image.fill(Qt::white);
            for (int x = 10; x < 50; ++x)
                image.setPixel(x, 20, qRgb(40, 160, 220));
            image.save(dir.path() + "/Data/" + name, "BMP");
        }
    }
    QString folder() const { return dir.path() + "/"; }
};

MeasurementRecord randomRecord(QRandomGenerator& random) {
    MeasurementRecord record;
    for (int k = 0; k < kPointCount; ++k) {
        record.values[size_t(k)] = 0.5 + random.bounded(180.0);
        record.quality[size_t(k)] = random.bounded(101.0);
    }
    record.dateTime = 40000 + random.bounded(10000.0);
    return record;
}

int inkedPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) != qRgb(255, 255, 255);
    return n;
}

} // namespace

TEST(AllCharts, DrawForRandomMeasurementsInBothOrders) {
    const Pictures pictures;
    QRandomGenerator random(20240501);
    for (int order = 0; order <= 1; ++order) {
        const MeasuringSequence sequence = buildMeasuringSequence(order, kNaturalOrder);
        for (int round = 0; round < 8; ++round) {
            const MeasurementRecord record = randomRecord(random);
            const bool male = round % 2 == 0;
            const auto result =
                ComputeAnalysis(record, male, 20000 + round * 1000, kDefaultCorrectionFactors);
            ASSERT_TRUE(result);
            for (const ChartInfo& info : chartCatalog()) {
                SCOPED_TRACE(info.name.toStdString() + " order " + std::to_string(order) +
                             " round " + std::to_string(round));
                QImage image(965, 554, QImage::Format_RGB32);
                image.fill(Qt::white);
                QString error;
                bool ok = false;
                {
                    QPainter painter(&image);
                    painter.setFont(QFont("Tahoma", 8));
                    const ChartInput input{*result, record, sequence, male, pictures.folder()};
                    ok = drawChart(info.id, painter, ChartArea{}, input, &error);
                }
                EXPECT_TRUE(ok) << error.toStdString();
                EXPECT_GT(inkedPixels(image), 2000);
            }
        }
    }
}

TEST(AllCharts, MonochromeDrawsOnlyGreysNoLighterThanTheCap) {
    const Pictures pictures;
    MeasurementRecord record;
    record.values = {48.2, 39.5, 35.1, 52.7, 44.0, 61.3, 45.9, 41.2, 30.4, 55.0, 47.8, 58.6,
                     33.3, 28.7, 41.9, 37.5, 26.4, 39.0, 35.6, 24.9, 44.2, 40.1, 29.8, 36.7};
    record.quality.fill(75);
    const auto result = ComputeAnalysis(record, true, 20284, kDefaultCorrectionFactors);
    ASSERT_TRUE(result);
    const MeasuringSequence sequence = buildMeasuringSequence(0, kNaturalOrder);
    for (const ChartInfo& info : chartCatalog()) {
        SCOPED_TRACE(info.name.toStdString());
        QImage image(965, 554, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.setFont(QFont("Tahoma", 8));
            const ChartInput input{*result, record, sequence, true, pictures.folder()};
            ASSERT_TRUE(drawChart(info.id, painter, ChartArea{965, 554, ChartStyle::screen(true)},
                                  input, nullptr));
        }
        int coloured = 0, solid = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y);
                coloured += qRed(p) != qGreen(p) || qGreen(p) != qBlue(p);
                solid += qRed(p) <= 112;
            }
        EXPECT_EQ(coloured, 0);
        EXPECT_GT(solid, 1000);
    }
}
