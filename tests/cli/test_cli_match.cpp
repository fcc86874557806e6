#include "cli_runner.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

// Values of a measurement: every point `base`, the listed points `special`.
QString values(double base, std::initializer_list<std::pair<int, double>> special = {}) {
    QStringList items;
    for (int k = 1; k <= 24; ++k) {
        double v = base;
        for (const auto& [point, value] : special)
            if (point == k)
                v = value;
        items << QString::number(v);
    }
    return items.join(',');
}

QStringList numbersOf(const CliRun& run) {
    QStringList numbers;
    for (const QJsonValue v : run.json().array())
        numbers << v.toObject().value("ProNo").toString();
    return numbers;
}

const QString kProtocols = QStringLiteral(VIRO_STANDARD_PROTOCOLS);

TEST(MatchCli, ListsTheMatchingProtocolsWithTheirKeys) {
    // Both Lung points (1 and 7) high, all factors 1.0.
    const CliRun run = runCli({"match", "--protocols", kProtocols, "--today", "2026-01-01",
                               "--values", values(50, {{1, 80}, {7, 80}}), "--factor-mode", "1"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QJsonArray list = run.json().array();
    ASSERT_FALSE(list.isEmpty());
    const QJsonObject first = list.at(0).toObject();
    EXPECT_EQ(first.keys(), (QStringList{"MKEY", "ProName", "ProNo"}));
    EXPECT_EQ(first.value("ProNo").toString(), "S01");
    EXPECT_EQ(first.value("ProName").toString(), "Lung excess");
    EXPECT_GT(first.value("MKEY").toInt(), 0);
    EXPECT_FALSE(numbersOf(run).contains("S02"));
}

TEST(MatchCli, TodayFixesTheYearOfTheAgeRule) {
    // Low energy for a patient born in 1956: "over 60" holds from 2016 on; in 1956 itself the age
    // difference is 0, so the age position is skipped and the row holds on its energy alone.
    struct Case {
        const char* today;
        bool over60;
    };
    const Case cases[] = {{"2010-06-30", false}, {"2020-01-01", true}, {"1956-12-31", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.today);
        const CliRun run = runCli({"match", "--protocols", kProtocols, "--today", c.today,
                                   "--values", values(15), "--birth", "1956-05-01"});
        ASSERT_EQ(run.exitCode, 0) << run.err.constData();
        EXPECT_TRUE(numbersOf(run).contains("S25"));
        EXPECT_EQ(numbersOf(run).contains("S26"), c.over60);
    }
}

TEST(MatchCli, ErrorsExitWithStatusTwo) {
    const QString v = values(50);
    struct Case {
        const char* name;
        QStringList args;
        const char* message;
    };
    const Case cases[] = {
        {"no protocol file", {"--values", v}, "--protocols"},
        {"missing protocol file",
         {"--protocols", "/nonexistent/viroze.mdb", "--values", v},
         "/nonexistent/viroze.mdb"},
        {"bad today",
         {"--protocols", kProtocols, "--today", "2026-13-01", "--values", v},
         "--today"},
        {"incomplete record", {"--protocols", kProtocols, "--values", values(0)}, "value 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun run = runCli(QStringList{"match"} + c.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.constData();
        EXPECT_EQ(run.err.count('\n'), 1);
    }
}

// A protocol file that is there but cannot be read is a failure (status 1), never an empty
// list that would read as "nothing matches".
TEST(MatchCli, UnreadableProtocolsExitWithStatusOne) {
    QTemporaryDir dir;
    QFile standard(kProtocols);
    ASSERT_TRUE(standard.open(QIODevice::ReadOnly));
    const QByteArray whole = standard.readAll();
    struct Case {
        const char* name;
        QByteArray content;
    };
    const std::vector<Case> cases{
        {"not a database", QByteArray(8192, '\x5a')},
        {"no tables (an empty database)", QByteArray()},
        {"cut short", whole.left(whole.size() / 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString(c.name).left(6) + ".mdb");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.content);
        file.close();
        const CliRun run = runCli({"match", "--protocols", path, "--values", values(50)});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.out.isEmpty()) << run.out.constData();
        QList<QByteArray> lines;
        for (const QByteArray& l : run.err.split('\n'))
            if (l.startsWith("viro-cli:"))
                lines << l;
        ASSERT_EQ(lines.size(), 1) << run.err.constData();
        EXPECT_TRUE(lines[0].startsWith("viro-cli: match: " + QFile::encodeName(path)))
            << run.err.constData();
    }
}

} // namespace
