#include "cli_runner.h"

#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ProbeCli, InfoOfTheSimulatedProbe) {
    const CliRun r = runCli({"probe", "info", "--simulate-probe"});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
    EXPECT_EQ(r.out.count('\n'), 1);
    const QJsonObject info = r.json().object();
    EXPECT_EQ(info.value("serialNumber").toString(), "00A5C3170B42");
    EXPECT_EQ(info.value("hardware").toString(), "VIRO6-20051706-A02");
    EXPECT_EQ(info.value("a02").toBool(false), true);
    EXPECT_EQ(info.value("nrmConstant").toInt(), 4052);
    EXPECT_EQ(info.value("hiConstant").toInt(), 4071);
    EXPECT_EQ(info.value("usageCounter").toInt(), 1234);
    EXPECT_EQ(info.keys().size(), 6);
}

TEST(ProbeCli, ReadingsOfTheSimulatedProbe) {
    struct Case {
        QStringList args;
        int count;
    };
    const std::vector<Case> cases{
        {{"probe", "read", "--simulate-probe"}, 10},
        {{"probe", "read", "--count", "3", "--simulate-probe"}, 3},
        {{"probe", "--simulate-probe", "read", "--count=1"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliRun r = runCli(c.args);
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        const QJsonArray readings = r.json().array();
        ASSERT_EQ(readings.size(), c.count) << r.out.constData();
        int last = -1;
        for (const QJsonValue& v : readings) {
            const QJsonObject o = v.toObject();
            ASSERT_TRUE(o.contains("timeMs") && o.contains("value"));
            EXPECT_GE(o.value("timeMs").toInt(), last);
            last = o.value("timeMs").toInt();
            // The first point: 48.2 µA at 4052 counts per 200 µA is 976.5 counts, ±1 %.
            EXPECT_GE(o.value("value").toInt(), 966);
            EXPECT_LE(o.value("value").toInt(), 987);
        }
    }
}

// Without a probe plugged in; on a desk with one there is nothing to test.
TEST(ProbeCli, NoProbe) {
    if (runCli({"probe", "info"}).exitCode == 0)
        GTEST_SKIP() << "a probe is plugged in";
    for (const char* sub : {"info", "read"}) {
        SCOPED_TRACE(sub);
        const CliRun r = runCli({"probe", sub});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.out.isEmpty()) << r.out.constData();
        EXPECT_EQ(r.err, QByteArray("No probe found.\n"));
    }
}

TEST(ProbeCli, BadArguments) {
    const std::vector<QStringList> cases{
        {"probe"},
        {"probe", "write"},
        {"probe", "info", "extra"},
        {"probe", "info", "--count", "3"},
        {"probe", "read", "--count"},
        {"probe", "read", "--count", "0"},
        {"probe", "read", "--count", "-4"},
        {"probe", "read", "--count", "many"},
        {"probe", "read", "--fast"},
    };
    for (const QStringList& args : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const CliRun r = runCli(args + QStringList{"--simulate-probe"});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.isEmpty()) << r.out.constData();
        EXPECT_TRUE(r.err.startsWith("viro-cli: ")) << r.err.constData();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
    }
}

} // namespace
