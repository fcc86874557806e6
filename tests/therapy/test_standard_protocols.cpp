// The shipped standard protocols, matched by the program's own rules against measurements of
// the states they are written for.
#include "therapy/protocol_source.h"

#include "analysis/compute_analysis.h"
#include "analysis/jet_date.h"
#include "records/connection.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace viro;

constexpr int kYear = 2026;
const CorrectionFactors kOnes{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

struct Patient {
    bool male = true;
    int age = 40;
};

MeasurementRecord flat(double v) {
    MeasurementRecord m;
    m.values.fill(v);
    m.dateTime = jetFromDate(QDate(kYear, 3, 1));
    return m;
}

void setMeridian(MeasurementRecord& m, int meridianNumber, double v) {
    m.values[leftPointOf(meridianNumber) - 1] = v;
    m.values[rightPointOf(meridianNumber) - 1] = v;
}

std::vector<ProtocolCandidate> standardProtocols() {
    const QString path = QStringLiteral(VIRO_STANDARD_PROTOCOLS);
    EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    Connection connection(ConnectionRole::StandardProtocols);
    QString error;
    std::vector<ProtocolCandidate> protocols;
    EXPECT_TRUE(connection.open(path, &error)) << error.toStdString();
    EXPECT_TRUE(loadProtocolCandidates(connection.database(), &protocols, &error))
        << error.toStdString();
    return protocols;
}

QStringList matchedNumbers(const std::vector<ProtocolCandidate>& protocols,
                           const MeasurementRecord& m, const Patient& patient) {
    const auto r = ComputeAnalysis(m, patient.male, jetFromDate(QDate(kYear - patient.age, 5, 1)),
                                   kOnes);
    EXPECT_TRUE(r.has_value());
    QStringList numbers;
    if (!r)
        return numbers;
    const MatchContext context{patient.male, jetFromDate(QDate(kYear - patient.age, 5, 1)), kYear};
    for (const MatchedProtocol& p : MatchProtocols(protocols, *r, context))
        numbers << p.ProNo;
    return numbers;
}

// S01 to S24: excess then deficit of each meridian in this order.
constexpr std::array<int, 12> kMeridianProtocolOrder{1, 2, 3, 4, 5, 6, 7, 12, 8, 11, 9, 10};

QString number(int n) { return QStringLiteral("S%1").arg(n, 2, 10, QChar('0')); }

TEST(StandardProtocols, EachMeridianProtocolMatchesItsOwnState) {
    const auto protocols = standardProtocols();
    ASSERT_GE(protocols.size(), 30u);
    for (int i = 0; i < 12; ++i) {
        const int m = kMeridianProtocolOrder[size_t(i)];
        SCOPED_TRACE(meridian(m).name.toStdString());
        MeasurementRecord excess = flat(50);
        setMeridian(excess, m, 80);
        MeasurementRecord deficit = flat(50);
        setMeridian(deficit, m, 20);
        const QStringList high = matchedNumbers(protocols, excess, {});
        const QStringList low = matchedNumbers(protocols, deficit, {});
        EXPECT_TRUE(high.contains(number(2 * i + 1))) << high.join(' ').toStdString();
        EXPECT_FALSE(high.contains(number(2 * i + 2))) << high.join(' ').toStdString();
        EXPECT_TRUE(low.contains(number(2 * i + 2))) << low.join(' ').toStdString();
        EXPECT_FALSE(low.contains(number(2 * i + 1))) << low.join(' ').toStdString();
    }
}

TEST(StandardProtocols, EachGeneralProtocolMatchesItsOwnState) {
    const auto protocols = standardProtocols();
    auto limbs = [](double hand, double foot) {
        MeasurementRecord m = flat(foot);
        for (int k = 0; k < 12; ++k)
            m.values[size_t(k)] = hand;
        return m;
    };
    auto where = [](std::function<bool(int)> high) {
        MeasurementRecord m = flat(50);
        for (int k = 1; k <= 24; ++k)
            if (high(k))
                m.values[size_t(k - 1)] = 70;
        return m;
    };
    MeasurementRecord spread = flat(50); // Hi/Low = 100 / 50
    for (int k = 1; k <= 3; ++k)
        spread.values[size_t(k - 1)] = 100;
    MeasurementRecord heartStress = limbs(70, 50);
    setMeridian(heartStress, 3, 100);
    MeasurementRecord liver = flat(50);
    setMeridian(liver, 8, 80);
    MeasurementRecord earth = flat(50);
    setMeridian(earth, 7, 20);
    setMeridian(earth, 12, 20);
    MeasurementRecord water = flat(50);
    setMeridian(water, 9, 20);
    setMeridian(water, 10, 20);

    struct Case {
        const char* protocol;
        const char* state;
        MeasurementRecord m;
        Patient patient;
    };
    const Case cases[] = {
        {"S25", "low body energy", flat(15), {}},
        {"S26", "low energy at 70", flat(15), {true, 70}},
        {"S27", "high body energy", flat(80), {}},
        {"S28", "mental stress: hands strong", limbs(70, 50), {}},
        {"S29", "low spirits: hands weak", limbs(40, 60), {}},
        {"S30", "left side strong", where([](int k) { return isLeftPoint(k); }), {}},
        {"S31", "Yin above Yang", where([](int k) { return isYinZang(meridianOfPoint(k)); }),
         {}},
        {"S32", "Yang above Yin", where([](int k) { return !isYinZang(meridianOfPoint(k)); }),
         {}},
        {"S33", "one group far above the others", spread, {}},
        {"S34", "stress with a hot Heart", heartStress, {}},
        {"S35", "Liver excess in a woman", liver, {false, 40}},
        {"S36", "Earth weak", earth, {}},
        {"S37", "Water weak", water, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.state);
        const QStringList matched = matchedNumbers(protocols, c.m, c.patient);
        EXPECT_TRUE(matched.contains(c.protocol)) << matched.join(' ').toStdString();
    }

    // The narrower protocols stay quiet outside their state.
    EXPECT_FALSE(matchedNumbers(protocols, flat(15), {true, 40}).contains("S26"));
    EXPECT_FALSE(matchedNumbers(protocols, liver, {true, 40}).contains("S35"));
}

TEST(StandardProtocols, ABalancedManOfFortyMatchesNoMeridianProtocol) {
    const auto protocols = standardProtocols();
    const QStringList matched = matchedNumbers(protocols, flat(50), {true, 40});
    for (int n = 1; n <= 24; ++n)
        EXPECT_FALSE(matched.contains(number(n))) << number(n).toStdString();
}

} // namespace
