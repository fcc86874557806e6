#include "core/data_folder.h"
#include "fake_reader.h"
#include "records/access_file.h"
#include "records/database_check.h"
#include "records/schema.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

namespace viro {
namespace {

const QDate kToday(2024, 3, 5);

// Runs SQL on a database file outside the program's connections.
class FileDb {
public:
    explicit FileDb(const QString& path)
        : name_("check-" + QUuid::createUuid().toString(QUuid::WithoutBraces)) {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name_);
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open());
    }
    ~FileDb() {
        QSqlDatabase::database(name_, false).close();
        QSqlDatabase::removeDatabase(name_);
    }
    bool exec(const QString& sql) {
        QSqlQuery q(QSqlDatabase::database(name_, false));
        const bool ok = q.exec(sql);
        EXPECT_TRUE(ok) << sql.toStdString() << ": " << q.lastError().text().toStdString();
        return ok;
    }
    QVariant scalar(const QString& sql) {
        QSqlQuery q(QSqlDatabase::database(name_, false));
        if (!q.exec(sql) || !q.next())
            return {};
        return q.value(0);
    }

private:
    QString name_;
};

class DatabaseCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        folder_ = dir_.path() + "/";
        QString error;
        ASSERT_TRUE(createDatabaseFile(path("ZeSpa_60.mdb"), DatabaseKind::Main, &error));
        ASSERT_TRUE(createDatabaseFile(path("viroE.mdb"), DatabaseKind::ReferenceTexts, &error));
        ASSERT_TRUE(
            createDatabaseFile(path("viroZE.mdb"), DatabaseKind::StandardProtocols, &error));
        view_.message = [this](int type, const QString& text) {
            messages_ << QString::number(type) + ": " + text;
        };
        view_.lamp = [this](int lamp, LampState s) {
            if (s == LampState::Done)
                lampsDone_ << lamp;
        };
        view_.label = [this](const QString& t) { label_ = t; };
        view_.progress = [this](int value, int maximum) {
            if (value < 0 || value > maximum)
                badProgress_ << QString("%1/%2").arg(value).arg(maximum);
        };
    }
    QString path(const char* name) const { return folder_ + dataFileName(name); }
    bool exists(const char* name) const { return QFile::exists(path(name)); }

    // A main database holding `patients` patients, the first `withData` of them with two
    // measurements each, plus a protocol with one condition.
    void makeMainDatabase(const char* name, int patients, int withData, const QString& tag) {
        QString error;
        ASSERT_TRUE(createDatabaseFile(path(name), DatabaseKind::Main, &error));
        FileDb db(path(name));
        for (int i = 1; i <= patients; ++i) {
            db.exec(QString("INSERT INTO ZeCust (CustNo, Name, Sex, DBirth, PREMEA, Height) VALUES "
                            "('%1%2', 'n%2', 1, 30000.75, 999, 1.5)")
                        .arg(tag)
                        .arg(i));
            if (i <= withData)
                for (int k = 0; k < 2; ++k)
                    db.exec(QString("INSERT INTO ZeData (CustNo, ZeDate, ZeVota, ZE1, ZE24, STD, "
                                    "AutoKey) VALUES ('%1%2', %3, 1, 10.5, 99.25, '100.0 87.5', "
                                    "'k')")
                                .arg(tag)
                                .arg(i)
                                .arg(45000 + i * 10 + k + 0.5));
        }
        db.exec("INSERT INTO ZePro (ProNo, ProName, ProFN, ProPict) VALUES ('P1', 'proto', "
                "'1010', x'0102')");
        db.exec("INSERT INTO ZePrDt (ProNo, ProSubN, ProAGL, ProAGH, ProEng, ProFlg) VALUES "
                "('P1', 'cond', 10, 60, 1.5, 1)");
    }
    int count(const char* file, const char* sql) {
        FileDb db(path(file));
        return db.scalar(sql).toInt();
    }
    DatabaseCheckResult run() {
        connections_.close();
        return runDatabaseCheck(folder_, connections_, view_, kToday);
    }

    QTemporaryDir dir_;
    QString folder_;
    DatabaseCheckView view_;
    QStringList messages_;
    QList<int> lampsDone_;
    QString label_;
    QStringList badProgress_; // values outside the bar
    DatabaseConnections connections_;
};

TEST_F(DatabaseCheckTest, FirstStartCreatesMainDatabaseFromTemplate) {
    const DatabaseCheckResult r = run();
    EXPECT_FALSE(r.startupFailure);
    EXPECT_FALSE(r.copied);
    EXPECT_TRUE(exists("viro6.mdb"));
    EXPECT_TRUE(connections_.isOpen());
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();
    EXPECT_EQ(lampsDone_, (QList<int>{1, 2}));
    EXPECT_TRUE(exists("ZeSpa_60.mdb")) << "the template is copied, not moved";
}

TEST_F(DatabaseCheckTest, MissingTemplateIsStartupFailure) {
    QFile::remove(path("ZeSpa_60.mdb"));
    makeMainDatabase("viro.mdb", 1, 1, "A");
    const DatabaseCheckResult r = run();
    EXPECT_TRUE(r.startupFailure);
    ASSERT_FALSE(messages_.isEmpty());
    EXPECT_EQ(messages_.first(), "6: VIRO is not installed completely! Please reinstall.");
    EXPECT_TRUE(exists("viro.mdb")) << "nothing copied after a start-up failure";
}

TEST_F(DatabaseCheckTest, MissingReferenceFileIsStartupFailure) {
    QFile::remove(path("viroE.mdb"));
    const DatabaseCheckResult r = run();
    EXPECT_TRUE(r.startupFailure);
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_EQ(messages_.first(), QString("6: ") + kStartupErrorMessage);
    EXPECT_FALSE(connections_.main.isOpen());
}

// The file steps in each combination: which files exist before, which after, what was taken
// over.
TEST_F(DatabaseCheckTest, FileStepsInEveryCombination) {
    struct Case {
        const char* name;
        bool current, fresh, gen4, older;
        const char* takenOverTag; // whose patients end in viro6.mdb besides the current ones
        const char* currentTag;   // whose patients viro6.mdb held
    };
    const std::vector<Case> cases = {
        {"fresh replaces current", true, true, false, false, "C", "F"},
        {"fresh replaces generation 4", false, true, true, false, "G", "F"},
        {"fresh with current and generation 4", true, true, true, false, "C", "F"},
        {"generation 4 only", false, false, true, false, "G", "T"},
        {"generation 4 beside current", true, false, true, false, "G", "C"},
        {"older waiting beside current", true, false, false, true, "O", "C"},
        {"older waiting, no current", false, false, false, true, "O", "T"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* f :
             {"viro6.mdb", "viro_60.mdb", "viro4.mdb", "viro.mdb", "viro_20240305_BAK.mdb"})
            QFile::remove(path(f));
        connections_.close();
        if (c.current)
            makeMainDatabase("viro6.mdb", 2, 1, "C");
        if (c.fresh)
            makeMainDatabase("viro_60.mdb", 1, 0, "F");
        if (c.gen4)
            makeMainDatabase("viro4.mdb", 3, 2, "G");
        if (c.older)
            makeMainDatabase("viro.mdb", 2, 2, "O");
        messages_.clear();
        const DatabaseCheckResult r = run();
        EXPECT_FALSE(r.startupFailure);
        EXPECT_TRUE(r.copied);
        EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();
        connections_.close();
        EXPECT_FALSE(exists("viro.mdb"));
        EXPECT_FALSE(exists("viro_60.mdb"));
        EXPECT_TRUE(exists("viro_20240305_BAK.mdb"));
        const QString taken =
            QString("SELECT count(*) FROM ZeCust WHERE CustNo LIKE '%1%'").arg(c.takenOverTag);
        const QString kept =
            QString("SELECT count(*) FROM ZeCust WHERE CustNo LIKE '%1%'").arg(c.currentTag);
        const int takenExpected = QString(c.takenOverTag) == "G" ? 3 : 2;
        EXPECT_EQ(count("viro6.mdb", taken.toLatin1()), takenExpected);
        const int keptExpected = QString(c.currentTag) == "F"   ? 1
                                 : QString(c.currentTag) == "C" ? 2
                                                                : 0;
        EXPECT_EQ(count("viro6.mdb", kept.toLatin1()), keptExpected);
        // The backup holds what was taken over.
        EXPECT_EQ(count("viro_20240305_BAK.mdb", taken.toLatin1()), takenExpected);
        // With a fresh database and both older ones, generation 4 waits for the next start.
        EXPECT_EQ(exists("viro4.mdb"), c.current && c.fresh && c.gen4);
    }
}

// A newly installed database without an older one to take over, and beside one that waits.
TEST_F(DatabaseCheckTest, FreshDatabaseAloneOrWithOlderWaiting) {
    struct Case {
        const char* name;
        bool current, older;
        bool copied;
        int fresh, taken, kept; // patients of F, O and C in viro6.mdb afterwards
        bool freshWaits;        // viro_60.mdb still there for the next start
    };
    const std::vector<Case> cases = {
        {"viro_60 only", false, false, false, 1, 0, 0, false},
        {"viro_60 while viro.mdb exists", false, true, true, 1, 2, 0, false},
        // The current database cannot be moved onto the waiting one: the waiting one is taken
        // over now, the fresh one replaces the current one at the next start.
        {"viro_60 while viro.mdb and viro6.mdb exist", true, true, true, 0, 2, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* f : {"viro6.mdb", "viro_60.mdb", "viro.mdb", "viro_20240305_BAK.mdb"})
            QFile::remove(path(f));
        connections_.close();
        makeMainDatabase("viro_60.mdb", 1, 0, "F");
        if (c.current)
            makeMainDatabase("viro6.mdb", 2, 1, "C");
        if (c.older)
            makeMainDatabase("viro.mdb", 2, 2, "O");
        messages_.clear();
        const DatabaseCheckResult r = run();
        EXPECT_FALSE(r.startupFailure);
        EXPECT_EQ(r.copied, c.copied) << r.transferError.toStdString();
        EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();
        connections_.close();
        EXPECT_EQ(exists("viro_60.mdb"), c.freshWaits);
        EXPECT_FALSE(exists("viro.mdb"));
        EXPECT_EQ(exists("viro_20240305_BAK.mdb"), c.copied);
        EXPECT_EQ(count("viro6.mdb", "SELECT count(*) FROM ZeCust WHERE CustNo LIKE 'F%'"),
                  c.fresh);
        EXPECT_EQ(count("viro6.mdb", "SELECT count(*) FROM ZeCust WHERE CustNo LIKE 'O%'"),
                  c.taken);
        EXPECT_EQ(count("viro6.mdb", "SELECT count(*) FROM ZeCust WHERE CustNo LIKE 'C%'"), c.kept);
    }
}

TEST_F(DatabaseCheckTest, TakeOverCopiesFieldsAndRecomputesLatestMeasurement) {
    makeMainDatabase("viro6.mdb", 1, 0, "C");
    makeMainDatabase("viro.mdb", 3, 2, "O");
    const DatabaseCheckResult r = run();
    ASSERT_TRUE(r.copied) << r.transferError.toStdString();
    EXPECT_EQ(label_, "DBT Prog:");
    EXPECT_EQ(lampsDone_, (QList<int>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_TRUE(badProgress_.isEmpty()) << badProgress_.join(' ').toStdString();
    connections_.close();
    FileDb db(path("viro6.mdb"));
    EXPECT_EQ(db.scalar("SELECT count(*) FROM ZeData").toInt(), 4);
    // Latest of 45000 + 10 i + k + 0.5 for k = 0, 1: 45011.5 for O1, 45021.5 for O2.
    EXPECT_DOUBLE_EQ(db.scalar("SELECT PREMEA FROM ZeCust WHERE CustNo = 'O1'").toDouble(),
                     45011.5);
    EXPECT_DOUBLE_EQ(db.scalar("SELECT PREMEA FROM ZeCust WHERE CustNo = 'O2'").toDouble(),
                     45021.5);
    EXPECT_DOUBLE_EQ(db.scalar("SELECT PREMEA FROM ZeCust WHERE CustNo = 'O3'").toDouble(), 0.0)
        << "a patient without measurements";
    EXPECT_DOUBLE_EQ(db.scalar("SELECT PREMEA FROM ZeCust WHERE CustNo = 'C1'").toDouble(), 0.0)
        << "every patient of the current database is recomputed";
    EXPECT_DOUBLE_EQ(db.scalar("SELECT DBirth FROM ZeCust WHERE CustNo = 'O1'").toDouble(), 30000)
        << "the birth date is taken as a date only";
    EXPECT_DOUBLE_EQ(db.scalar("SELECT Height FROM ZeCust WHERE CustNo = 'O1'").toDouble(), 1.5);
    EXPECT_EQ(db.scalar("SELECT STD FROM ZeData WHERE CustNo = 'O1' LIMIT 1").toString(),
              "100.0 87.5");
    EXPECT_DOUBLE_EQ(db.scalar("SELECT ZE24 FROM ZeData WHERE CustNo = 'O2' LIMIT 1").toDouble(),
                     99.25);
    EXPECT_EQ(db.scalar("SELECT ZeVota FROM ZeData LIMIT 1").toInt(), 1);
    EXPECT_EQ(db.scalar("SELECT ProFN FROM ZePro WHERE ProNo = 'P1' AND rowid > 1").toString(),
              "1010");
    EXPECT_EQ(db.scalar("SELECT hex(ProPict) FROM ZePro WHERE rowid > 1").toString(), "0102");
    EXPECT_EQ(db.scalar("SELECT ProAGH FROM ZePrDt WHERE rowid > 1").toInt(), 60);
}

TEST_F(DatabaseCheckTest, OptionalColumnsMissingInOlderDatabase) {
    // An older layout: no STD, no link fields, no age bounds; AutoKey held as a number.
    {
        FileDb db(path("viro.mdb"));
        db.exec("CREATE TABLE ZeCust (CustNo TEXT, Name TEXT, Sex INTEGER, DBirth REAL)");
        db.exec("CREATE TABLE ZeData (CustNo TEXT, ZeDate REAL, ZeVota INTEGER, ZE1 REAL, "
                "AutoKey REAL)");
        db.exec("CREATE TABLE ZePro (ProNo TEXT, ProName TEXT, ProScal INTEGER)");
        db.exec("CREATE TABLE ZePrDt (ProNo TEXT, ProSubN TEXT, ProEng REAL, ProFlg INTEGER)");
        db.exec("INSERT INTO ZeCust VALUES ('X1', 'x', 0, 0)");
        db.exec("INSERT INTO ZeData VALUES ('X1', 45123.25, 0, 3.5, 17)");
        db.exec("INSERT INTO ZePro VALUES ('Q', 'q', 1)");
        db.exec("INSERT INTO ZePrDt VALUES ('Q', 'qc', 2.5, 1)");
    }
    const DatabaseCheckResult r = run();
    ASSERT_TRUE(r.copied) << r.transferError.toStdString();
    connections_.close();
    FileDb db(path("viro6.mdb"));
    EXPECT_TRUE(db.scalar("SELECT STD FROM ZeData").isNull());
    EXPECT_EQ(db.scalar("SELECT AutoKey FROM ZeData").toString(), "17");
    EXPECT_DOUBLE_EQ(db.scalar("SELECT PREMEA FROM ZeCust").toDouble(), 45123.25);
    EXPECT_TRUE(db.scalar("SELECT ProFN FROM ZePro").isNull());
    EXPECT_EQ(db.scalar("SELECT ProScal FROM ZePro").toInt(), 1);
    EXPECT_TRUE(db.scalar("SELECT ProAGL FROM ZePrDt").isNull());
    EXPECT_DOUBLE_EQ(db.scalar("SELECT ProEng FROM ZePrDt").toDouble(), 2.5);
}

// Texts too long for the current columns come over cut to the column's width; a patient
// number is never cut, so that row fails the take-over.
TEST_F(DatabaseCheckTest, OverLongTextsOfOlderDatabase) {
    const QString name50 = QString("N").repeated(50);
    const QString std200 = QString("1").repeated(200);
    struct Case {
        const char* name;
        const char* custNo;
        bool copied;
    };
    const std::vector<Case> cases = {
        {"long texts are cut", "X1", true},
        {"a long patient number fails", "X1234567890123456", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* f : {"viro6.mdb", "viro.mdb", "viro_20240305_BAK.mdb"})
            QFile::remove(path(f));
        {
            FileDb db(path("viro.mdb"));
            db.exec("CREATE TABLE ZeCust (CustNo TEXT, Name TEXT, Tel TEXT)");
            db.exec("CREATE TABLE ZeData (CustNo TEXT, ZeDate REAL, STD TEXT)");
            db.exec("CREATE TABLE ZePrDt (ProNo TEXT, ProSubN TEXT)");
            db.exec(QString("INSERT INTO ZeCust VALUES ('%1', '%2xyz', '+49 123 456 789 012 345 "
                            "678 901 234')")
                        .arg(c.custNo, name50));
            db.exec(QString("INSERT INTO ZeData VALUES ('X1', 45000, '%1tail')").arg(std200));
            db.exec("INSERT INTO ZePrDt VALUES ('PROTOCOL-12345', 'a condition name of 30 c')");
        }
        messages_.clear();
        const DatabaseCheckResult r = run();
        EXPECT_EQ(r.copied, c.copied) << r.transferError.toStdString();
        connections_.close();
        FileDb db(path("viro6.mdb"));
        if (!c.copied) {
            EXPECT_TRUE(r.transferError.contains("ZeCust row 1")) << r.transferError.toStdString();
            EXPECT_EQ(messages_.size(), 1);
            EXPECT_EQ(db.scalar("SELECT count(*) FROM ZeCust").toInt(), 0);
            EXPECT_TRUE(exists("viro.mdb"));
            continue;
        }
        EXPECT_EQ(db.scalar("SELECT Name FROM ZeCust").toString(), name50);
        // 30 of "+49 123 456 789 012 345 678 901 234".
        EXPECT_EQ(db.scalar("SELECT Tel FROM ZeCust").toString(), "+49 123 456 789 012 345 678 90");
        EXPECT_EQ(db.scalar("SELECT STD FROM ZeData").toString(), std200);
        EXPECT_EQ(db.scalar("SELECT ProNo FROM ZePrDt").toString(), "PROTOCOL-123");
        EXPECT_EQ(db.scalar("SELECT ProSubN FROM ZePrDt").toString(), "a condition name of 30 c");
    }
}

TEST_F(DatabaseCheckTest, TodaysBackupIsReplaced) {
    makeMainDatabase("viro_20240305_BAK.mdb", 5, 0, "B");
    makeMainDatabase("viro.mdb", 1, 0, "O");
    ASSERT_TRUE(run().copied);
    connections_.close();
    EXPECT_EQ(count("viro_20240305_BAK.mdb", "SELECT count(*) FROM ZeCust"), 1);
    EXPECT_EQ(count("viro_20240305_BAK.mdb", "SELECT count(*) FROM ZeCust WHERE CustNo = 'O1'"), 1);
}

TEST_F(DatabaseCheckTest, FailureHalfwayLeavesEverythingAsBefore) {
    makeMainDatabase("viro6.mdb", 2, 2, "C");
    makeMainDatabase("viro.mdb", 3, 3, "O");
    {
        // A measurement whose patient number is too long for the current layout: the copy
        // fails after the patients and some measurements have been copied.
        FileDb db(path("viro.mdb"));
        db.exec("CREATE TABLE t AS SELECT * FROM ZeData");
        db.exec("DROP TABLE ZeData");
        db.exec("CREATE TABLE ZeData AS SELECT * FROM t");
        db.exec("INSERT INTO ZeData (CustNo, ZeDate) VALUES ('ABCDEFGHIJKLMNOP', 45000)");
    }
    const DatabaseCheckResult r = run();
    EXPECT_FALSE(r.copied);
    EXPECT_FALSE(r.startupFailure) << "the current database still works";
    EXPECT_FALSE(r.transferError.isEmpty());
    ASSERT_EQ(messages_.size(), 1);
    connections_.close();
    EXPECT_TRUE(exists("viro.mdb"));
    EXPECT_FALSE(exists("viro_20240305_BAK.mdb"));
    EXPECT_EQ(count("viro6.mdb", "SELECT count(*) FROM ZeCust"), 2);
    EXPECT_EQ(count("viro6.mdb", "SELECT count(*) FROM ZeData"), 4);
    EXPECT_EQ(count("viro6.mdb", "SELECT count(*) FROM ZePro"), 1);
    EXPECT_DOUBLE_EQ(FileDb(path("viro6.mdb")).scalar("SELECT PREMEA FROM ZeCust").toDouble(), 999)
        << "PREMEA untouched too";
}

TEST_F(DatabaseCheckTest, AccessOlderDatabases) {
    struct Case {
        const char* name;
        const char* source;
        qint64 keep; // 0: whole file
        bool copied;
    };
    const std::vector<Case> cases = {
        {"Access file read through the helper", "test2V1997.mdb", 0, true},
        {"damaged Access file", "test2V2000.mdb", 200704, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* f : {"viro6.mdb", "viro.mdb", "viro_20240305_BAK.mdb"})
            QFile::remove(path(f));
        makeMainDatabase("viro6.mdb", 1, 1, "C");
        QFile in(QString(VIRO_TESTDATA_DIR) + "/access/" + c.source);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        QFile out(path("viro.mdb"));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(c.keep ? in.read(c.keep) : in.readAll());
        out.close();
        messages_.clear();
        const DatabaseCheckResult r = run();
        EXPECT_FALSE(r.startupFailure);
        EXPECT_EQ(r.copied, c.copied) << r.transferError.toStdString();
        EXPECT_EQ(exists("viro.mdb"), !c.copied);
        EXPECT_EQ(messages_.size(), c.copied ? 0 : 1);
        connections_.close();
        EXPECT_EQ(count("viro6.mdb", "SELECT count(*) FROM ZeCust"), 1);
    }
}

// Rows of an Access file come over as the reader program delivers them; the older layout has
// no STD column.
TEST_F(DatabaseCheckTest, AccessTakeOverCopiesTheRows) {
    using V = QVariantList;
    const QByteArray stream =
        test::ReaderStream()
            .table("ZeCust",
                   {{"CustNo", kJetText},
                    {"Name", kJetText},
                    {"Sex", kJetBool},
                    {"DBirth", kJetDateTime},
                    {"Height", kJetDouble},
                    {"PREMEA", kJetDateTime}},
                   {V{QString("A1"), QString("Anna"), qint64(0), 29000.5, 1.62, 1.0},
                    V{QString("A2"), QString("Ben"), qint64(1), QVariant(), QVariant(), 44000.0}})
            .table("ZeData",
                   {{"CustNo", kJetText},
                    {"ZeDate", kJetDateTime},
                    {"ZeVota", kJetBool},
                    {"ZE1", kJetDouble},
                    {"ZE24", kJetDouble},
                    {"AutoKey", kJetLong}},
                   {V{QString("A1"), 45100.25, qint64(1), 12.5, 80.0, qint64(17)},
                    V{QString("A1"), 45200.75, qint64(0), 13.5, QVariant(), qint64(18)}})
            .table("ZePro", {{"ProNo", kJetText}, {"ProName", kJetText}, {"ProScal", kJetBool}},
                   {V{QString("P9"), QString("own"), qint64(1)}})
            .finish();
    test::FakeReader reader(stream);
    ASSERT_TRUE(
        QFile::copy(QString(VIRO_TESTDATA_DIR) + "/access/test2V1997.mdb", path("viro.mdb")));
    const DatabaseCheckResult r = run();
    ASSERT_TRUE(r.copied) << r.transferError.toStdString();
    connections_.close();
    FileDb db(path("viro6.mdb"));
    EXPECT_EQ(db.scalar("SELECT count(*) FROM ZeCust").toInt(), 2);
    EXPECT_EQ(db.scalar("SELECT Name FROM ZeCust WHERE CustNo = 'A1'").toString(), "Anna");
    EXPECT_EQ(db.scalar("SELECT Sex FROM ZeCust WHERE CustNo = 'A2'").toInt(), 1);
    EXPECT_DOUBLE_EQ(db.scalar("SELECT DBirth FROM ZeCust WHERE CustNo = 'A1'").toDouble(), 29000);
    EXPECT_DOUBLE_EQ(db.scalar("SELECT Height FROM ZeCust WHERE CustNo = 'A1'").toDouble(), 1.62);
    EXPECT_DOUBLE_EQ(db.scalar("SELECT PREMEA FROM ZeCust WHERE CustNo = 'A1'").toDouble(),
                     45200.75);
    EXPECT_DOUBLE_EQ(db.scalar("SELECT PREMEA FROM ZeCust WHERE CustNo = 'A2'").toDouble(), 0.0)
        << "a patient without measurements";
    EXPECT_EQ(db.scalar("SELECT count(*) FROM ZeData WHERE CustNo = 'A1'").toInt(), 2);
    EXPECT_EQ(db.scalar("SELECT count(*) FROM ZeData WHERE STD IS NOT NULL").toInt(), 0);
    EXPECT_EQ(db.scalar("SELECT AutoKey FROM ZeData WHERE ZE1 = 13.5").toString(), "18");
    EXPECT_EQ(db.scalar("SELECT ZeVota FROM ZeData WHERE ZE1 = 12.5").toInt(), 1);
    EXPECT_DOUBLE_EQ(db.scalar("SELECT ZE24 FROM ZeData WHERE ZE1 = 12.5").toDouble(), 80.0);
    EXPECT_EQ(db.scalar("SELECT ProScal FROM ZePro WHERE ProNo = 'P9'").toInt(), 1);
    EXPECT_TRUE(isAccessFile(path("viro_20240305_BAK.mdb")));
}

// An Access main database found while "viro.mdb" waits: both are taken over, one after the
// other, and the next start is clean.
TEST_F(DatabaseCheckTest, AccessMainDatabaseBesideWaitingOlderOne) {
    makeMainDatabase("viro.mdb", 2, 1, "O");
    QFile::copy(QString(VIRO_TESTDATA_DIR) + "/access/test2V2000.mdb", path("viro6.mdb"));
    QFile::setPermissions(path("viro6.mdb"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE(start);
        messages_.clear();
        const DatabaseCheckResult r = run();
        EXPECT_FALSE(r.startupFailure);
        EXPECT_EQ(r.copied, start == 1) << r.transferError.toStdString();
        EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();
        connections_.close();
        EXPECT_FALSE(isAccessFile(path("viro6.mdb")));
        EXPECT_FALSE(exists("viro.mdb"));
        EXPECT_EQ(count("viro6.mdb", "SELECT count(*) FROM ZeCust WHERE CustNo LIKE 'O%'"), 2);
        EXPECT_TRUE(isAccessFile(path("viro6_access_20240305_BAK.mdb")));
        EXPECT_TRUE(exists("viro_20240305_BAK.mdb"));
    }
}

TEST_F(DatabaseCheckTest, AccessMainDatabaseIsTakenOver) {
    QFile::copy(QString(VIRO_TESTDATA_DIR) + "/access/test2V2000.mdb", path("viro6.mdb"));
    QFile::setPermissions(path("viro6.mdb"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const DatabaseCheckResult r = run();
    EXPECT_FALSE(r.startupFailure);
    EXPECT_TRUE(r.copied) << r.transferError.toStdString();
    connections_.close();
    EXPECT_FALSE(isAccessFile(path("viro6.mdb")));
    EXPECT_TRUE(isAccessFile(path("viro_20240305_BAK.mdb")));
}

TEST_F(DatabaseCheckTest, WriteAheadLogMovesWithTheFile) {
    makeMainDatabase("viro6.mdb", 1, 0, "C");
    makeMainDatabase("viro_60.mdb", 0, 0, "F");
    {
        // Rows still in the log of the current database when it is moved aside.
        Connection c(ConnectionRole::Main);
        QString error;
        ASSERT_TRUE(c.open(path("viro6.mdb"), &error));
        QSqlQuery(c.database()).exec("PRAGMA wal_autocheckpoint=0");
        QSqlQuery(c.database()).exec("INSERT INTO ZeCust (CustNo) VALUES ('C2')");
        // Copy the files as a crash would leave them.
        QFile::copy(path("viro6.mdb"), path("crash.mdb"));
        QFile::copy(path("viro6.mdb") + "-wal", path("crash.mdb") + "-wal");
    }
    QFile::remove(path("viro6.mdb"));
    QFile::rename(path("crash.mdb"), path("viro6.mdb"));
    QFile::rename(path("crash.mdb") + "-wal", path("viro6.mdb") + "-wal");
    ASSERT_TRUE(run().copied);
    connections_.close();
    EXPECT_EQ(count("viro6.mdb", "SELECT count(*) FROM ZeCust"), 2);
}

// A reader holding an older snapshot keeps the checkpoint from folding the newest row into the
// file: the log must move with it, not be deleted.
TEST_F(DatabaseCheckTest, LogThatCannotBeFoldedMovesWithTheFile) {
    makeMainDatabase("viro6.mdb", 1, 0, "C");
    QString error;
    Connection writer(ConnectionRole::Main);
    ASSERT_TRUE(writer.open(path("viro6.mdb"), &error)) << error.toStdString();
    QSqlQuery(writer.database()).exec("PRAGMA wal_autocheckpoint=0");
    Connection reader(ConnectionRole::Main);
    ASSERT_TRUE(reader.open(path("viro6.mdb"), &error)) << error.toStdString();
    QSqlQuery snapshot(reader.database());
    ASSERT_TRUE(snapshot.exec("BEGIN"));
    ASSERT_TRUE(snapshot.exec("SELECT count(*) FROM ZeCust") && snapshot.next());
    ASSERT_TRUE(QSqlQuery(writer.database()).exec("INSERT INTO ZeCust (CustNo) VALUES ('C2')"));

    ASSERT_TRUE(moveDatabaseFile(path("viro6.mdb"), path("viro.mdb")));
    EXPECT_TRUE(exists("viro.mdb-wal"));
    EXPECT_FALSE(exists("viro6.mdb-wal"));
    // Read the moved file while the others are still open, so none of them folds the log on
    // closing.
    EXPECT_EQ(count("viro.mdb", "SELECT count(*) FROM ZeCust"), 2);
    snapshot.exec("COMMIT");
}

TEST(InstallationFiles, CopiedIntoNewDataFolder) {
    QTemporaryDir share, data;
    QString error;
    ASSERT_TRUE(createDatabaseFile(share.filePath(dataFileName("ZeSpa_60.mdb")), DatabaseKind::Main,
                                   &error));
    ASSERT_TRUE(createDatabaseFile(share.filePath(dataFileName("viroE.mdb")),
                                   DatabaseKind::ReferenceTexts, &error));
    ASSERT_TRUE(createDatabaseFile(share.filePath(dataFileName("viroZE.mdb")),
                                   DatabaseKind::StandardProtocols, &error));
    QDir(share.path()).mkpath("Data");
    QFile pic(share.filePath("Data/" + dataFileName("PLh1.bmp")));
    ASSERT_TRUE(pic.open(QIODevice::WriteOnly));
    pic.write("BM picture");
    pic.close();
    for (const QString& f : QDir(share.path()).entryList(QDir::Files))
        QFile::setPermissions(share.filePath(f), QFileDevice::ReadOwner); // installed read-only

    const QString folder = data.path() + "/new/";
    // A reference file left as an Access file is replaced; the user's own files stay.
    QDir().mkpath(folder);
    QFile::copy(QString(VIRO_TESTDATA_DIR) + "/access/test2V1997.mdb",
                folder + dataFileName("viroE.mdb"));
    QFile mine(folder + dataFileName("viroZE.mdb"));
    ASSERT_TRUE(mine.open(QIODevice::WriteOnly));
    mine.write("kept");
    mine.close();

    ASSERT_TRUE(copyInstallationFiles(share.path(), folder, &error)) << error.toStdString();
    EXPECT_TRUE(QFile::exists(folder + dataFileName("ZeSpa_60.mdb")));
    EXPECT_TRUE(QFile::exists(folder + "Data/" + dataFileName("PLh1.bmp")));
    EXPECT_FALSE(isAccessFile(folder + dataFileName("viroE.mdb")));
    QFile kept(folder + dataFileName("viroZE.mdb"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "kept");
    EXPECT_TRUE(QFileInfo(folder + dataFileName("ZeSpa_60.mdb")).isWritable());

    DatabaseConnections connections;
    DatabaseCheckView view;
    QFile::remove(folder + dataFileName("viroZE.mdb"));
    ASSERT_TRUE(copyInstallationFiles(share.path(), folder, &error));
    const DatabaseCheckResult r = runDatabaseCheck(folder, connections, view, kToday);
    EXPECT_FALSE(r.startupFailure);
    EXPECT_TRUE(connections.isOpen());
    EXPECT_FALSE(copyInstallationFiles(share.path() + "/missing", folder, &error));
}

TEST(BackupNames, DatedByTheDay) {
    EXPECT_EQ(backupFileName(QDate(2024, 3, 5)), dataFileName("viro_20240305_BAK.mdb"));
    EXPECT_EQ(backupFileName(QDate(1999, 12, 31)), dataFileName("viro_19991231_BAK.mdb"));
}

} // namespace
} // namespace viro
