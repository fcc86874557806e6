#pragma once

#include "analysis/measurement_record.h"
#include "core/patient_record.h"

#include <QString>

#include <array>

namespace viro {

inline constexpr int kChartCategoryCount = 6;

// Application-wide variables owned by the main window and shared by every window. Never
// persisted except through the database.
class ApplicationState {
public:
    PatientRecord patient; // the patient the current measurement belongs to
    MeasurementRecord measurement;

    // Analysis window selections: the chart category (1-6) and the chart chosen in each
    // category (1-4), element 0 for category 1.
    int chartCategory = 1;
    std::array<int, kChartCategoryCount> chartNumbers{1, 1, 1, 1, 1, 1};
    int analysisPage = 0;

    int pointsMeasuredSinceAnalysis = 0;
    // The current measurement holds measured or loaded values (Save and Clear are offered).
    bool measurementHoldsData = false;
    int patientSortColumn = 1; // the sign gives the direction
    bool recallFromMainWindow = false;
    bool startupPending = true;

    void resetChartSelections();
    // Number, name and further texts empty, male, no birth date.
    void clearCurrentPatient();
    // Values, qualities, date, notes and key cleared; the chosen potential stays. Resets the
    // analysis page, the chart selections and the count of points measured, as any
    // replacement of the measurement does.
    void clearMeasurement();
    // A measurement loaded or entered in place of the current one.
    void replaceMeasurement(const MeasurementRecord& record);

private:
    void resetAnalysisView();
};

} // namespace viro
