#include "analysis/compute_analysis.h"

#include <benchmark/benchmark.h>

namespace {

// A typical adult measurement: hands a little stronger than feet, some spread between sides.
viro::MeasurementRecord typicalRecord() {
    viro::MeasurementRecord record;
    record.values = {48.2, 39.5, 35.1, 52.7, 44.0, 61.3, 45.9, 41.2, 30.4, 55.0, 47.8, 58.6,
                     33.3, 28.7, 41.9, 37.5, 26.4, 39.0, 35.6, 24.9, 44.2, 40.1, 29.8, 36.7};
    record.quality.fill(90);
    record.dateTime = 45413.4375; // 2024-05-01 10:30
    return record;
}

void BM_ComputeAnalysis(benchmark::State& state) {
    const viro::MeasurementRecord record = typicalRecord();
    const double birth = 20284; // 1955-07-14
    for (auto _ : state) {
        auto result = viro::ComputeAnalysis(record, true, birth, viro::kDefaultCorrectionFactors);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_ComputeAnalysis);

} // namespace
