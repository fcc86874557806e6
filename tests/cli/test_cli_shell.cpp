#include "cli_runner.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <map>
#include <vector>

namespace {

QString argsText(const QStringList& args) {
    return args.join(' ');
}

// A usage error: status 2, nothing on standard output, one "viro-cli: " line on standard error.
void expectUsageError(const CliRun& r) {
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.isEmpty()) << r.out.constData();
    EXPECT_TRUE(r.err.startsWith("viro-cli: ")) << r.err.constData();
    EXPECT_TRUE(r.err.endsWith('\n'));
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
}

QString encryptWithCli(const QString& text, int key) {
    const CliRun r = runCli({"cipher", "encrypt", "--key", QString::number(key), text});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    return QString::fromUtf8(r.out).chopped(1);
}

TEST(CipherCli, EncryptDecryptRoundTrip) {
    struct Case {
        QString text;
        int key;
    };
    const std::vector<Case> cases{
        {QString::fromUtf8("Crème brûlée"), 5},
        {QStringLiteral("Lung meridian"), 1},
        {QString::fromUtf8("Straße – €5 ÿ"), 7},
        {QStringLiteral("  blanks kept  "), 2},
        {QString(), 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("key %1, '%2'").arg(c.key).arg(c.text).toStdString());
        const CliRun enc = runCli({"cipher", "encrypt", "--key", QString::number(c.key), c.text});
        ASSERT_EQ(enc.exitCode, 0) << enc.err.constData();
        const QString hex = QString::fromUtf8(enc.out);
        const QString pattern =
            c.text.isEmpty() ? QStringLiteral("^\\n$")
                             : QStringLiteral("^[0-9A-F]{%1}\\n$").arg(2 * c.text.size() + 2);
        EXPECT_TRUE(QRegularExpression(pattern).match(hex).hasMatch()) << hex.toStdString();
        const CliRun dec =
            runCli({"cipher", "decrypt", "--key", QString::number(c.key), hex.chopped(1)});
        ASSERT_EQ(dec.exitCode, 0) << dec.err.constData();
        EXPECT_EQ(QString::fromUtf8(dec.out), c.text + '\n');
    }
}

TEST(CipherCli, DecryptsKnownHex) {
    struct Case {
        QStringList args;
        QByteArray out;
    };
    // Hex worked out from the cipher's definition, independently of the program.
    const std::vector<Case> cases{
        {{"cipher", "decrypt", "--key", "1", "100017"}, "Ab\n"},
        {{"cipher", "decrypt", "--key", "6", "100017"}, "Ab\n"},
        {{"cipher", "decrypt", "--key=1", "4DFF75"}, "a\xC3\xBF\n"},
        {{"cipher", "decrypt", "--key", "5", "00648F72BCAE60D2273DD568"},
         QByteArray("Stra\xC3\x9F") + "e \xE2\x80\x93 \xE2\x82\xAC" + "5\n"},
        {{"cipher", "--key", "5", "decrypt", "c3c4a5ae8c"}, "0.95\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(argsText(c.args).toStdString());
        const CliRun r = runCli(c.args);
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        EXPECT_EQ(r.out, c.out);
        EXPECT_TRUE(r.err.isEmpty());
    }
}

TEST(CipherCli, ErrorsExitWithUsageStatus) {
    const std::vector<QStringList> cases{
        {"cipher"},
        {"cipher", "rot13", "--key", "1", "abc"},
        {"cipher", "encrypt", "abc"},
        {"cipher", "encrypt", "--key"},
        {"cipher", "encrypt", "--key", "0", "abc"},
        {"cipher", "encrypt", "--key", "8", "abc"},
        {"cipher", "encrypt", "--key", "five", "abc"},
        {"cipher", "encrypt", "--key", "1"},
        {"cipher", "encrypt", "--key", "1", "a", "b"},
        {"cipher", "encrypt", "--key", "1", "--verbose", "abc"},
        {"cipher", "decrypt", "--key", "1"},
        {"cipher", "decrypt", "--key", "1", "10001"},
        {"cipher", "decrypt", "--key", "1", "10"},
        {"cipher", "decrypt", "--key", "1", "10G017"},
        {"cipher", "decrypt", "--key", "-1", "100017"},
    };
    for (const QStringList& args : cases) {
        SCOPED_TRACE(argsText(args).toStdString());
        expectUsageError(runCli(args));
    }
}

// Compares type and value; JSON does not tell 1 from 1.0.
void expectJsonEqual(const QJsonValue& actual, const QJsonValue& expected) {
    ASSERT_EQ(actual.type(), expected.type());
    if (expected.isDouble())
        EXPECT_EQ(actual.toDouble(), expected.toDouble());
    else
        EXPECT_EQ(actual, expected);
}

class SettingsCli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    // Writes a settings file whose lines hold the given plain texts (others empty), enciphered
    // by the tool itself.
    QString writeSettings(const QString& name, const std::map<int, QString>& plain) {
        QByteArray content;
        for (int line = 1; line <= 78; ++line) {
            const auto it = plain.find(line);
            if (it != plain.end())
                content += encryptWithCli(it->second, 5).toLatin1();
            content += "\r\n";
        }
        const QString path = dir_.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }

    QTemporaryDir dir_;
};

TEST_F(SettingsCli, ShowsTheValuesAsReadBack) {
    const std::map<int, QString> stored{
        {1, "1999"},
        {2, "2500"},
        {6, "0.95"},
        {7, "2023/11/30"},
        {10, QString::fromUtf8(" Praxis Größe ")},
        {13, "1"},
        {14, "0"},
        {28, "  Fn1 "},
        {46, "https://www.tarvel.example/"},
        {52, "1"},
        {60, "x"},
        {66, "0.95"},
        {78, "2"},
    };
    const QString path = writeSettings("zedefe6c.ini", stored);
    QJsonArray expected;
    expected << 4000 << 2500 << 4000 << 4000 << "011100000000000000000000000000100010201111" << 0.95
             << "2023/11/30"
             << "Meridian Energy Analysis System"
             << "V.I.R.O Analysis Data Report" << QString::fromUtf8("Praxis Größe")
             << "Medical R&D Center"
             << "11000" << true << false << 2 << 0.0 << false;
    for (int line = 18; line <= 22; ++line)
        expected << 1;
    expected << 0 << 0 << 2000 << 500 << "000000"
             << "  Fn1 ";
    for (int line = 29; line <= 45; ++line)
        expected << "";
    expected << "https://www.tarvel.example/";
    for (int line = 47; line <= 51; ++line)
        expected << "";
    expected << 1;
    for (int position = 1; position <= 12; ++position)
        expected << position; // line 60 was unreadable and took its position, 8
    expected << 0 << 0.95;
    for (int line = 67; line <= 77; ++line)
        expected << 1.0;
    expected << 2;
    ASSERT_EQ(expected.size(), 78);

    const CliRun r = runCli({"settings", "show", "--file", path});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.out.endsWith("]\n"));
    ASSERT_TRUE(r.json().isArray()) << r.out.constData();
    const QJsonArray actual = r.json().array();
    ASSERT_EQ(actual.size(), 78);
    for (int i = 0; i < 78; ++i) {
        SCOPED_TRACE("line " + std::to_string(i + 1));
        expectJsonEqual(actual[i], expected[i]);
    }
}

// Linux keeps data file names in lower case.
TEST_F(SettingsCli, DefaultFileIsInTheDataFolder) {
    writeSettings("zedefe6c.ini", {{1, "2100"}, {27, "101000"}});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VIRO_DATA_DIR", dir_.path());
    const CliRun r = runCli({"settings", "show"}, env);
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QJsonArray values = r.json().array();
    ASSERT_EQ(values.size(), 78);
    EXPECT_EQ(values[0].toDouble(), 2100);
    EXPECT_EQ(values[26].toString(), "101000");
}

TEST_F(SettingsCli, MissingFileNamesThePath) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VIRO_DATA_DIR", dir_.path());
    const CliRun byDefault = runCli({"settings", "show"}, env);
    expectUsageError(byDefault);
    EXPECT_TRUE(byDefault.err.contains(QFile::encodeName(dir_.filePath("zedefe6c.ini"))))
        << byDefault.err.constData();

    const QString absent = dir_.filePath("nothing-here.ini");
    const CliRun given = runCli({"settings", "show", "--file", absent});
    expectUsageError(given);
    EXPECT_TRUE(given.err.contains(QFile::encodeName(absent))) << given.err.constData();
}

TEST_F(SettingsCli, ErrorsExitWithUsageStatus) {
    const QString path = writeSettings("zedefe6c.ini", {});
    const std::vector<QStringList> cases{
        {"settings"},
        {"settings", "edit", "--file", path},
        {"settings", "show", "extra", "--file", path},
        {"settings", "show", "--file"},
        {"settings", "show", "--file", path, "--all"},
    };
    for (const QStringList& args : cases) {
        SCOPED_TRACE(argsText(args).toStdString());
        expectUsageError(runCli(args));
    }
}

} // namespace
