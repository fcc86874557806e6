#include "therapy/protocol_rules.h"

#include "analysis/jet_date.h"

#include <cmath>
#include <cstdint>

namespace viro {
namespace {

// Meridians of positions 6 to 17: each Yin-Zang meridian followed by its Yang-Fu partner.
constexpr std::array<int, 12> kPositionMeridian{1, 6, 2, 5, 3, 4, 7, 12, 8, 11, 9, 10};
// Element table rows of positions 18 to 22: Wood, Fire (the combined row), Earth, Metal, Water.
constexpr std::array<int, 5> kPositionElement{Wood, Fire, Earth, Metal, Water};

const QString& effective(const QString& text) {
    static const QString zeros(kConditionPositions, QChar('0'));
    return text.trimmed().isEmpty() ? zeros : text;
}

// The common class codes: 0 normal (only when required), 1 below 0, 2 above 0, 3 not 0.
bool classHolds(int value, int code, bool required) {
    switch (code) {
    case 0:
        return required && value == 0;
    case 1:
        return value < 0;
    case 2:
        return value > 0;
    case 3:
        return value != 0;
    default:
        return false;
    }
}

// Codes 1 to 3 all mean "not normal".
bool atypicalHolds(int value, int code, bool required) {
    if (code == 0)
        return required && value == 0;
    return code >= 1 && code <= 3 && value != 0;
}

bool energyHolds(const ProtocolCondition& row, const AnalysisResult& r, int code,
                 bool required) {
    const double whole = std::trunc(r.Average);
    switch (code) {
    case 4:
        return whole == row.ProEng;
    case 5:
        return whole > row.ProEng;
    case 6:
        return whole < row.ProEng;
    default:
        return classHolds(r.BodyEnergyClass, code, required);
    }
}

// The metabolism codes are reversed: 1 ("Low") is a Yin/Yang class above 0.
bool metabolismHolds(int value, int code, bool required) {
    switch (code) {
    case 1:
        return value > 0;
    case 2:
        return value < 0;
    default:
        return classHolds(value, code, required);
    }
}

bool meridianHolds(const AnalysisResult& r, int meridianNumber, int code, bool required) {
    const int left = r.PointClass[leftPointOf(meridianNumber) - 1];
    const int right = r.PointClass[rightPointOf(meridianNumber) - 1];
    switch (code) {
    case 0:
        return required && left == 0 && right == 0;
    case 1:
        return left < 0 && right < 0;
    case 2:
        return left > 0 && right > 0;
    case 3:
        return left != 0 || right != 0;
    default:
        return false;
    }
}

bool ageHolds(const ProtocolCondition& row, int age, int code) {
    switch (code) {
    case 1:
        return age >= row.ProAGL;
    case 2:
        return age <= row.ProAGH;
    case 3:
        return row.ProAGL <= age && age <= row.ProAGH;
    default:
        return false;
    }
}

bool sexHolds(bool male, int code) { return (code == 1 && male) || (code == 2 && !male); }

// Positions 1 to 22 read the analysis.
bool positionHolds(const ProtocolCondition& row, const AnalysisResult& r, int p, int code,
                   bool required) {
    if (p == 1)
        return energyHolds(row, r, code, required);
    if (p == 2)
        return classHolds(r.UpDownClass, code, required);
    if (p == 3)
        return atypicalHolds(r.LeftRightClass, code, required);
    if (p == 4)
        return metabolismHolds(r.YinYangClass, code, required);
    if (p == 5)
        return atypicalHolds(r.AnsClass, code, required);
    if (p <= 17)
        return meridianHolds(r, kPositionMeridian[size_t(p - 6)], code, required);
    return classHolds(r.ElementClass[size_t(kPositionElement[size_t(p - 18)])][BothMembers], code,
                      required);
}

} // namespace

int conditionCode(const QString& codes, int position) {
    const QString& text = effective(codes);
    if (position < 1 || position > text.size())
        return 0;
    const QChar c = text[position - 1];
    return c >= QChar('0') && c <= QChar('9') ? c.unicode() - '0' : 0;
}

bool conditionRequired(const QString& flags, int position) {
    const QString& text = effective(flags);
    return position >= 1 && position <= text.size() && text[position - 1] == QChar('1');
}

int conditionAge(double birthDate, int currentYear) {
    const QDate birth = jetToDate(birthDate);
    const int birthYear = birth.isValid() ? birth.year() : 1899;
    return int(std::uint16_t(currentYear - birthYear));
}

bool EvaluateCondition(const ProtocolCondition& row, const AnalysisResult& r,
                       const MatchContext& patient) {
    bool holds = false;
    for (int p = 1; p <= 22; ++p) {
        const int code = conditionCode(row.ProCond, p);
        const bool required = conditionRequired(row.ProAnd, p);
        const bool h = positionHolds(row, r, p, code, required);
        if (required && !h)
            return false;
        if (h)
            holds = true;
    }
    // Age and sex bind whenever a code is set; their required flags mean nothing.
    const int age = conditionAge(patient.birthDate, patient.currentYear);
    if (age != 0) {
        const int code = conditionCode(row.ProCond, 23);
        const bool h = ageHolds(row, age, code);
        if (code != 0 && !h)
            return false;
        if (h)
            holds = true;
    }
    const int sexCode = conditionCode(row.ProCond, 24);
    const bool sex = sexHolds(patient.male, sexCode);
    if (sexCode != 0 && !sex)
        return false;
    return holds || sex;
}

bool protocolMatches(const ProtocolCandidate& protocol, const AnalysisResult& r,
                     const MatchContext& patient) {
    bool matched = false;
    for (const ProtocolCondition& row : protocol.conditions) {
        const bool holds = EvaluateCondition(row, r, patient);
        if (row.ProFlg && !holds)
            return false;
        if (holds)
            matched = true;
    }
    return matched;
}

std::vector<MatchedProtocol> MatchProtocols(const std::vector<ProtocolCandidate>& protocols,
                                            const AnalysisResult& r, const MatchContext& patient) {
    std::vector<MatchedProtocol> matches;
    for (const ProtocolCandidate& protocol : protocols)
        if (protocolMatches(protocol, r, patient))
            matches.push_back({protocol.ProNo, protocol.ProName, protocol.MKEY});
    return matches;
}

} // namespace viro
