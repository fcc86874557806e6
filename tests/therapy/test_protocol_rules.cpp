#include "therapy/protocol_rules.h"

#include "analysis/jet_date.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

namespace {

using namespace viro;

// 24 code characters from {position: code}; every other position "0".
QString codes(const std::map<int, int>& set) {
    QString text(kConditionPositions, QChar('0'));
    for (const auto& [p, c] : set)
        text[p - 1] = QChar('0' + c);
    return text;
}

QString required(const std::set<int>& positions) {
    QString text(kConditionPositions, QChar('0'));
    for (int p : positions)
        text[p - 1] = QChar('1');
    return text;
}

constexpr int kYear = 2026;
double bornIn(int year) { return jetFromDate(QDate(year, 6, 1)); }

struct Case {
    const char* name;
    QString cond;
    QString flags;
    std::function<void(AnalysisResult&, ProtocolCondition&, MatchContext&)> setUp;
    bool holds;
};

void setMeridian(AnalysisResult& r, int m, int left, int right) {
    r.PointClass[leftPointOf(m) - 1] = left;
    r.PointClass[rightPointOf(m) - 1] = right;
}

TEST(ProtocolRules, EvaluateConditionOverPositionsAndCodes) {
    using R = AnalysisResult;
    using C = ProtocolCondition;
    using M = MatchContext;
    const std::vector<Case> cases{
        {"pos 1 code 1 with a weak body", codes({{1, 1}}), {},
         [](R& r, C&, M&) { r.BodyEnergyClass = -1; }, true},
        {"pos 1 code 1 with a normal body", codes({{1, 1}}), {}, [](R&, C&, M&) {}, false},
        {"pos 1 code 1 with a strong body", codes({{1, 1}}), {},
         [](R& r, C&, M&) { r.BodyEnergyClass = 2; }, false},
        {"pos 1 code 3 either sign", codes({{1, 3}}), {},
         [](R& r, C&, M&) { r.BodyEnergyClass = -3; }, true},
        {"pos 1 code 0 required and normal", codes({}), required({1}), [](R&, C&, M&) {}, true},
        {"pos 1 code 0 required, not normal", codes({}), required({1}),
         [](R& r, C&, M&) { r.BodyEnergyClass = 1; }, false},
        {"pos 1 code 0 not required", codes({}), {}, [](R&, C&, M&) {}, false},
        {"pos 1 code 4: Int(45.9) = 45", codes({{1, 4}}), {},
         [](R& r, C& c, M&) { r.Average = 45.9, c.ProEng = 45; }, true},
        {"pos 1 code 4: Int(46.0) != 45", codes({{1, 4}}), {},
         [](R& r, C& c, M&) { r.Average = 46.0, c.ProEng = 45; }, false},
        {"pos 1 code 5: 46 > 45", codes({{1, 5}}), {},
         [](R& r, C& c, M&) { r.Average = 46.0, c.ProEng = 45; }, true},
        {"pos 1 code 5: Int(45.9) not > 45", codes({{1, 5}}), {},
         [](R& r, C& c, M&) { r.Average = 45.9, c.ProEng = 45; }, false},
        {"pos 1 code 6: Int(44.99) < 45", codes({{1, 6}}), {},
         [](R& r, C& c, M&) { r.Average = 44.99, c.ProEng = 45; }, true},
        {"pos 1 code 7 is not a code", codes({{1, 7}}), {},
         [](R& r, C&, M&) { r.BodyEnergyClass = -1; }, false},
        {"pos 2 code 1 fragile", codes({{2, 1}}), {},
         [](R& r, C&, M&) { r.UpDownClass = -1; }, true},
        {"pos 2 code 2 strong", codes({{2, 2}}), {}, [](R& r, C&, M&) { r.UpDownClass = 2; },
         true},
        {"pos 2 code 2 against fragile", codes({{2, 2}}), {},
         [](R& r, C&, M&) { r.UpDownClass = -2; }, false},
        {"pos 3 code 1 means atypical", codes({{3, 1}}), {},
         [](R& r, C&, M&) { r.LeftRightClass = 2; }, true},
        {"pos 3 code 2 means atypical", codes({{3, 2}}), {},
         [](R& r, C&, M&) { r.LeftRightClass = -1; }, true},
        {"pos 3 code 3 with balance", codes({{3, 3}}), {}, [](R&, C&, M&) {}, false},
        {"pos 4 code 1 holds above 0", codes({{4, 1}}), {},
         [](R& r, C&, M&) { r.YinYangClass = 1; }, true},
        {"pos 4 code 1 fails below 0", codes({{4, 1}}), {},
         [](R& r, C&, M&) { r.YinYangClass = -1; }, false},
        {"pos 4 code 2 holds below 0", codes({{4, 2}}), {},
         [](R& r, C&, M&) { r.YinYangClass = -2; }, true},
        {"pos 4 code 2 fails above 0", codes({{4, 2}}), {},
         [](R& r, C&, M&) { r.YinYangClass = 2; }, false},
        {"pos 4 code 3 either", codes({{4, 3}}), {}, [](R& r, C&, M&) { r.YinYangClass = 3; },
         true},
        {"pos 5 code 2 means atypical", codes({{5, 2}}), {},
         [](R& r, C&, M&) { r.AnsClass = 1; }, true},
        {"pos 5 code 1 with a normal ANS", codes({{5, 1}}), {}, [](R&, C&, M&) {}, false},
        {"pos 6 Lung code 0 required, both normal", codes({}), required({6}),
         [](R&, C&, M&) {}, true},
        {"pos 6 Lung code 0 required, one point off", codes({}), required({6}),
         [](R& r, C&, M&) { setMeridian(r, 1, 1, 0); }, false},
        {"pos 6 Lung code 1 both low", codes({{6, 1}}), {},
         [](R& r, C&, M&) { setMeridian(r, 1, -1, -2); }, true},
        {"pos 6 Lung code 1 one low", codes({{6, 1}}), {},
         [](R& r, C&, M&) { setMeridian(r, 1, -1, 0); }, false},
        {"pos 6 Lung code 3 mixed", codes({{6, 3}}), {},
         [](R& r, C&, M&) { setMeridian(r, 1, 2, -1); }, true},
        {"pos 6 Lung code 1 mixed", codes({{6, 1}}), {},
         [](R& r, C&, M&) { setMeridian(r, 1, 2, -1); }, false},
        {"pos 6 Lung code 2 mixed", codes({{6, 2}}), {},
         [](R& r, C&, M&) { setMeridian(r, 1, 2, -1); }, false},
        {"pos 7 is Large Intestine", codes({{7, 2}}), {},
         [](R& r, C&, M&) { setMeridian(r, 6, 2, 1); }, true},
        {"pos 7 is not Pericardium", codes({{7, 2}}), {},
         [](R& r, C&, M&) { setMeridian(r, 2, 2, 1); }, false},
        {"pos 13 is Stomach", codes({{13, 1}}), {},
         [](R& r, C&, M&) { setMeridian(r, 12, -1, -1); }, true},
        {"pos 17 is Bladder", codes({{17, 2}}), {},
         [](R& r, C&, M&) { setMeridian(r, 10, 3, 1); }, true},
        {"pos 18 Wood hyper", codes({{18, 2}}), {},
         [](R& r, C&, M&) { r.ElementClass[Wood][BothMembers] = 1; }, true},
        {"pos 19 is the combined Fire row", codes({{19, 1}}), {},
         [](R& r, C&, M&) { r.ElementClass[Fire][BothMembers] = -1; }, true},
        {"pos 19 does not read Mo.Fire", codes({{19, 1}}), {},
         [](R& r, C&, M&) { r.ElementClass[MoFire][BothMembers] = -1; }, false},
        {"pos 19 reads the both-members column", codes({{19, 1}}), {},
         [](R& r, C&, M&) { r.ElementClass[Fire][YinZangMember] = -1; }, false},
        {"pos 22 Water", codes({{22, 3}}), {},
         [](R& r, C&, M&) { r.ElementClass[Water][BothMembers] = 2; }, true},
        {"a failing required position fails the row", codes({{1, 1}, {2, 1}}), required({1}),
         [](R& r, C&, M&) { r.UpDownClass = -1; }, false},
        {"age skipped for a patient born this year", codes({{1, 1}, {23, 3}}), {},
         [](R& r, C& c, M& m) {
             r.BodyEnergyClass = -1, c.ProAGL = 20, c.ProAGH = 40, m.birthDate = bornIn(kYear);
         },
         true},
        {"age alone skipped gives nothing", codes({{23, 3}}), {},
         [](R&, C& c, M& m) { c.ProAGL = 20, c.ProAGH = 40, m.birthDate = bornIn(kYear); },
         false},
        {"age 40 inside 20..40", codes({{23, 3}}), {},
         [](R&, C& c, M& m) { c.ProAGL = 20, c.ProAGH = 40, m.birthDate = bornIn(kYear - 40); },
         true},
        {"age 41 outside 20..40 fails the row", codes({{1, 1}, {23, 3}}), {},
         [](R& r, C& c, M& m) {
             r.BodyEnergyClass = -1, c.ProAGL = 20, c.ProAGH = 40,
             m.birthDate = bornIn(kYear - 41);
         },
         false},
        {"age counts calendar years only", codes({{23, 1}}), {},
         [](R&, C& c, M& m) {
             c.ProAGL = 40, m.birthDate = jetFromDate(QDate(kYear - 40, 12, 31));
         },
         true},
        {"no birth date counts from 1899", codes({{23, 2}}), {},
         [](R&, C& c, M& m) { c.ProAGH = 100, m.birthDate = 0; }, false},
        {"sex code 2 fails a man's row", codes({{1, 1}, {24, 2}}), {},
         [](R& r, C&, M&) { r.BodyEnergyClass = -1; }, false},
        {"sex code 2 holds for a woman", codes({{1, 1}, {24, 2}}), {},
         [](R& r, C&, M& m) { r.BodyEnergyClass = -1, m.male = false; }, true},
        {"sex code 1 alone holds for a man", codes({{24, 1}}), {}, [](R&, C&, M&) {}, true},
        {"sex code 3 never holds", codes({{1, 1}, {24, 3}}), {},
         [](R& r, C&, M&) { r.BodyEnergyClass = -1; }, false},
        {"required flag at 24 means nothing", codes({}), required({24}), [](R&, C&, M&) {},
         false},
        {"empty texts read as zeros", QString(), QString(), [](R&, C&, M&) {}, false},
        {"blank texts read as zeros", QString("    "), QString("  "),
         [](R& r, C&, M&) { r.BodyEnergyClass = -1; }, false},
        {"a leading blank shifts the codes", QString(" 1"), {},
         [](R& r, C&, M&) { r.UpDownClass = -1; }, true},
        {"a leading blank leaves position 1 at 0", QString(" 1"), {},
         [](R& r, C&, M&) { r.BodyEnergyClass = -1; }, false},
        {"a letter is code 0", QString("x"), {}, [](R& r, C&, M&) { r.BodyEnergyClass = -1; },
         false},
        {"a short text leaves later positions at 0", QString("1"), {},
         [](R& r, C&, M&) { r.BodyEnergyClass = -1; }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AnalysisResult r;
        ProtocolCondition row;
        row.ProCond = c.cond;
        row.ProAnd = c.flags;
        MatchContext patient;
        patient.currentYear = kYear;
        patient.birthDate = bornIn(1980);
        c.setUp(r, row, patient);
        EXPECT_EQ(EvaluateCondition(row, r, patient), c.holds);
    }
}

TEST(ProtocolRules, AgeIsAnUnsignedDifferenceOfYears) {
    EXPECT_EQ(conditionAge(bornIn(1986), 2026), 40);
    EXPECT_EQ(conditionAge(0, 2026), 127);
    EXPECT_EQ(conditionAge(bornIn(2027), 2026), 65535);
}

ProtocolCondition row(const QString& cond, bool must) {
    ProtocolCondition c;
    c.ProCond = cond;
    c.ProFlg = must;
    return c;
}

TEST(ProtocolRules, MustRowsBindWhateverTheirOrder) {
    AnalysisResult r;
    r.BodyEnergyClass = -1; // position 1 code 1 holds, code 2 does not
    const MatchContext patient{true, bornIn(1980), kYear};
    const ProtocolCondition holds = row(codes({{1, 1}}), false);
    const ProtocolCondition failingMust = row(codes({{1, 2}}), true);
    const ProtocolCondition failing = row(codes({{1, 2}}), false);
    const ProtocolCondition holdingMust = row(codes({{1, 3}}), true);

    struct Case {
        const char* name;
        std::vector<ProtocolCondition> rows;
        bool matches;
    };
    const Case cases[] = {
        {"holding row then failing MUST", {holds, failingMust}, false},
        {"failing MUST then holding row", {failingMust, holds}, false},
        {"one row holds, one fails", {failing, holds}, true},
        {"holding MUST alone", {holdingMust}, true},
        {"every row fails", {failing, failing}, false},
        {"no rows", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProtocolCandidate p;
        p.conditions = c.rows;
        EXPECT_EQ(protocolMatches(p, r, patient), c.matches);
    }
}

TEST(ProtocolRules, MatchProtocolsListsMatchesInSourceOrder) {
    AnalysisResult r;
    r.UpDownClass = 2;
    const MatchContext patient{false, bornIn(1970), kYear};
    std::vector<ProtocolCandidate> protocols{
        {7, "P10", "Stress", {row(codes({{2, 2}}), false)}},
        {3, "P02", "Fragile", {row(codes({{2, 1}}), false)}},
        {9, "P01", "Stress in women", {row(codes({{2, 2}, {24, 2}}), true)}},
        {4, "P03", "Empty", {}},
    };
    const std::vector<MatchedProtocol> expected{{"P10", "Stress", 7},
                                                {"P01", "Stress in women", 9}};
    EXPECT_EQ(MatchProtocols(protocols, r, patient), expected);
}

} // namespace
