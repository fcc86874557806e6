#pragma once

#include "analysis/analysis_result.h"

#include <QDate>
#include <QString>

#include <vector>

namespace viro {

// One condition row of a therapy protocol (a ZePrDt row), as far as matching reads it.
struct ProtocolCondition {
    QString ProNo;
    QString ProSubN;
    QString ProNote;
    QString ProAnd;  // character p "1": position p is required
    QString ProCond; // character p: the code of position p, a digit
    int ProAGL = 0;  // age bounds of position 23
    int ProAGH = 0;
    double ProEng = 0;    // energy threshold of position 1, codes 4 to 6
    bool ProFlg = false;  // "MUST": the protocol matches only if this row holds
};

// A protocol with its condition rows, in the order the protocol source lists them.
struct ProtocolCandidate {
    int MKEY = 0;
    QString ProNo;
    QString ProName;
    std::vector<ProtocolCondition> conditions;
};

struct MatchedProtocol {
    QString ProNo;
    QString ProName;
    int MKEY = 0;
    bool operator==(const MatchedProtocol&) const = default;
};

// The patient and the day the matching runs for.
struct MatchContext {
    bool male = true;
    double birthDate = 0; // Jet date; 0 (no birth date) counts as the year 1899
    int currentYear = QDate::currentDate().year(); // the calendar year of today
};

inline constexpr int kConditionPositions = 24;

// The code (0-9) of condition position p (1-24): a non-digit or a missing character is 0. An
// empty or all-blank text counts as all zeros; otherwise blanks are characters like any other.
int conditionCode(const QString& codes, int position);
bool conditionRequired(const QString& flags, int position);

// Age for position 23: calendar year of today minus calendar year of birth, as an unsigned
// 16-bit number (so a birth year after today wraps round to a large age).
int conditionAge(double birthDate, int currentYear);

// Whether one condition row holds for the analysis and the patient.
bool EvaluateCondition(const ProtocolCondition& row, const AnalysisResult& r,
                       const MatchContext& patient);

// Whether a protocol matches: at least one row holds and no "MUST" row fails. A protocol without
// rows never matches.
bool protocolMatches(const ProtocolCandidate& protocol, const AnalysisResult& r,
                     const MatchContext& patient);

// The matching protocols, in the order given (the source's ZeProB order). Every match is
// listed: the list has no fixed capacity.
std::vector<MatchedProtocol> MatchProtocols(const std::vector<ProtocolCandidate>& protocols,
                                            const AnalysisResult& r, const MatchContext& patient);

} // namespace viro
