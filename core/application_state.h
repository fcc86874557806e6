#pragma once

#include "analysis/measurement_record.h"

#include <QString>

#include <array>

namespace viro {

// The patient the current measurement belongs to: the fields of one patient row.
struct CurrentPatient {
    QString custNo;
    QString name;
    bool male = true;
    double birthDate = 0; // Jet date value, 0 when not given
    QString addr;
    QString tel;
    QString tel2; // mobile
    QString tel3; // fax
    QString eMail;
    QString bType;
    double height = 0;
    double weight = 0;
    QString memo;
    QString custCat;
    QString custFg;
    bool prtFg = false;
};

inline constexpr int kChartCategoryCount = 6;

// Application-wide variables owned by the main window and shared by every window. Never
// persisted except through the database.
class ApplicationState {
public:
    CurrentPatient patient;
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
