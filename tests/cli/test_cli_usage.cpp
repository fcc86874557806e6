#include "cli_runner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

const QStringList kCommands{"access", "analyze", "chart", "cipher", "match", "probe", "settings"};

QString values24() {
    QStringList items;
    for (int i = 0; i < 24; ++i)
        items << "50";
    return items.join(',');
}

TEST(UsageCli, HelpGoesToStandardOutput) {
    struct Case {
        QStringList args;
        QStringList mentions; // texts the help must contain
    };
    std::vector<Case> cases{
        {{"--help"}, kCommands},
        {{"-h"}, kCommands},
        // Help wins over the mistakes around it.
        {{"analyze", "--values", "1,2", "--help"}, {"usage: viro-cli analyze", "--factors"}},
        {{"chart", "--help"},
         {"usage: viro-cli chart", "--monochrome", "--values", "bar", "yinyang-ed-b", "quality"}},
        {{"match", "-h"}, {"usage: viro-cli match", "--protocols", "--today", "--order"}},
        {{"probe", "--help", "--bogus"}, {"probe read", "--count", "--simulate-probe"}},
        {{"cipher", "--help"}, {"cipher encrypt", "cipher decrypt", "--key"}},
        {{"settings", "--help"}, {"settings show", "--file"}},
        {{"access", "--help"}, {"access dump FILE"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliRun r = runCli(c.args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_FALSE(r.err.contains("viro-cli:")) << r.err.constData();
        for (const QString& text : c.mentions)
            EXPECT_TRUE(r.out.contains(text.toUtf8())) << text.toStdString() << "\n"
                                                       << r.out.constData();
    }
}

// The list of chart names in the usage text is the program's own: every chart it draws.
TEST(UsageCli, ChartHelpNamesEveryChart) {
    const CliRun help = runCli({"chart", "--help"});
    ASSERT_EQ(help.exitCode, 0);
    const QString text = QString::fromUtf8(help.out);
    const qsizetype start = text.indexOf("NAME:");
    ASSERT_GE(start, 0) << help.out.constData();
    // The list runs to the blank line before the options.
    const QString list = text.mid(start + 5, text.indexOf("\n\n", start) - start - 5);
    const QStringList names = list.split(QRegularExpression("[\\s,]+"), Qt::SkipEmptyParts);
    EXPECT_EQ(names.size(), 20);
    // Every listed name is a chart: an unknown one is refused with the list of names.
    for (const QString& name : names) {
        const CliRun r = runCli({"chart", name, "--values", values24()});
        EXPECT_TRUE(r.err.contains("--out FILE.png is required")) << name.toStdString();
    }
    const CliRun unknown = runCli({"chart", "pie", "--values", values24(), "--out", "x.png"});
    EXPECT_TRUE(unknown.err.contains(names.join(", ").toUtf8())) << unknown.err.constData();
}

TEST(UsageCli, Version) {
    for (const char* option : {"--version", "-v"}) {
        SCOPED_TRACE(option);
        const CliRun r = runCli({option});
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(QRegularExpression("^viro-cli \\d+\\.\\d+\\.\\d+\\n$")
                        .match(QString::fromUtf8(r.out))
                        .hasMatch())
            << r.out.constData();
    }
}

// The GUI program answers --help and --version without a window, so without a display.
TEST(UsageGui, HelpAndVersionNeedNoDisplay) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    struct Case {
        QStringList args;
        const char* pattern;
    };
    const std::vector<Case> cases{
        {{"--help"}, "^usage: viro .*--simulate-probe"},
        {{"-h"}, "^usage: viro "},
        {{"--simulate-probe", "--help"}, "^usage: viro "},
        {{"--version"}, "^viro \\d+\\.\\d+\\.\\d+\\n$"},
        {{"-v"}, "^viro \\d+\\.\\d+\\.\\d+\\n$"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VIRO_APP_PATH), c.args);
        ASSERT_TRUE(p.waitForFinished(30000)) << "still running: a window was opened";
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        EXPECT_TRUE(QRegularExpression(c.pattern, QRegularExpression::DotMatchesEverythingOption)
                        .match(out)
                        .hasMatch())
            << out.toStdString();
    }
}

// Bad lines: status 2, nothing on standard output, one "viro-cli: " line saying what is wrong.
TEST(UsageCli, ArgumentRules) {
    const QString v = values24();
    struct Case {
        QStringList args;
        const char* message;
    };
    const std::vector<Case> cases{
        {{}, "viro-cli: missing command"},
        {{"--bogus"}, "viro-cli: unknown option --bogus"},
        {{"--bogus", "analyze", "--values", v}, "unknown option --bogus"},
        {{"frobnicate"}, "viro-cli: unknown command frobnicate"},
        // A value that starts with "--" is the next option, not the value.
        {{"analyze", "--values", "--sex", "male"}, "analyze: --values needs a value"},
        {{"analyze", "--values", v, "--birth", "--date", "2024-01-01"},
         "analyze: --birth needs a value"},
        {{"analyze", "--values", v, "--values", v}, "analyze: --values is given twice"},
        {{"analyze", "--values", v, "--sex", "male", "--sex=female"},
         "analyze: --sex is given twice"},
        {{"analyze", "--values", v, "-sex", "male", "--sex", "male"},
         "analyze: --sex is given twice"},
        {{"analyze", "--values", v, "--sexx", "male"}, "analyze: unknown option --sexx"},
        {{"match", "--protocols", "a", "--protocols", "b", "--values", v},
         "match: --protocols is given twice"},
        {{"probe", "info", "--simulate-probe", "--simulate-probe"},
         "probe: --simulate-probe is given twice"},
        {{"probe", "read", "--count", "--simulate-probe"}, "probe: --count needs a value"},
        {{"cipher", "encrypt", "--key", "1", "--key", "2", "abc"}, "cipher: --key is given twice"},
        {{"settings", "show", "--file", "a", "--file", "b"}, "settings: --file is given twice"},
        {{"access", "dump", "--verbose", "x.mdb"}, "access: unknown option --verbose"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliRun r = runCli(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.isEmpty()) << r.out.constData();
        EXPECT_TRUE(r.err.startsWith("viro-cli: ")) << r.err.constData();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.constData();
    }
}

// A text that starts with a dash goes after "--", which ends the options.
TEST(UsageCli, DoubleDashEndsTheOptions) {
    const CliRun enc = runCli({"cipher", "encrypt", "--key", "3", "--", "-0.5"});
    ASSERT_EQ(enc.exitCode, 0) << enc.err.constData();
    const CliRun dec =
        runCli({"cipher", "decrypt", "--key", "3", QString::fromUtf8(enc.out).trimmed()});
    ASSERT_EQ(dec.exitCode, 0) << dec.err.constData();
    EXPECT_EQ(dec.out, "-0.5\n");
}

// Output that cannot be written fails the run: a script must not take a cut-off result for a
// whole one.
TEST(UsageCli, OutputThatCannotBeWrittenFails) {
    if (!QFileInfo::exists("/dev/full"))
        GTEST_SKIP() << "this system has no /dev/full to write to";
    QTemporaryDir dir;
    const QString protocols = QStringLiteral(VIRO_STANDARD_PROTOCOLS);
    const QString access =
        QFileInfo(QStringLiteral(__FILE__))
            .dir()
            .absoluteFilePath(QStringLiteral("../records/access/test2V2000.mdb"));
    const std::vector<QStringList> cases{
        {"analyze", "--values", values24(), "--date", "2024-05-01"},
        {"match", "--protocols", protocols, "--values", values24()},
        {"cipher", "encrypt", "--key", "2", "some text"},
        {"probe", "read", "--simulate-probe", "--count", "2"},
        {"access", "dump", access},
        {"analyze", "--help"},
        {"--help"},
        {"--version"},
    };
    for (const QStringList& args : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        QProcess p;
        p.setStandardOutputFile(QStringLiteral("/dev/full"));
        p.start(QStringLiteral(VIRO_CLI_PATH), args);
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_EQ(p.exitCode(), 1);
        const QByteArray err = p.readAllStandardError();
        EXPECT_TRUE(err.contains("viro-cli: cannot write the output")) << err.constData();
    }
}

} // namespace
