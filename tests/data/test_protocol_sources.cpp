#include "analysis/jet_date.h"
#include "analysis/meridian_model.h"
#include "data/src/standard_protocols.h"
#include "therapy/protocol_rules.h"

#include <gtest/gtest.h>

#include <QSet>

#include <vector>

namespace viro {
namespace {

// The classes and patient a protocol is matched against, in the terms the protocols use.
struct PatientState {
    int bodyEnergy = 0;
    int upDown = 0;
    int leftRight = 0;
    int yinYang = 0;
    int ans = 0;
    std::array<int, 13> left{}; // point class by meridian number (1-12)
    std::array<int, 13> right{};
    std::array<int, 5> element{}; // Wood, Fire, Earth, Metal, Water
    double average = 45;
    int age = 40; // calendar years; 0 skips the age position
    bool male = true;
};

constexpr int kYear = 2026;

AnalysisResult resultOf(const PatientState& s) {
    AnalysisResult r;
    r.BodyEnergyClass = s.bodyEnergy;
    r.UpDownClass = s.upDown;
    r.LeftRightClass = s.leftRight;
    r.YinYangClass = s.yinYang;
    r.AnsClass = s.ans;
    r.Average = s.average;
    for (int m = 1; m <= kMeridianCount; ++m) {
        r.PointClass[size_t(leftPointOf(m) - 1)] = s.left[size_t(m)];
        r.PointClass[size_t(rightPointOf(m) - 1)] = s.right[size_t(m)];
    }
    const ElementRow rows[] = {Wood, Fire, Earth, Metal, Water};
    for (int i = 0; i < 5; ++i)
        r.ElementClass[rows[i]][BothMembers] = s.element[size_t(i)];
    return r;
}

TEST(ConditionWords, EncodeToTheStoredTexts) {
    // Expected texts counted out by hand: position p is character p.
    struct Case {
        const char* words;
        const char* codes;
        const char* required;
    };
    const std::vector<Case> cases{
        {"LU=hyper", "000002000000000000000000", "000000000000000000000000"},
        {"updown=strong! HT=hyper!", "020000000200000000000000", "010000000100000000000000"},
        {"energy=below age=from", "600000000000000000000010", "000000000000000000000000"},
        {"BL=normal!", "000000000000000000000000", "000000000000000010000000"},
        {"sex=female water=hypo", "000000000000000000000102", "000000000000000000000000"},
        {"yinyang=low ans=atypical", "000110000000000000000000", "000000000000000000000000"},
        {"LI=either wood=hyper leftright=atypical!", "001000300000000002000000",
         "001000000000000000000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        QString required, codes, message;
        ASSERT_TRUE(encodeConditionWords(c.words, &required, &codes, &message))
            << message.toStdString();
        EXPECT_EQ(codes, QLatin1String(c.codes));
        EXPECT_EQ(required, QLatin1String(c.required));
    }
}

TEST(ConditionWords, RefuseWordsTheMatchingCannotUse) {
    struct Case {
        const char* words;
        const char* messagePart;
    };
    const std::vector<Case> cases{
        {"", "no condition words"},       {"LU", "position=label"},
        {"XX=hyper", "unknown position"}, {"LU=strong", "not a label"},
        {"yinyang=hyper", "not a label"}, {"sex=other", "not a label"},
        {"LU=hyper LU=hypo", "twice"},    {"LU=normal", "only counts when required"},
        {"age=from!", "no effect"},       {"sex=male!", "no effect"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words);
        QString required, codes, message;
        EXPECT_FALSE(encodeConditionWords(c.words, &required, &codes, &message));
        EXPECT_TRUE(message.contains(QLatin1String(c.messagePart))) << message.toStdString();
    }
}

// A complete, valid protocol in source form; cases change one line of it.
QString validProtocol() {
    return QStringLiteral("protocol: T1\n"
                          "name: Test\n"
                          "text: text\n"
                          "acupuncture: a\nherbs: b\nacupressure: c\nnutrition: d\n"
                          "contraindications: e\nsoup: f\nherb-tea: g\nmassage: h\n"
                          "condition: Lung high\n"
                          "note: both Lung points high\n"
                          "when: LU=hyper\n");
}

bool readProtocols(const QString& text, std::vector<StandardProtocol>* out, SourceError* error) {
    std::vector<SourceField> fields;
    if (!parseSourceFields(text, QStringLiteral("p.txt"), &fields, error))
        return false;
    return readStandardProtocols(fields, QStringLiteral("p.txt"), out, error);
}

TEST(ProtocolSource, ReadsAProtocolIntoItsStoredForm) {
    std::vector<StandardProtocol> protocols;
    SourceError error;
    ASSERT_TRUE(readProtocols(validProtocol() + "must: yes\n"
                                                "condition: Old and weak\n"
                                                "note: low average, over 60\n"
                                                "when: energy=below age=between\n"
                                                "energy: 25\nage: 60-90\n",
                              &protocols, &error))
        << error.toString().toStdString();
    ASSERT_EQ(protocols.size(), 1u);
    const StandardProtocol& p = protocols[0];
    EXPECT_EQ(p.number, QStringLiteral("T1"));
    EXPECT_EQ(p.advice[0], QStringLiteral("a"));
    EXPECT_EQ(p.advice[7], QStringLiteral("h"));
    ASSERT_EQ(p.conditions.size(), 2u);
    EXPECT_TRUE(p.conditions[0].must);
    EXPECT_EQ(p.conditions[0].codes, QStringLiteral("000002000000000000000000"));
    EXPECT_FALSE(p.conditions[1].must);
    EXPECT_EQ(p.conditions[1].codes, QStringLiteral("600000000000000000000030"));
    EXPECT_EQ(p.conditions[1].energy, 25);
    EXPECT_EQ(p.conditions[1].ageLow, 60);
    EXPECT_EQ(p.conditions[1].ageHigh, 90);
}

TEST(ProtocolSource, RefusesProtocolsThatWouldBeStoredWrongly) {
    struct Case {
        const char* name;
        QString text;
        const char* messagePart;
    };
    auto replaced = [](const char* from, const char* to) {
        return validProtocol().replace(QLatin1String(from), QLatin1String(to));
    };
    const std::vector<Case> cases{
        {"field before a protocol", "name: x\n" + validProtocol(), "before the first"},
        {"number too long", replaced("protocol: T1", "protocol: T123456789012"), "number"},
        {"number used twice", validProtocol() + validProtocol(), "used twice"},
        {"name too long", replaced("name: Test", "name: A name of twenty-five chars"), "name must"},
        {"advice missing", replaced("soup: f\n", ""), "no \"soup:\""},
        {"advice twice", replaced("soup: f\n", "soup: f\nsoup: g\n"), "twice"},
        {"unknown field", replaced("soup: f\n", "stew: f\n"), "unknown field"},
        {"no condition", validProtocol().section("condition:", 0, 0), "no condition"},
        {"condition without when", replaced("when: LU=hyper\n", ""), "without \"when:\""},
        {"condition without note", replaced("note: both Lung points high\n", ""),
         "without \"note:\""},
        {"note too long",
         replaced("note: both Lung points high",
                  "note: both Lung points are higher than the band on both sides"),
         "note must"},
        {"protocol field after a condition", validProtocol() + "herbs: again\n", "does not belong"},
        {"bad must", validProtocol() + "must: maybe\n", "yes"},
        {"energy code without threshold", replaced("LU=hyper", "energy=above"), "needs"},
        {"threshold without energy code", validProtocol() + "energy: 30\n", "not used"},
        {"age code without bounds", replaced("LU=hyper", "age=from"), "needs \"age:\""},
        {"age bounds without age code", validProtocol() + "age: 10-20\n", "not used"},
        {"age from without lower bound", replaced("LU=hyper", "age=from") + "age: -20\n",
         "lower bound"},
        {"age to without upper bound", replaced("LU=hyper", "age=to") + "age: 20-\n",
         "upper bound"},
        {"age bounds reversed", replaced("LU=hyper", "age=between") + "age: 40-20\n", "exceeds"},
        {"age not a range", replaced("LU=hyper", "age=from") + "age: sixty\n", "FROM-TO"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<StandardProtocol> protocols;
        SourceError error;
        EXPECT_FALSE(readProtocols(c.text, &protocols, &error));
        EXPECT_TRUE(error.message.contains(QLatin1String(c.messagePart)))
            << error.message.toStdString();
    }
}

TEST(ProtocolSource, ReferencesTakeTheNamedReferenceText) {
    ReferenceEntry lung;
    lung.key = 1;
    lung.texts.insert("DtMH3", "LU5 and LU6");
    ReferenceEntry stomach;
    stomach.key = 12;
    stomach.texts.insert("DtML4", "warm congee");
    const std::vector<ReferenceEntry> entries{lung, stomach};

    std::vector<StandardProtocol> protocols(1);
    protocols[0].advice[0] = "= LU DtMH3";
    protocols[0].advice[3] = "=ST DtML4";
    protocols[0].text = "plain text = stays";
    SourceError error;
    ASSERT_TRUE(resolveProtocolReferences(&protocols, entries, &error))
        << error.toString().toStdString();
    EXPECT_EQ(protocols[0].advice[0], QStringLiteral("LU5 and LU6"));
    EXPECT_EQ(protocols[0].advice[3], QStringLiteral("warm congee"));
    EXPECT_EQ(protocols[0].text, QStringLiteral("plain text = stays"));

    for (const char* bad : {"= XX DtMH3", "= LU DtML9", "= ST DtMH3", "=LU"}) {
        SCOPED_TRACE(bad);
        std::vector<StandardProtocol> p(1);
        p[0].advice[1] = bad;
        EXPECT_FALSE(resolveProtocolReferences(&p, entries, &error));
    }
}

class StandardProtocolSources : public ::testing::Test {
protected:
    void SetUp() override {
        SourceError error;
        ASSERT_TRUE(loadReferenceEntries(VIRO_DATA_SOURCE_DIR "/texts", &entries, &error))
            << error.toString().toStdString();
        ASSERT_TRUE(loadStandardProtocols(VIRO_DATA_SOURCE_DIR "/protocols.txt", entries,
                                          &protocols, &error))
            << error.toString().toStdString();
    }

    // Names of the protocols the program's matching lists for this state.
    QSet<QString> matching(const PatientState& s) const {
        const AnalysisResult r = resultOf(s);
        const MatchContext patient{s.male, jetFromDate(QDate(kYear - s.age, 6, 1)), kYear};
        QSet<QString> names;
        for (const StandardProtocol& p : protocols) {
            ProtocolCandidate candidate;
            for (const StandardCondition& c : p.conditions) {
                ProtocolCondition row;
                row.ProCond = c.codes;
                row.ProAnd = c.required;
                row.ProAGL = c.ageLow;
                row.ProAGH = c.ageHigh;
                row.ProEng = c.energy;
                row.ProFlg = c.must;
                candidate.conditions.push_back(row);
            }
            if (protocolMatches(candidate, r, patient))
                names.insert(p.name);
        }
        return names;
    }

    std::vector<ReferenceEntry> entries;
    std::vector<StandardProtocol> protocols;
};

TEST_F(StandardProtocolSources, AreEnoughAndComplete) {
    EXPECT_GE(protocols.size(), 30u);
    for (const StandardProtocol& p : protocols) {
        SCOPED_TRACE(p.number.toStdString());
        EXPECT_FALSE(p.text.isEmpty());
        for (const QString& a : p.advice) {
            EXPECT_FALSE(a.trimmed().isEmpty());
            EXPECT_FALSE(a.startsWith('=')) << "unresolved reference " << a.toStdString();
        }
    }
}

// Each meridian state, alone, lists exactly its own protocol.
TEST_F(StandardProtocolSources, MatchEachMeridianStateWithItsOwnProtocol) {
    for (int m = 1; m <= 12; ++m) {
        const QString name = meridian(m).name.chopped(QStringLiteral(" Meridian").size());
        for (int cls : {2, -1}) {
            SCOPED_TRACE((name + (cls > 0 ? " high" : " low")).toStdString());
            PatientState s;
            s.left[size_t(m)] = cls;
            s.right[size_t(m)] = cls;
            const QString expected = name + (cls > 0 ? " excess" : " deficit");
            EXPECT_EQ(matching(s), QSet<QString>{expected});
            // One side alone is not a consistent state: nothing is listed.
            s.right[size_t(m)] = 0;
            EXPECT_TRUE(matching(s).isEmpty());
        }
    }
}

TEST_F(StandardProtocolSources, MatchTheGeneralStates) {
    struct Case {
        const char* name;
        PatientState state;
        QSet<QString> expected;
    };
    auto state = [](auto change) {
        PatientState s;
        change(s);
        return s;
    };
    const std::vector<Case> cases{
        {"nothing atypical", PatientState{}, {}},
        {"low energy",
         state([](PatientState& s) {
             s.bodyEnergy = -2;
             s.average = 26;
         }),
         {"Low body energy"}},
        {"low energy at 65",
         state([](PatientState& s) {
             s.bodyEnergy = -3;
             s.average = 18.7;
             s.age = 65;
         }),
         {"Low body energy", "Low energy over 60"}},
        {"average 25.9 truncates to 25, not below 25",
         state([](PatientState& s) {
             s.bodyEnergy = -2;
             s.average = 25.9;
             s.age = 65;
         }),
         {"Low body energy"}},
        {"low average at 59",
         state([](PatientState& s) {
             s.bodyEnergy = -3;
             s.average = 18;
             s.age = 59;
         }),
         {"Low body energy"}},
        {"high energy", state([](PatientState& s) { s.bodyEnergy = 3; }), {"High body energy"}},
        {"mental stress", state([](PatientState& s) { s.upDown = 1; }), {"Mental stress"}},
        {"low spirits", state([](PatientState& s) { s.upDown = -2; }), {"Low spirits"}},
        {"left higher", state([](PatientState& s) { s.leftRight = 2; }), {"Left-right imbalance"}},
        {"right higher",
         state([](PatientState& s) { s.leftRight = -1; }),
         {"Left-right imbalance"}},
        {"Yin above Yang", state([](PatientState& s) { s.yinYang = 1; }), {"Yin above Yang"}},
        {"Yang above Yin", state([](PatientState& s) { s.yinYang = -3; }), {"Yang above Yin"}},
        {"autonomic", state([](PatientState& s) { s.ans = 2; }), {"Autonomic imbalance"}},
        {"stress with a hot heart",
         state([](PatientState& s) {
             s.upDown = 2;
             s.left[3] = s.right[3] = 2;
         }),
         {"Mental stress", "Heart excess", "Stress with Heart heat"}},
        {"high Liver in a woman",
         state([](PatientState& s) {
             s.male = false;
             s.left[8] = s.right[8] = 1;
         }),
         {"Liver excess", "Liver tension (women)"}},
        {"weak Earth", state([](PatientState& s) { s.element[2] = -1; }), {"Earth element weak"}},
        {"weak Water", state([](PatientState& s) { s.element[4] = -2; }), {"Water element weak"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(matching(c.state), c.expected);
    }
}

} // namespace
} // namespace viro
