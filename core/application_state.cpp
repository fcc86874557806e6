#include "core/application_state.h"

#include <algorithm>

namespace viro {

void ApplicationState::resetChartSelections() {
    chartCategory = 1;
    chartNumbers.fill(1);
}

void ApplicationState::clearCurrentPatient() {
    patient = PatientRecord();
}

void ApplicationState::clearMeasurement() {
    const bool highPotential = measurement.highPotential;
    measurement = MeasurementRecord();
    measurement.highPotential = highPotential;
    measurementHoldsData = false;
    resetAnalysisView();
}

void ApplicationState::replaceMeasurement(const MeasurementRecord& record) {
    measurement = record;
    measurementHoldsData = std::any_of(record.values.begin(), record.values.end(),
                                       [](double v) { return v != 0; });
    resetAnalysisView();
}

void ApplicationState::resetAnalysisView() {
    analysisPage = 0;
    pointsMeasuredSinceAnalysis = 0;
    resetChartSelections();
}

} // namespace viro
