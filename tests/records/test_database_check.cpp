#include "core/data_folder.h"
#include "fake_reader.h"
#include "records/access_file.h"
#include "records/database_check.h"
#include "records/schema.h"
#include "records_fixture.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace viro {
namespace {

const QDate kToday(2024, 3, 5);

#ifdef Q_OS_UNIX
// Holds every file this process writes to `bytes` while it lives: a write beyond fails, as on a
// full disk, instead of raising SIGXFSZ. Works for root too.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        active_ = getrlimit(RLIMIT_FSIZE, &saved_) == 0;
        previous_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = std::min(bytes, saved_.rlim_max);
        active_ = active_ && setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previous_);
    }
    bool active() const { return active_; }

private:
    rlimit saved_{};
    sighandler_t previous_ = SIG_DFL;
    bool active_ = false;
};
#endif

// Makes `folder` read-only for the test's lifetime; unwritable() is false where permissions do
// not stop writes (root).
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder) : folder_(folder) {
        saved_ = QFile::permissions(folder_);
        QFile::setPermissions(folder_, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        QFile probe(folder_ + "/probe");
        unwritable_ = !probe.open(QIODevice::WriteOnly);
        if (!unwritable_) {
            probe.close();
            probe.remove();
        }
    }
    ~ReadOnlyFolder() { QFile::setPermissions(folder_, saved_); }
    bool unwritable() const { return unwritable_; }

private:
    QString folder_;
    QFileDevice::Permissions saved_;
    bool unwritable_ = false;
};

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A folder in the way of a file of that name: no removal, rename or copy onto it succeeds,
// not even for root.
void blockWithFolder(const QString& path) {
    ASSERT_TRUE(QDir().mkpath(path + "/inside"));
}

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

// Texts too long for the current columns come over cut to the column's width.
TEST_F(DatabaseCheckTest, OverLongTextsOfOlderDatabase) {
    const QString name50 = QString("N").repeated(50);
    const QString std200 = QString("1").repeated(200);
    {
        FileDb db(path("viro.mdb"));
        db.exec("CREATE TABLE ZeCust (CustNo TEXT, Name TEXT, Tel TEXT)");
        db.exec("CREATE TABLE ZeData (CustNo TEXT, ZeDate REAL, STD TEXT)");
        db.exec("CREATE TABLE ZePrDt (ProNo TEXT, ProSubN TEXT)");
        db.exec(QString("INSERT INTO ZeCust VALUES ('X1', '%1xyz', '+49 123 456 789 012 345 678 "
                        "901 234')")
                    .arg(name50));
        db.exec(QString("INSERT INTO ZeData VALUES ('X1', 45000, '%1tail')").arg(std200));
        db.exec("INSERT INTO ZePrDt VALUES ('PROTOCOL-12345', 'a condition name of 30 c')");
    }
    const DatabaseCheckResult r = run();
    ASSERT_TRUE(r.copied) << r.transferError.toStdString();
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();
    connections_.close();
    FileDb db(path("viro6.mdb"));
    EXPECT_EQ(db.scalar("SELECT Name FROM ZeCust").toString(), name50);
    // 30 of "+49 123 456 789 012 345 678 901 234".
    EXPECT_EQ(db.scalar("SELECT Tel FROM ZeCust").toString(), "+49 123 456 789 012 345 678 90");
    EXPECT_EQ(db.scalar("SELECT STD FROM ZeData").toString(), std200);
    EXPECT_EQ(db.scalar("SELECT ProNo FROM ZePrDt").toString(), "PROTOCOL-123");
    EXPECT_EQ(db.scalar("SELECT ProSubN FROM ZePrDt").toString(), "a condition name of 30 c");
}

// Patient numbers longer than a new one may be are kept whole, on the patients and on their
// measurements: two that differ only after the 15th character stay two patients. This works
// into a main database of this build and into one of an earlier build, which held numbers to
// 15 characters itself; a second start copies nothing again.
TEST_F(DatabaseCheckTest, LongPatientNumbersAreTakenOverWhole) {
    const QString first = "PATIENT-NUMBER-00020"; // 20 characters, the first 15 shared
    const QString second = "PATIENT-NUMBER-00021";
    const QString message =
        "4: The older database was taken over. Rows with a patient number longer than 15 "
        "characters: 5 (2 patients, 3 measurements). These numbers were kept whole; new patient "
        "numbers take at most 15 characters.";
    struct Case {
        const char* name;
        bool earlierMain;
    };
    const std::vector<Case> cases = {
        {"main database of this build", false},
        {"main database of an earlier build", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        connections_.close();
        for (const char* f : {"viro6.mdb", "viro.mdb", "viro_20240305_BAK.mdb"})
            QFile::remove(path(f));
        QString error;
        if (c.earlierMain)
            ASSERT_TRUE(test::createEarlierMainDatabase(path("viro6.mdb"), &error))
                << error.toStdString();
        else
            ASSERT_TRUE(createDatabaseFile(path("viro6.mdb"), DatabaseKind::Main, &error));
        FileDb(path("viro6.mdb")).exec("INSERT INTO ZeCust (CustNo, Name) VALUES ('C1', 'c')");
        makeMainDatabase("viro.mdb", 1, 1, "O");
        {
            FileDb db(path("viro.mdb"));
            db.exec(QString("INSERT INTO ZeCust (CustNo, Name) VALUES ('%1', 'first'), ('%2', "
                            "'second')")
                        .arg(first, second));
            db.exec(QString("INSERT INTO ZeData (CustNo, ZeDate) VALUES ('%1', 45500.5), ('%1', "
                            "45600.25), ('%2', 45700)")
                        .arg(first, second));
        }
        for (int start = 1; start <= 2; ++start) {
            SCOPED_TRACE("start " + std::to_string(start));
            messages_.clear();
            const DatabaseCheckResult r = run();
            EXPECT_FALSE(r.startupFailure);
            EXPECT_EQ(r.copied, start == 1) << r.transferError.toStdString();
            EXPECT_EQ(messages_, start == 1 ? QStringList{message} : QStringList{});
            connections_.close();
            EXPECT_FALSE(exists("viro.mdb"));
            EXPECT_TRUE(exists("viro_20240305_BAK.mdb"));
            FileDb db(path("viro6.mdb"));
            EXPECT_EQ(db.scalar("SELECT count(*) FROM ZeCust").toInt(), 4);
            EXPECT_EQ(db.scalar("SELECT count(*) FROM ZeData").toInt(), 5);
            EXPECT_EQ(db.scalar("SELECT Name FROM ZeCust WHERE CustNo = '" + first + "'"), "first");
            EXPECT_EQ(db.scalar("SELECT Name FROM ZeCust WHERE CustNo = '" + second + "'"),
                      "second");
            EXPECT_EQ(
                db.scalar("SELECT count(*) FROM ZeData WHERE CustNo = '" + first + "'").toInt(), 2);
            EXPECT_DOUBLE_EQ(
                db.scalar("SELECT PREMEA FROM ZeCust WHERE CustNo = '" + first + "'").toDouble(),
                45600.25);
            EXPECT_DOUBLE_EQ(
                db.scalar("SELECT PREMEA FROM ZeCust WHERE CustNo = '" + second + "'").toDouble(),
                45700);
        }
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

// A copy that fails halfway leaves the main database as it was and the older file under its
// own name; once the fault is gone, the next start takes it over exactly once.
TEST_F(DatabaseCheckTest, FailureHalfwayLeavesEverythingAsBefore) {
    makeMainDatabase("viro6.mdb", 2, 2, "C");
    makeMainDatabase("viro.mdb", 3, 3, "O");
    // The main database refuses the measurements of O2: the copy fails after the patients and
    // the measurements of O1 have been copied.
    FileDb(path("viro6.mdb"))
        .exec("CREATE TRIGGER refuse BEFORE INSERT ON ZeData WHEN NEW.CustNo = 'O2' "
              "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    const DatabaseCheckResult r = run();
    EXPECT_FALSE(r.copied);
    EXPECT_FALSE(r.startupFailure) << "the current database still works";
    EXPECT_TRUE(r.transferError.contains("refused")) << r.transferError.toStdString();
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_.first().startsWith("6: The older database " +
                                             QDir::toNativeSeparators(path("viro.mdb")) +
                                             " could not be taken over"))
        << messages_.first().toStdString();
    connections_.close();
    EXPECT_TRUE(exists("viro.mdb"));
    EXPECT_FALSE(exists("viro_20240305_BAK.mdb"));
    EXPECT_EQ(count("viro6.mdb", "SELECT count(*) FROM ZeCust"), 2);
    EXPECT_EQ(count("viro6.mdb", "SELECT count(*) FROM ZeData"), 4);
    EXPECT_EQ(count("viro6.mdb", "SELECT count(*) FROM ZePro"), 1);
    EXPECT_DOUBLE_EQ(FileDb(path("viro6.mdb")).scalar("SELECT PREMEA FROM ZeCust").toDouble(), 999)
        << "PREMEA untouched too";

    FileDb(path("viro6.mdb")).exec("DROP TRIGGER refuse");
    for (int start = 2; start <= 3; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        messages_.clear();
        EXPECT_EQ(run().copied, start == 2);
        EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();
        connections_.close();
        EXPECT_FALSE(exists("viro.mdb"));
        EXPECT_EQ(count("viro6.mdb", "SELECT count(*) FROM ZeCust"), 5);
        EXPECT_EQ(count("viro6.mdb", "SELECT count(*) FROM ZeData"), 10);
        EXPECT_EQ(count("viro_20240305_BAK.mdb", "SELECT count(*) FROM ZeData"), 6);
    }
}

// A file step that fails is shown naming the file and written to the log; the steps go on, an
// older database stays for the next start and is taken over once the way is clear.
TEST_F(DatabaseCheckTest, FileStepFailuresAreShown) {
    struct Case {
        const char* name;
        const char* blocked; // a folder stands where this file would go
        const char* named;   // the file the message names
        bool startupFailure; // the main database is missing afterwards
        bool olderWaits;     // viro.mdb stays for the next start
    };
    const std::vector<Case> cases = {
        {"today's backup cannot be replaced", "viro_20240305_BAK.mdb", "viro_20240305_BAK.mdb",
         false, true},
        {"the backup name holds a log that cannot be removed", "viro_20240305_BAK.mdb-wal",
         "viro_20240305_BAK.mdb-wal", false, true},
        {"the template cannot be copied over a log", "viro6.mdb-wal", "viro6.mdb-wal", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        connections_.close();
        for (const char* f : {"viro6.mdb", "viro.mdb", "viro_20240305_BAK.mdb"})
            QFile::remove(path(f));
        if (c.olderWaits) {
            makeMainDatabase("viro6.mdb", 1, 0, "C");
            makeMainDatabase("viro.mdb", 1, 1, "O");
        }
        blockWithFolder(path(c.blocked));
        messages_.clear();
        const DatabaseCheckResult r = run();
        EXPECT_EQ(r.startupFailure, c.startupFailure);
        EXPECT_FALSE(r.copied);
        ASSERT_EQ(r.fileErrors.size(), 1);
        EXPECT_TRUE(r.fileErrors.first().contains(QDir::toNativeSeparators(path(c.named))))
            << r.fileErrors.first().toStdString();
        ASSERT_FALSE(messages_.isEmpty());
        EXPECT_EQ(messages_.first(), "6: " + r.fileErrors.first());
        connections_.close();
        EXPECT_EQ(exists("viro.mdb"), c.olderWaits);
        EXPECT_EQ(exists("viro6.mdb"), !c.startupFailure) << "no part of a copy is left";

        // The way cleared, the next start does what was left.
        ASSERT_TRUE(QDir(path(c.blocked)).removeRecursively());
        messages_.clear();
        const DatabaseCheckResult next = run();
        EXPECT_FALSE(next.startupFailure);
        EXPECT_EQ(next.copied, c.olderWaits);
        EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();
        connections_.close();
        EXPECT_FALSE(exists("viro.mdb"));
        if (c.olderWaits) {
            EXPECT_EQ(count("viro6.mdb", "SELECT count(*) FROM ZeData"), 2);
        }
    }
}

// A rename the file system refuses (a read-only data folder) is shown naming both files.
TEST_F(DatabaseCheckTest, RefusedRenameIsShown) {
    makeMainDatabase("viro6.mdb", 1, 0, "C");
    makeMainDatabase("viro_60.mdb", 0, 0, "F");
    ReadOnlyFolder readOnly(dir_.path());
    if (!readOnly.unwritable())
        GTEST_SKIP() << "permissions do not stop writes here (running as root)";
    const DatabaseCheckResult r = run();
    ASSERT_FALSE(r.fileErrors.isEmpty());
    const QString& e = r.fileErrors.first();
    EXPECT_TRUE(e.contains(QDir::toNativeSeparators(path("viro6.mdb"))) &&
                e.contains(QDir::toNativeSeparators(path("viro.mdb"))))
        << e.toStdString();
    EXPECT_TRUE(messages_.contains("6: " + e)) << messages_.join('\n').toStdString();
    connections_.close();
    EXPECT_TRUE(exists("viro_60.mdb"));
    EXPECT_TRUE(exists("viro6.mdb"));
    EXPECT_FALSE(exists("viro.mdb"));
}

#ifdef Q_OS_UNIX
// The template copy cut short (a full disk) leaves no "viro6.mdb" that a later start would
// take for the main database; the next start with room makes a whole one.
TEST_F(DatabaseCheckTest, TemplateCopyCutShortLeavesNoMainDatabase) {
    const qint64 size = QFileInfo(path("ZeSpa_60.mdb")).size();
    ASSERT_GT(size, 8192);
    {
        FileSizeLimit limit(8192);
        ASSERT_TRUE(limit.active());
        const DatabaseCheckResult r = run();
        EXPECT_TRUE(r.startupFailure);
        ASSERT_EQ(r.fileErrors.size(), 1);
        EXPECT_TRUE(r.fileErrors.first().contains(QDir::toNativeSeparators(path("viro6.mdb"))))
            << r.fileErrors.first().toStdString();
    }
    connections_.close();
    EXPECT_FALSE(exists("viro6.mdb"));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files).size(), 3) << "no temporary file left";
    messages_.clear();
    const DatabaseCheckResult r = run();
    EXPECT_FALSE(r.startupFailure);
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();
    EXPECT_EQ(QFileInfo(path("viro6.mdb")).size(), size);
}
#endif

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

// An installation file that cannot be copied is named; the others are copied all the same.
TEST(InstallationFiles, FailureNamesTheFileAndCopiesTheRest) {
    QTemporaryDir share, data;
    QString error;
    ASSERT_TRUE(createDatabaseFile(share.filePath(dataFileName("ZeSpa_60.mdb")), DatabaseKind::Main,
                                   &error));
    ASSERT_TRUE(QDir(share.path()).mkpath(dataFileName("Data")));
    writeFile(share.filePath(dataFileName("Data") + "/" + dataFileName("PLh1.bmp")), "BM");
    // A file stands where the picture folder belongs.
    writeFile(data.filePath(dataFileName("Data")), "not a folder");
    EXPECT_FALSE(copyInstallationFiles(share.path(), data.path(), &error));
    EXPECT_TRUE(error.contains(QDir::toNativeSeparators(data.filePath(dataFileName("Data")))))
        << error.toStdString();
    EXPECT_TRUE(error.contains(dataFileName("PLh1.bmp"))) << error.toStdString();
    EXPECT_TRUE(QFile::exists(data.filePath(dataFileName("ZeSpa_60.mdb"))));
}

#ifdef Q_OS_UNIX
// A copy that fails part way (the file size limit standing in for a full disk, or a source
// that cannot be read) leaves no part of the file under the target's name, and a target that
// was there stays as it was.
TEST(AtomicCopy, FailureLeavesNoPartOfTheFile) {
    struct Case {
        const char* name;
        bool unreadableSource;
        bool targetExisted;
        rlim_t limit; // bytes a file may reach
    };
    // A limit inside a write cuts it short; one between writes refuses the next one outright.
    const std::vector<Case> cases = {
        {"write cut short, new target", false, false, 100 * 1024},
        {"write cut short, replacing a target", false, true, 100 * 1024},
        {"write refused, new target", false, false, 256 * 1024},
        {"source cannot be read", true, false, 256 * 1024},
    };
    QByteArray big(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < big.size(); ++i)
        big[i] = char(i * 7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        QString source = dir.filePath("source.bin");
        writeFile(source, big);
        if (c.unreadableSource) {
            // Opens, but every read fails: nothing is mapped at address 0.
            source = "/proc/self/mem";
            if (!QFile::exists(source))
                GTEST_SKIP() << "no " << source.toStdString();
        }
        const QString target = dir.filePath("target.mdb");
        if (c.targetExisted)
            writeFile(target, "old");
        const QStringList before = QDir(dir.path()).entryList(QDir::Files);
        QString error;
        bool copied = true;
        {
            FileSizeLimit limit(c.limit);
            ASSERT_TRUE(limit.active());
            copied = copyFileAtomically(source, target, &error);
        }
        EXPECT_FALSE(copied);
        EXPECT_TRUE(error.contains(QDir::toNativeSeparators(target))) << error.toStdString();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), before) << "no temporary file left";
        EXPECT_EQ(readFile(target), c.targetExisted ? QByteArray("old") : QByteArray());
        if (c.unreadableSource)
            continue;
        ASSERT_TRUE(copyFileAtomically(source, target, &error)) << error.toStdString();
        EXPECT_EQ(readFile(target), big);
        EXPECT_EQ(QFile::permissions(target) & (QFileDevice::ReadOwner | QFileDevice::WriteOwner),
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
}
#endif

// Logs left by an earlier file of the target's name are removed, so they are never read as
// the copy's own.
TEST(AtomicCopy, StaleLogsOfTheTargetAreRemoved) {
    QTemporaryDir dir;
    QString error;
    const QString templ = dir.filePath("zespa_60.mdb");
    ASSERT_TRUE(createDatabaseFile(templ, DatabaseKind::Main, &error));
    const QString target = dir.filePath("viro6.mdb");
    for (const char* side : {"-wal", "-shm", "-journal"})
        writeFile(target + side, "stale");
    ASSERT_TRUE(copyFileAtomically(templ, target, &error)) << error.toStdString();
    for (const char* side : {"-wal", "-shm", "-journal"})
        EXPECT_FALSE(QFile::exists(target + side)) << side;
    EXPECT_EQ(readFile(target), readFile(templ));
}

TEST(BackupNames, DatedByTheDay) {
    EXPECT_EQ(backupFileName(QDate(2024, 3, 5)), dataFileName("viro_20240305_BAK.mdb"));
    EXPECT_EQ(backupFileName(QDate(1999, 12, 31)), dataFileName("viro_19991231_BAK.mdb"));
}

} // namespace
} // namespace viro
