#include "analysis/charts/chart_catalog.h"
#include "analysis/compute_analysis.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

viro::MeasurementRecord typicalRecord() {
    viro::MeasurementRecord record;
    record.values = {48.2, 39.5, 35.1, 52.7, 44.0, 61.3, 45.9, 41.2, 30.4, 55.0, 47.8, 58.6,
                     33.3, 28.7, 41.9, 37.5, 26.4, 39.0, 35.6, 24.9, 44.2, 40.1, 29.8, 36.7};
    record.quality = {92.5, 88.0, 95.1, 90.0, 85.5, 97.2, 91.0, 89.9, 93.3, 87.6, 94.4, 96.8,
                      82.1, 90.5, 88.8, 91.7, 86.0, 93.9, 89.2, 84.7, 92.0, 90.6, 87.3, 95.5};
    record.dateTime = 45413.4375; // 2024-05-01 10:30
    return record;
}

// Background pictures about the size of the installed ones.
QString pictureFolder() {
    static QTemporaryDir dir;
    static bool made = false;
    if (!made) {
        QDir(dir.path()).mkpath("Data");
        for (const char* name : {"zebkma.msi", "zebkmb.msi", "zebkmc.msi", "zebkmg.msi"}) {
            QImage image(420, 300, QImage::Format_RGB32);
            image.fill(Qt::white);
            for (int y = 60; y < 240; ++y)
                for (int x = 60; x < 360; ++x)
                    if ((x / 20 + y / 20) % 2 == 0)
                        image.setPixel(x, y, qRgb(225, 235, 250));
            image.save(dir.path() + "/Data/" + name, "BMP");
        }
        made = true;
    }
    return dir.path() + "/";
}

void BM_DrawChart(benchmark::State& state, viro::ChartId id) {
    const viro::MeasurementRecord record = typicalRecord();
    const auto result = viro::ComputeAnalysis(record, true, 20284, viro::kDefaultCorrectionFactors);
    const viro::MeasuringSequence order = viro::buildMeasuringSequence(0, viro::kNaturalOrder);
    const viro::ChartInput input{*result, record, order, true, pictureFolder()};
    QImage image(965, 554, QImage::Format_RGB32);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(QFont("Tahoma", 8));
        QString error;
        if (!viro::drawChart(id, painter, viro::ChartArea{}, input, &error))
            state.SkipWithError(error.toStdString().c_str());
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    for (const viro::ChartInfo& info : viro::chartCatalog())
        benchmark::RegisterBenchmark(("BM_DrawChart/" + info.name).toStdString().c_str(),
                                     BM_DrawChart, info.id)
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
