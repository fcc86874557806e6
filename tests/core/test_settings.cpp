#include "core/application_state.h"
#include "core/builtin_texts.h"
#include "core/data_folder.h"
#include "core/settings_file.h"
#include "core/text_cipher.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <array>
#include <functional>
#include <map>
#include <vector>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#endif

namespace viro {
namespace {

const QDate kToday(2024, 3, 5);

// The 78 plain lines a first start on kToday writes, in file order.
QStringList firstStartLines() {
    const std::vector<QStringList> groups{
        {"4000", "4000", "4000", "4000"},                                       // 1-4
        {"011100000000000000000000000000100010201111"},                         // 5
        {"1", "2024/03/05", "Meridian Energy Analysis System"},                 // 6-8
        {"V.I.R.O Analysis Data Report", "Tarvel Meridian Research Institute"}, // 9-10
        {"Medical R&D Center", "11000"},                                        // 11-12
        {"1", "0", "2", "0", "0"},                                              // 13-17
        {"1", "1", "1", "1", "1"},                                              // 18-22
        {"0", "0", "2000", "500", "111000"},                                    // 23-27
        {"Fn1", "Fn2", "Fn3", "Fn4", "Fn5", "Fn6"},                             // 28-33
        {"Tarvel Internet Web Site", "Start Up MediaPlayer", "Word Processor", "", "", ""},
        {"", "wmplayer.exe", "winword.exe", "", "", ""},                      // 40-45
        {"https://www.tarvel.example/", "", "", "", "", ""},                  // 46-51
        {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}, // 52-64
        {"0", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1", "1"},    // 65-77
        {"1"},                                                                // 78
    };
    QStringList lines;
    for (const QStringList& group : groups)
        lines += group;
    return lines;
}

// What every line reads back as when the file holds nothing for it (today = kToday).
QStringList emptyFileLines() {
    QStringList l = firstStartLines();
    l[12] = "0";      // 13: only "1" sets the flag
    l[26] = "000000"; // 27
    for (int line = 28; line <= 51; ++line)
        l[line - 1] = QString();
    return l;
}

QByteArray encipherFile(const QStringList& plainLines, const QByteArray& lineEnd = "\r\n") {
    QByteArray content;
    for (const QString& line : plainLines)
        content += TextCipher::encrypt(line, TextCipher::SettingsKey).toLatin1() + lineEnd;
    return content;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& content) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

constexpr std::array<int, kPointCount> kPairedPositions{
    1, 6, 2, 5, 3, 4, 7, 12, 8, 11, 9, 10, 13, 18, 14, 17, 15, 16, 19, 24, 20, 23, 21, 22};
constexpr std::array<int, kPointCount> kNaturalPositions{
    1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24};

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString path(const QString& name = QString::fromLatin1(kSettingsFileName)) const {
        return dir_.filePath(name);
    }
    Settings load(const QByteArray& content) {
        EXPECT_TRUE(writeAll(path(), content));
        Settings s;
        QString error;
        EXPECT_TRUE(loadSettings(path(), s, &error)) << error.toStdString();
        return s;
    }

    QTemporaryDir dir_;
};

TEST_F(SettingsFile, FirstStartDefaultsWrittenAndReadBack) {
    const Settings defaults = Settings::firstStartDefaults(kToday);
    EXPECT_EQ(settingsToLines(defaults), firstStartLines());
    QString error;
    ASSERT_TRUE(saveSettings(path(), defaults, &error)) << error.toStdString();

    // Each of the 78 lines is the enciphered text of its value.
    const QStringList fileLines = splitSettingsFileLines(readAll(path()));
    ASSERT_EQ(fileLines.size(), kSettingsLineCount);
    for (int i = 0; i < kSettingsLineCount; ++i) {
        bool ok = false;
        EXPECT_EQ(TextCipher::decrypt(fileLines[i], TextCipher::SettingsKey, &ok),
                  firstStartLines()[i])
            << "line " << i + 1;
        EXPECT_TRUE(ok) << "line " << i + 1;
    }

    Settings read;
    ASSERT_TRUE(loadSettings(path(), read, &error)) << error.toStdString();
    EXPECT_EQ(settingsToLines(read), firstStartLines());
    EXPECT_EQ(read.calibrationNormal, 4000);
    EXPECT_EQ(read.electrodeCalibrationHigh, 4000);
    EXPECT_EQ(read.sensitivity, 1.0);
    EXPECT_EQ(read.functionButtonVisibility, "111000");
    EXPECT_TRUE(read.locatorSound);
    EXPECT_EQ(read.sequence.position, kNaturalPositions);
    EXPECT_EQ(read.factors, kDefaultCorrectionFactors);
}

TEST_F(SettingsFile, ReadBackRules) {
    struct Case {
        int line;
        QString stored;
        QString readBack;
    };
    const std::vector<Case> cases{
        {1, "1999", "4000"},
        {1, "2000", "2000"},
        {1, "", "4000"},
        {1, "abc", "4000"},
        {1, " 2500 ", "2500"},
        {1, "-5", "4000"},
        {2, "3999.5", "4000"},
        {3, "1999", "4000"},
        {4, "65535", "65535"},
        {5, "   ", "011100000000000000000000000000100010201111"},
        {5, " 0101 ", "0101"},
        {6, "", "1"},
        {6, "x", "1"},
        {6, "0.5", "0.5"},
        {6, "nan", "1"},
        {6, "inf", "1"},
        {6, "1,5", "1.5"},
        {6, "2,000", "2"},
        {6, "1.5.2", "1"},
        {6, "1,2,3", "1"},
        {7, "", "2025/01/31"},
        {7, "  ", "2025/01/31"},
        {7, "2023/12/01", "2023/12/01"},
        {8, "  ", "Meridian Energy Analysis System"},
        {8, "  Clinic  ", "Clinic"},
        {9, "", "V.I.R.O Analysis Data Report"},
        {10, "", "Tarvel Meridian Research Institute"},
        {11, "", "Medical R&D Center"},
        {12, "", "11000"},
        {13, "", "0"},
        {13, " 1 ", "1"},
        {13, "yes", "0"},
        {14, "1", "1"},
        {17, "2", "0"},
        {15, "", "2"},
        {15, "40", "40"},
        {16, "", "0"},
        {16, "12.25", "12.25"},
        {18, "", "1"},
        {19, "0", "0"},
        {20, "", "1"},
        {21, "q", "1"},
        {22, "", "1"},
        {23, "", "0"},
        {24, "1", "1"},
        {25, "", "2000"},
        {26, "", "500"},
        {27, "", "000000"},
        {27, "101010", "101010"},
        {28, "  My Fn ", "  My Fn "},
        {33, "", ""},
        {39, " ", " "},
        {45, "\tC:\\Tools\\run.exe ", "\tC:\\Tools\\run.exe "},
        {46, " https://x.example/ ", " https://x.example/ "},
        {52, "", "0"},
        {52, "1", "1"},
        {53, "", "1"},
        {60, "x", "8"},
        {64, "", "12"},
        {64, "3", "3"},
        {65, "", "0"},
        {66, "", "1"},
        {66, "0.95", "0.95"},
        {77, "abc", "1"},
        {78, "", "1"},
        {78, "2", "2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(
            QStringLiteral("line %1 holding '%2'").arg(c.line).arg(c.stored).toStdString());
        QStringList lines = firstStartLines();
        lines[c.line - 1] = c.stored;
        const QStringList readBack = settingsToLines(settingsFromLines(lines, QDate(2025, 1, 31)));
        ASSERT_EQ(readBack.size(), kSettingsLineCount);
        EXPECT_EQ(readBack[c.line - 1], c.readBack);
        // No other line is disturbed.
        QStringList expected = firstStartLines();
        expected[c.line - 1] = c.readBack;
        EXPECT_EQ(readBack, expected);
    }
}

TEST_F(SettingsFile, EmptyFunctionButtonVisibilityHidesAll) {
    QStringList lines = firstStartLines();
    lines[26] = QString();
    const Settings s = load(encipherFile(lines));
    EXPECT_EQ(s.functionButtonVisibility, "000000");
}

TEST_F(SettingsFile, OrderModesBuildPositionTables) {
    struct Case {
        const char* name;
        QString mode;
        QStringList custom; // lines 53-64
        std::array<int, kPointCount> positions;
    };
    const QStringList natural{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"};
    const std::vector<Case> cases{
        {"natural", "0", natural, kNaturalPositions},
        {"paired", "1", natural, kPairedPositions},
        {"paired ignores the custom list",
         "1",
         {"12", "11", "10", "9", "8", "7", "6", "5", "4", "3", "2", "1"},
         kPairedPositions},
        {"custom",
         "2",
         {"2", "1", "3", "4", "5", "6", "8", "7", "9", "10", "11", "12"},
         {2, 1, 3, 4, 5, 6, 8, 7, 9, 10, 11, 12, 14, 13, 15, 16, 17, 18, 20, 19, 21, 22, 23, 24}},
        {"custom with unreadable entries",
         "3",
         {"6", "", "3", "4", "5", "1", "x", "8", "9", "10", "11", "12"},
         {6, 2, 3, 4, 5, 1, 12, 8, 9, 10, 11, 7, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}},
        {"custom naming a meridian twice falls back to the natural order",
         "2",
         {"2", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"},
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList lines = firstStartLines();
        lines[51] = c.mode;
        for (int i = 0; i < kMeridianCount; ++i)
            lines[52 + i] = c.custom[i];
        const Settings s = load(encipherFile(lines));
        EXPECT_EQ(s.sequence.position, c.positions);
    }
}

TEST_F(SettingsFile, CompensationModes) {
    struct Case {
        const char* name;
        QString mode;
        CorrectionFactors expected;
    };
    CorrectionFactors ones;
    ones.fill(1.0);
    CorrectionFactors custom = ones;
    custom[0] = 0.95;
    custom[11] = 1.25;
    const std::vector<Case> cases{
        {"standard", "0", kDefaultCorrectionFactors},
        {"all 1.0", "1", ones},
        {"custom", "2", custom},
        {"unreadable mode is standard", "?", kDefaultCorrectionFactors},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QStringList lines = firstStartLines();
        lines[64] = c.mode;
        lines[65] = "0.95";
        lines[76] = "1.25";
        const Settings s = load(encipherFile(lines));
        EXPECT_EQ(s.factors, c.expected);
        EXPECT_EQ(s.customFactors[0], 0.95);
    }
}

TEST_F(SettingsFile, DecimalsReadBackExactly) {
    const std::vector<double> values{0.95,       1.0 / 3.0, 0.1 + 0.2, 1e-7,
                                     123456.789, 2.5e300,   -0.0625};
    for (const double v : values) {
        SCOPED_TRACE(v);
        Settings s = Settings::firstStartDefaults(kToday);
        s.sensitivity = v;
        s.customFactors[5] = v;
        ASSERT_TRUE(saveSettings(path(), s, nullptr));
        Settings read;
        ASSERT_TRUE(loadSettings(path(), read, nullptr));
        EXPECT_EQ(read.sensitivity, v);
        EXPECT_EQ(read.customFactors[5], v);
    }
    Settings s;
    s.customFactors[0] = 0.95;
    s.locatorHighest = 12.5;
    EXPECT_EQ(settingsToLines(s)[65], "0.95");
    EXPECT_EQ(settingsToLines(s)[15], "12.5");
}

TEST_F(SettingsFile, ShortOrEmptyFileTakesReadBackValues) {
    const QStringList all = firstStartLines();
    QStringList expected = emptyFileLines();
    for (int i = 0; i < 10; ++i)
        expected[i] = all[i];
    EXPECT_EQ(settingsToLines(load(encipherFile(all.mid(0, 10)))), expected);
    expected = emptyFileLines();
    expected[6] = QDate::currentDate().toString("yyyy/MM/dd");
    EXPECT_EQ(settingsToLines(load(QByteArray())), expected);
    const Settings s = load(QByteArray());
    EXPECT_EQ(s.calibrationNormal, 4000);
    EXPECT_FALSE(s.locatorSound);
    EXPECT_EQ(s.functionButtonVisibility, "000000");
}

TEST_F(SettingsFile, LinesThatAreNotCipherHexReadAsEmpty) {
    QStringList lines = firstStartLines();
    lines[0] = "2500";
    lines[26] = "110011";
    lines[27] = "Caption";
    lines[65] = "0.95";
    QStringList fileLines = splitSettingsFileLines(encipherFile(lines));
    fileLines[0] = "ZZ17";                 // not hex
    fileLines[26] = "1A2";                 // odd length
    fileLines[27] = "7F";                  // seed only
    fileLines[65] = "plain 0.95 unhidden"; // never enciphered
    QStringList expected = firstStartLines();
    expected[0] = "4000";
    expected[26] = "000000";
    expected[27] = "";
    expected[65] = "1";
    const Settings s = load(fileLines.join("\r\n").toLatin1() + "\r\n");
    EXPECT_EQ(settingsToLines(s), expected);
}

TEST_F(SettingsFile, AnyLineEndReads) {
    QStringList lines = firstStartLines();
    lines[27] = "  spaced  ";
    lines[46] = QString(); // empty lines in the middle must stay lines
    const QStringList hex = splitSettingsFileLines(encipherFile(lines));
    struct Case {
        const char* name;
        QByteArray content;
    };
    const std::vector<Case> cases{
        {"CR LF", hex.join("\r\n").toLatin1() + "\r\n"},
        {"LF", hex.join("\n").toLatin1() + "\n"},
        {"lone CR", hex.join("\r").toLatin1() + "\r"},
        {"no final line end", hex.join("\n").toLatin1()},
        {"byte order mark", "\xEF\xBB\xBF" + hex.join("\r\n").toLatin1() + "\r\n"},
        {"blanks around the hex", " " + hex.join(" \t\r\n ").toLatin1() + " \r\n"},
        {"extra lines after 78", hex.join("\n").toLatin1() + "\nABCDEF\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(settingsToLines(load(c.content)), lines);
    }
}

TEST(SettingsFileLines, SplitKeepsEmptyLines) {
    struct Case {
        const char* name;
        QByteArray content;
        QStringList lines;
    };
    const std::vector<Case> cases{
        {"empty", "", {}},
        {"one line end", "\n", {""}},
        {"empty middle LF", "a\n\nb", {"a", "", "b"}},
        {"empty middle CR LF", "a\r\n\r\nb\r\n", {"a", "", "b"}},
        {"CR then CR LF", "a\r\r\nb", {"a", "", "b"}},
        {"mixed", "a\rb\nc\r\nd", {"a", "b", "c", "d"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(splitSettingsFileLines(c.content), c.lines);
    }
}

TEST_F(SettingsFile, TwoSavesDifferButReadTheSame) {
    Settings s = Settings::firstStartDefaults(kToday);
    s.organisation = QString::fromUtf8("Klinik Müller – Zürich");
    s.functionCaption[3] = "  Notes ";
    ASSERT_TRUE(saveSettings(path("a.ini"), s, nullptr));
    ASSERT_TRUE(saveSettings(path("b.ini"), s, nullptr));
    const QByteArray a = readAll(path("a.ini"));
    const QByteArray b = readAll(path("b.ini"));
    EXPECT_NE(a, b);
    Settings ra;
    Settings rb;
    ASSERT_TRUE(loadSettings(path("a.ini"), ra, nullptr));
    ASSERT_TRUE(loadSettings(path("b.ini"), rb, nullptr));
    EXPECT_EQ(settingsToLines(ra), settingsToLines(s));
    EXPECT_EQ(settingsToLines(rb), settingsToLines(s));
    EXPECT_EQ(ra.organisation, s.organisation);
}

TEST_F(SettingsFile, SaveReplacesAndRebuildsDerivedTables) {
    // A longer old file must not leave lines behind.
    ASSERT_TRUE(writeAll(path(), encipherFile(firstStartLines() + firstStartLines())));
    Settings s = Settings::firstStartDefaults(kToday);
    s.orderMode = 1;
    s.compensationMode = 1;
    ASSERT_TRUE(saveSettings(path(), s, nullptr));
    EXPECT_EQ(s.sequence.position, kPairedPositions);
    EXPECT_EQ(s.factors[0], 1.0);
    EXPECT_EQ(splitSettingsFileLines(readAll(path())).size(), kSettingsLineCount);
    Settings read;
    ASSERT_TRUE(loadSettings(path(), read, nullptr));
    EXPECT_EQ(read.sequence.position, kPairedPositions);
    EXPECT_EQ(read.orderMode, 1);
}

TEST_F(SettingsFile, MissingFileIsAnError) {
    Settings s;
    s.calibrationNormal = 3210;
    QString error;
    EXPECT_FALSE(loadSettings(path("absent.ini"), s, &error));
    EXPECT_TRUE(error.contains(path("absent.ini"))) << error.toStdString();
    EXPECT_EQ(s.calibrationNormal, 3210);
    EXPECT_FALSE(loadSettings(dir_.path(), s, &error)) << "a folder is not a settings file";
}

TEST_F(SettingsFile, SaveIntoUnwritablePlaceFails) {
    // A path under a regular file cannot be created, not even by root.
    ASSERT_TRUE(writeAll(path("plain-file"), "x"));
    const QString target = path("plain-file") + "/" + kSettingsFileName;
    QString error;
    EXPECT_FALSE(saveSettings(target, Settings::firstStartDefaults(kToday), &error));
    EXPECT_TRUE(error.contains(target)) << error.toStdString();
    EXPECT_EQ(readAll(path("plain-file")), QByteArray("x"));
}

#ifdef Q_OS_UNIX
TEST_F(SettingsFile, FailedWriteLeavesOldFileIntact) {
    ASSERT_TRUE(saveSettings(path(), Settings::firstStartDefaults(kToday), nullptr));
    const QByteArray before = readAll(path());
    ASSERT_GT(before.size(), 200);

    Settings changed = Settings::firstStartDefaults(kToday);
    changed.organisation = "Changed";
    // A file size limit makes the write fail part-way, as a full disk would.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 100;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString error;
    const bool saved = saveSettings(path(), changed, &error);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved);
    EXPECT_TRUE(error.contains(path())) << error.toStdString();
    EXPECT_EQ(readAll(path()), before);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{kSettingsFileName})
        << "no temporary file left behind";
}
#endif

TEST_F(SettingsFile, StoreTellsAMissingFileFromAnUnreadableOne) {
    QStringList damaged = firstStartLines();
    damaged[0] = "abc";
    damaged[26] = QString();
    struct Case {
        const char* name;
        std::function<void()> prepare; // puts something (or nothing) at path()
        SettingsStore::LoadResult result;
        int calibration; // of what was loaded, from a start value of 3210
        QString visibility;
    };
    const std::vector<Case> cases{
        {"missing: first start", [] {}, SettingsStore::LoadResult::Missing, 3210, "111000"},
        {"damaged lines read back", [&] { writeAll(path(), encipherFile(damaged)); },
         SettingsStore::LoadResult::Loaded, 4000, "000000"},
        {"a folder in its place", [&] { QDir(dir_.path()).mkdir(kSettingsFileName); },
         SettingsStore::LoadResult::Unreadable, 4000, "000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path());
        QDir(path()).removeRecursively();
        c.prepare();
        SettingsStore store(path());
        Settings s = Settings::firstStartDefaults(kToday);
        s.calibrationNormal = 3210;
        QString error;
        EXPECT_EQ(store.load(s, &error), c.result);
        EXPECT_EQ(s.calibrationNormal, c.calibration);
        EXPECT_EQ(s.functionButtonVisibility, c.visibility);
        const bool unreadable = c.result == SettingsStore::LoadResult::Unreadable;
        EXPECT_EQ(store.savesRefused(), unreadable);
        EXPECT_EQ(error.contains(path()), unreadable) << error.toStdString();

        s.orderMode = 1;
        EXPECT_EQ(store.save(s, &error), !unreadable) << error.toStdString();
        EXPECT_EQ(s.sequence.position, kPairedPositions) << "changes work even when not kept";
        EXPECT_TRUE(QFileInfo::exists(path()));
        EXPECT_EQ(QFileInfo(path()).isDir(), unreadable);
    }
}

// The values of an unreadable file are those of an empty one, not the first-start defaults.
TEST_F(SettingsFile, UnreadableFileRunsOnReadBackDefaults) {
    ASSERT_TRUE(QDir(dir_.path()).mkdir(kSettingsFileName));
    SettingsStore store(path());
    Settings s = Settings::firstStartDefaults(kToday);
    ASSERT_EQ(store.load(s, nullptr), SettingsStore::LoadResult::Unreadable);
    QStringList expected = emptyFileLines();
    expected[6] = QDate::currentDate().toString("yyyy/MM/dd");
    EXPECT_EQ(settingsToLines(s), expected);
    EXPECT_EQ(s.windowTitle, builtin::productTitle());
}

#ifdef Q_OS_UNIX
// The refusal holds for the whole run: a file that reads again later, or a plain save by path,
// still does not replace it.
TEST_F(SettingsFile, UnreadableFileIsNeverSavedOver) {
    Settings mine = Settings::firstStartDefaults(kToday);
    mine.organisation = "Mine";
    ASSERT_TRUE(saveSettings(path(), mine, nullptr));
    const QByteArray before = readAll(path());
    ASSERT_TRUE(QFile::setPermissions(path(), {}));
    if (QFile f(path()); f.open(QIODevice::ReadOnly)) {
        QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner);
        GTEST_SKIP() << "running as root: no read permission does not stop reading";
    }
    SettingsStore store(path());
    Settings s;
    QString error;
    EXPECT_EQ(store.load(s, &error), SettingsStore::LoadResult::Unreadable);
    EXPECT_TRUE(error.contains(path())) << error.toStdString();
    EXPECT_FALSE(saveSettings(path(), s, &error)) << "a plain save does not replace it either";
    EXPECT_TRUE(error.contains(path())) << error.toStdString();

    ASSERT_TRUE(QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner));
    EXPECT_FALSE(store.save(s, &error));
    EXPECT_EQ(readAll(path()), before);
}
#endif

#ifdef Q_OS_LINUX
// Reading /proc/self/mem from its start fails with an I/O error, even for root.
TEST_F(SettingsFile, ReadErrorIsUnreadableAndRefusesSaves) {
    ASSERT_TRUE(QFile::link("/proc/self/mem", path()));
    SettingsStore store(path());
    Settings s;
    QString error;
    EXPECT_EQ(store.load(s, &error), SettingsStore::LoadResult::Unreadable);
    EXPECT_TRUE(error.contains(path())) << error.toStdString();
    EXPECT_EQ(s.functionButtonVisibility, "000000");
    EXPECT_FALSE(store.save(s, &error));
    EXPECT_EQ(QFileInfo(path()).symLinkTarget(), "/proc/self/mem") << "the link was replaced";

    // The fault passes (the disk is back): the run still does not save over the user's file.
    ASSERT_TRUE(QFile::remove(path()));
    ASSERT_TRUE(writeAll(path(), "the user's settings"));
    EXPECT_FALSE(store.save(s, &error));
    EXPECT_EQ(readAll(path()), QByteArray("the user's settings"));
}
#endif

#ifdef Q_OS_UNIX
class DataFolder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // The most open umask shows every folder gets its mode from the creation itself.
        oldMask_ = umask(0);
    }
    void TearDown() override { umask(oldMask_); }

    static mode_t modeOf(const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
    }

    QTemporaryDir dir_;
    mode_t oldMask_ = 0;
};

TEST_F(DataFolder, NewFoldersAreOwnerOnly) {
    const mode_t parentMode = modeOf(dir_.path());
    const QString folder = dir_.filePath("home/tarvel/viro/");
    QString error;
    ASSERT_TRUE(ensureDataFolder(folder, &error)) << error.toStdString();
    for (const char* made : {"home", "home/tarvel", "home/tarvel/viro"})
        EXPECT_EQ(modeOf(dir_.filePath(made)), mode_t(0700)) << made;
    EXPECT_EQ(modeOf(dir_.path()), parentMode) << "a folder that was there is left as it is";

    // An existing folder is accepted as it is.
    ASSERT_EQ(::chmod(QFile::encodeName(dir_.filePath("home/tarvel/viro")).constData(), 0750), 0);
    EXPECT_TRUE(ensureDataFolder(folder, &error));
    EXPECT_EQ(modeOf(dir_.filePath("home/tarvel/viro")), mode_t(0750));
}

TEST_F(DataFolder, AFileInTheWayFails) {
    ASSERT_TRUE(writeAll(dir_.filePath("blocker"), "x"));
    QString error;
    EXPECT_FALSE(ensureDataFolder(dir_.filePath("blocker/viro"), &error));
    EXPECT_TRUE(error.contains("blocker/viro")) << error.toStdString();
    EXPECT_FALSE(ensureDataFolder(dir_.filePath("blocker"), &error));
    EXPECT_EQ(readAll(dir_.filePath("blocker")), QByteArray("x"));
}
#endif

TEST(ApplicationState, StartsAsTheMainWindowNeedsIt) {
    const ApplicationState st;
    EXPECT_TRUE(st.patient.custNo.isEmpty());
    EXPECT_TRUE(st.patient.male);
    EXPECT_EQ(st.patient.birthDate, 0);
    EXPECT_EQ(st.measurement.key, 0);
    EXPECT_FALSE(st.measurement.highPotential);
    EXPECT_TRUE(st.measurement.notes.isEmpty());
    EXPECT_EQ(st.chartCategory, 1);
    EXPECT_EQ(st.chartNumbers, (std::array<int, 6>{1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(st.analysisPage, 0);
    EXPECT_EQ(st.pointsMeasuredSinceAnalysis, 0);
    EXPECT_EQ(st.patientSortColumn, 1);
    EXPECT_FALSE(st.recallFromMainWindow);
    EXPECT_TRUE(st.startupPending);
}

class ApplicationStateClearing : public ::testing::Test {
protected:
    void SetUp() override {
        st.patient.custNo = "P-17";
        st.patient.name = "Ann";
        st.patient.male = false;
        st.patient.birthDate = 29000;
        st.patient.tel = "555";
        st.patient.memo = "note";
        st.patient.height = 170;
        st.patient.prtFg = true;
        st.measurement.values.fill(42);
        st.measurement.quality.fill(90);
        st.measurement.dateTime = 45000.5;
        st.measurement.highPotential = true;
        st.measurement.notes << "n";
        st.measurement.key = 12;
        st.chartCategory = 4;
        st.chartNumbers = {2, 3, 4, 1, 2, 3};
        st.analysisPage = 5;
        st.pointsMeasuredSinceAnalysis = 24;
        st.patientSortColumn = -3;
    }
    ApplicationState st;
};

TEST_F(ApplicationStateClearing, ClearPatientTouchesOnlyThePatient) {
    st.clearCurrentPatient();
    EXPECT_TRUE(st.patient.custNo.isEmpty());
    EXPECT_TRUE(st.patient.name.isEmpty());
    EXPECT_TRUE(st.patient.tel.isEmpty());
    EXPECT_TRUE(st.patient.memo.isEmpty());
    EXPECT_TRUE(st.patient.male);
    EXPECT_EQ(st.patient.birthDate, 0);
    EXPECT_EQ(st.patient.height, 0);
    EXPECT_FALSE(st.patient.prtFg);
    EXPECT_EQ(st.measurement.key, 12);
    EXPECT_EQ(st.analysisPage, 5);
}

TEST_F(ApplicationStateClearing, ClearMeasurementResetsTheAnalysisView) {
    st.clearMeasurement();
    EXPECT_EQ(st.measurement.values[0], 0);
    EXPECT_EQ(st.measurement.quality[23], 0);
    EXPECT_EQ(st.measurement.dateTime, 0);
    EXPECT_TRUE(st.measurement.notes.isEmpty());
    EXPECT_EQ(st.measurement.key, 0);
    EXPECT_TRUE(st.measurement.highPotential) << "the chosen potential stays";
    EXPECT_EQ(st.chartCategory, 1);
    EXPECT_EQ(st.chartNumbers, (std::array<int, 6>{1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(st.analysisPage, 0);
    EXPECT_EQ(st.pointsMeasuredSinceAnalysis, 0);
    EXPECT_EQ(st.patient.custNo, "P-17");
    EXPECT_EQ(st.patientSortColumn, -3);
}

TEST_F(ApplicationStateClearing, ReplaceMeasurementResetsTheAnalysisView) {
    MeasurementRecord loaded;
    loaded.values.fill(7);
    loaded.key = 99;
    st.replaceMeasurement(loaded);
    EXPECT_EQ(st.measurement.key, 99);
    EXPECT_EQ(st.measurement.values[10], 7);
    EXPECT_FALSE(st.measurement.highPotential);
    EXPECT_EQ(st.chartCategory, 1);
    EXPECT_EQ(st.chartNumbers[1], 1);
    EXPECT_EQ(st.analysisPage, 0);
    EXPECT_EQ(st.pointsMeasuredSinceAnalysis, 0);
}

} // namespace
} // namespace viro
