#pragma once

#include "analysis/analysis_result.h"
#include "analysis/interpretation.h"
#include "analysis/measurement_record.h"
#include "analysis/meridian_model.h"
#include "core/patient_record.h"
#include "therapy/protocol_rules.h"

#include <QSqlDatabase>
#include <QString>

#include <optional>
#include <vector>

namespace viro {

// The databases an analysis reads besides the measurement: the user's protocols (in the
// patient database), the reference texts and the standard protocols. A database that is not
// open is read as empty.
struct AnalysisSources {
    QSqlDatabase userProtocols;     // "viro6.mdb": ZePro, ZePrDt
    QSqlDatabase referenceTexts;    // "viroE.mdb": ZEMTDB
    QSqlDatabase standardProtocols; // "viroZE.mdb": ZePro, ZePrDt
};

// Everything the analysis window shows and the printed report prints of one measurement: the
// analysis, its topic lists and the protocols that match it. Built afresh whenever the
// measurement changes.
struct AnalysisContent {
    MeasurementRecord record;
    PatientRecord patient;
    // Empty when the measurement cannot be analysed: a value or a correction factor that is no
    // finite number above 0.
    std::optional<AnalysisResult> result;
    TopicLists topics;
    std::vector<MatchedProtocol> applications; // the user's protocols that match
    std::vector<MatchedProtocol> integrated;   // the standard protocols that match
    // Why a protocol database could not be read (its list is empty then); empty when all was
    // read.
    QString protocolError;

    bool analysable() const { return result.has_value(); }

    // `currentYear` fixes the patient's age for the protocol conditions.
    static AnalysisContent build(const MeasurementRecord& record, const PatientRecord& patient,
                                 const CorrectionFactors& factors, const AnalysisSources& sources,
                                 int currentYear);
};

// What the energy report and the printed state section show when a measurement cannot be
// analysed.
inline constexpr const char* kCannotBeAnalysed = "cannot be analysed";

// The normal ranges printed beside the state figures.
QString bodyEnergyRange(bool male);   // "(30 - 64)" or "(28 - 61)"
QString mentalStateRange(bool male);  // "(0.88-1.19)" or "(0.78-1.09)"
QString musculoskeletalRange();       // "(0.88-1.14)"
QString metabolismRange();            // "(0.82-1.24)"
QString autonomicRange();             // "(1.0-1.5)"

// Years between two Jet dates as the window and the report show ages ((to - from) / 365 with
// "%3.1f"); empty when `birthDate` is not positive.
QString ageText(double birthDate, double day);

} // namespace viro
