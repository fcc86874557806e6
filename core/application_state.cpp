#include "core/application_state.h"

namespace viro {

void ApplicationState::resetChartSelections() {
    chartCategory = 1;
    chartNumbers.fill(1);
}

void ApplicationState::clearCurrentPatient() {
    patient = CurrentPatient();
}

void ApplicationState::clearMeasurement() {
    const bool highPotential = measurement.highPotential;
    measurement = MeasurementRecord();
    measurement.highPotential = highPotential;
    resetAnalysisView();
}

void ApplicationState::replaceMeasurement(const MeasurementRecord& record) {
    measurement = record;
    resetAnalysisView();
}

void ApplicationState::resetAnalysisView() {
    analysisPage = 0;
    pointsMeasuredSinceAnalysis = 0;
    resetChartSelections();
}

} // namespace viro
