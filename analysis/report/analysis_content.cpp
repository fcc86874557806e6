#include "analysis/report/analysis_content.h"

#include "analysis/compute_analysis.h"
#include "therapy/protocol_source.h"

namespace viro {

namespace {

// The matches of one protocol database; a database that is not open holds none.
std::vector<MatchedProtocol> matchesIn(const QSqlDatabase& db, const AnalysisResult& r,
                                       const MatchContext& patient, const QString& what,
                                       QString* error) {
    if (!db.isOpen())
        return {};
    std::vector<ProtocolCandidate> candidates;
    QString why;
    if (!loadProtocolCandidates(db, &candidates, &why)) {
        if (!error->isEmpty())
            *error += QLatin1Char(' ');
        *error += what + QStringLiteral(": ") + why;
        return {};
    }
    return MatchProtocols(candidates, r, patient);
}

} // namespace

AnalysisContent AnalysisContent::build(const MeasurementRecord& record,
                                       const PatientRecord& patient,
                                       const CorrectionFactors& factors,
                                       const AnalysisSources& sources, int currentYear) {
    AnalysisContent c;
    c.record = record;
    c.patient = patient;
    c.result = ComputeAnalysis(record, patient.male, patient.birthDate, factors);
    if (!c.result)
        return c;
    c.topics = BuildTopicLists(*c.result);
    const MatchContext context{patient.male, patient.birthDate, currentYear};
    c.applications = matchesIn(sources.userProtocols, *c.result, context,
                               QStringLiteral("The user's protocols"), &c.protocolError);
    c.integrated = matchesIn(sources.standardProtocols, *c.result, context,
                             QStringLiteral("The standard protocols"), &c.protocolError);
    return c;
}

QString bodyEnergyRange(bool male) {
    return male ? QStringLiteral("(30 - 64)") : QStringLiteral("(28 - 61)");
}

QString mentalStateRange(bool male) {
    return male ? QStringLiteral("(0.88-1.19)") : QStringLiteral("(0.78-1.09)");
}

QString musculoskeletalRange() {
    return QStringLiteral("(0.88-1.14)");
}

QString metabolismRange() {
    return QStringLiteral("(0.82-1.24)");
}

QString autonomicRange() {
    return QStringLiteral("(1.0-1.5)");
}

QString ageText(double birthDate, double day) {
    if (!(birthDate > 0))
        return QString();
    return QString::asprintf("%3.1f", (day - birthDate) / 365);
}

} // namespace viro
