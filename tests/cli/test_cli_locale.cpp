#include "cli_runner.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonParseError>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <langinfo.h>
#include <locale.h>
#endif

#include <vector>

namespace {

// A locale that writes decimal commas, made by scripts/setup.sh.
const char* const kCommaLocale = "de_DE.UTF-8";

bool commaLocaleInstalled() {
#ifdef Q_OS_UNIX
    const locale_t locale = newlocale(LC_ALL_MASK, kCommaLocale, locale_t(nullptr));
    if (!locale)
        return false;
    const bool comma = QByteArray(nl_langinfo_l(RADIXCHAR, locale)) == ",";
    freelocale(locale);
    return comma;
#else
    return false;
#endif
}

QProcessEnvironment localeEnv(const char* locale) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", locale);
    env.insert("LANG", locale);
    return env;
}

QJsonDocument strictJson(const QByteArray& text) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError)
        << error.errorString().toStdString() << " at " << error.offset << ": "
        << text.mid(std::max(0, error.offset - 40), 80).constData();
    return doc;
}

class LocaleCli : public ::testing::Test {
protected:
    void SetUp() override {
        if (!commaLocaleInstalled())
            GTEST_SKIP() << "locale " << kCommaLocale
                         << " is not installed; scripts/setup.sh makes it (localedef)";
    }
};

// Output is the same JSON whatever the user's locale: numbers keep their '.' and read back
// to the same doubles.
TEST_F(LocaleCli, JsonIsTheSameInEveryLocale) {
    QTemporaryDir dir;
    // A settings file with decimals on lines 6 and 66, enciphered by the tool.
    QByteArray settings;
    for (int line = 1; line <= 78; ++line) {
        if (line == 6 || line == 66) {
            const CliRun enc = runCli({"cipher", "encrypt", "--key", "5", "0.95"});
            ASSERT_EQ(enc.exitCode, 0) << enc.err.constData();
            settings += enc.out.trimmed();
        }
        settings += "\r\n";
    }
    QFile file(dir.filePath("zedefe6c.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(settings);
    file.close();

    const QString values = "48.2,39.5,35.1,52.7,44.0,61.3,45.9,41.2,30.4,55.0,47.8,58.6,"
                           "33.3,28.7,41.9,37.5,26.4,39.0,35.6,24.9,44.2,40.1,29.8,36.7";
    const QString access =
        QFileInfo(QStringLiteral(__FILE__))
            .dir()
            .absoluteFilePath(QStringLiteral("../records/access/test2V2000.mdb"));
    const std::vector<QStringList> commands{
        {"analyze", "--values", values, "--quality", values, "--date", "2024-05-01T10:30:00",
         "--factor-mode", "2", "--factors", "1.1,0.9,1.05,0.95,1.2,0.85,1,1.15,0.8,1.25,0.9,1.1"},
        {"match", "--protocols", QStringLiteral(VIRO_STANDARD_PROTOCOLS), "--today", "2026-01-01",
         "--values", values},
        {"settings", "show", "--file", file.fileName()},
        {"access", "dump", access},
        {"probe", "info", "--simulate-probe"},
    };
    for (const QStringList& args : commands) {
        SCOPED_TRACE(args.first().toStdString());
        const CliRun plain = runCli(args, localeEnv("C"));
        const CliRun comma = runCli(args, localeEnv(kCommaLocale));
        ASSERT_EQ(comma.exitCode, 0) << comma.err.constData();
        EXPECT_TRUE(comma.err.isEmpty()) << comma.err.constData();
        const QJsonDocument doc = strictJson(comma.out);
        EXPECT_FALSE(doc.isNull());
        EXPECT_EQ(comma.out, plain.out);
    }
}

// Numbers given are read with a '.', never with the locale's decimal comma.
TEST_F(LocaleCli, InputIsReadInTheCLocale) {
    QStringList values;
    for (int i = 0; i < 24; ++i)
        values << "50.5";
    const CliRun run = runCli({"analyze", "--values", values.join(','), "--quality",
                               values.join(','), "--factor-mode", "2", "--factors",
                               "1.5,1,1,1,1,1,1,1,1,1,1,1", "--date", "2024-05-01"},
                              localeEnv(kCommaLocale));
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const QJsonObject o = strictJson(run.out).object();
    EXPECT_EQ(o.value("Average").toDouble(), 50.5);
    EXPECT_EQ(o.value("QualityAverage").toDouble(), 50.5);
    EXPECT_EQ(o.value("Corrected").toArray().at(0).toDouble(), 75.75); // Lung: 50.5 * 1.5

    // "50,5" is two items of the list, not fifty and a half.
    const CliRun comma = runCli({"analyze", "--values", "50,5"}, localeEnv(kCommaLocale));
    EXPECT_EQ(comma.exitCode, 2);
    EXPECT_TRUE(comma.err.contains("--values needs 24 comma-separated numbers, got 2"))
        << comma.err.constData();
}

TEST_F(LocaleCli, ProbeReadingsAreJson) {
    const CliRun run =
        runCli({"probe", "read", "--count", "3", "--simulate-probe"}, localeEnv(kCommaLocale));
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(strictJson(run.out).array().size(), 3);
}

} // namespace
