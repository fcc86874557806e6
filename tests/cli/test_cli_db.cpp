#include "cli_runner.h"

#include "analysis/jet_date.h"
#include "records/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <vector>

namespace {

const QStringList kPatientFields{"Addr",  "BType",  "CustCat", "CustFG", "CustNo", "DBirth",
                                 "EMail", "Height", "Memo",    "Name",   "PREMEA", "PrtFG",
                                 "Sex",   "Tel",    "Tel2",    "Tel3",   "Weight"};

QString list24(double first, double step) {
    QStringList items;
    for (int i = 0; i < 24; ++i)
        items << QString::number(first + step * i);
    return items.join(',');
}

std::vector<double> numbers(const QJsonValue& v) {
    std::vector<double> out;
    for (const QJsonValue& item : v.toArray())
        out.push_back(item.toDouble());
    return out;
}

QStringList field(const QJsonArray& rows, const char* name) {
    QStringList out;
    for (const QJsonValue& row : rows)
        out << row.toObject().value(name).toVariant().toString();
    return out;
}

double jet(int y, int m, int d, int h = 0, int min = 0, int s = 0) {
    return viro::jetFromDateTime(QDateTime(QDate(y, m, d), QTime(h, min, s)));
}

// A data folder with an empty patient database, and viro-cli run on it.
class DbCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkpath("data"));
        env.insert("VIRO_DATA_DIR", dir.filePath("data"));
        QString error;
        ASSERT_TRUE(viro::createDatabaseFile(database(), viro::DatabaseKind::Main, &error))
            << error.toStdString();
    }

    QString database() const { return dir.filePath("data/viro6.mdb"); }
    QString journal() const { return dir.filePath("data/measure.journal"); }

    CliRun run(const QStringList& args) const { return runCli(args, env); }
    CliRun db(const QStringList& args) const { return run(QStringList{"db"} + args); }

    // Runs a command that must succeed and returns its JSON.
    QJsonDocument ok(const QStringList& args) const {
        const CliRun r = db(args);
        EXPECT_EQ(r.exitCode, 0) << args.join(' ').toStdString() << "\n" << r.err.constData();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
        return r.json();
    }
    void addPatient(const QString& no, const QString& name, const QStringList& more = {}) const {
        ok(QStringList{"add-patient", "--no", no, "--name", name} + more);
    }
    int save(const QString& no, const QStringList& more = {}) const {
        return ok(QStringList{"save", "--patient", no, "--values", list24(20, 1)} + more)
            .object()
            .value("MKEY")
            .toInt();
    }

    // Runs SQL on the database file from outside the tool.
    void sql(const QString& statement) const {
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase d = QSqlDatabase::addDatabase("QSQLITE", name);
            d.setDatabaseName(database());
            ASSERT_TRUE(d.open());
            QSqlQuery q(d);
            EXPECT_TRUE(q.exec(statement)) << q.lastError().text().toStdString();
        }
        QSqlDatabase::removeDatabase(name);
    }
    void refuseNewMeasurements() const {
        sql("CREATE TRIGGER refuse BEFORE INSERT ON ZeData "
            "BEGIN SELECT RAISE(ABORT, 'refused by the test'); END");
    }

    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
};

TEST_F(DbCli, APatientIsAddedAndListedWithTheFieldNamesOfTheTable) {
    const QJsonObject added =
        ok({"add-patient", "--no", " P-1 ", "--name", "Ann Example", "--sex", "female", "--birth",
            "1980-05-06", "--addr", "1 Road", "--tel", "555-1", "--mobile", "555-2", "--fax",
            "555-3", "--email", "ann@example.org"})
            .object();
    EXPECT_EQ(added.keys(), kPatientFields);
    EXPECT_EQ(added.value("CustNo").toString(), "P-1");
    EXPECT_EQ(added.value("Name").toString(), "Ann Example");
    EXPECT_EQ(added.value("Sex").toBool(true), false);
    EXPECT_EQ(added.value("DBirth").toDouble(), viro::jetFromDate(QDate(1980, 5, 6)));
    EXPECT_EQ(added.value("Addr").toString(), "1 Road");
    EXPECT_EQ(added.value("Tel").toString(), "555-1");
    EXPECT_EQ(added.value("Tel2").toString(), "555-2");
    EXPECT_EQ(added.value("Tel3").toString(), "555-3");
    EXPECT_EQ(added.value("EMail").toString(), "ann@example.org");
    EXPECT_EQ(added.value("PREMEA").toDouble(-1), 0);

    addPatient("P-2", "Bob");
    const QJsonArray list = ok({"patients"}).array();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].toObject(), added);
    EXPECT_EQ(list[1].toObject().value("Sex").toBool(false), true); // male unless told
    EXPECT_EQ(list[1].toObject().value("DBirth").toDouble(-1), 0);

    // The options may come before the sub-command.
    EXPECT_EQ(ok({"--db", database(), "patients"}).array().size(), 2);
}

TEST_F(DbCli, TextsWithQuotesPercentSemicolonsAndSqlAreStoredAndFoundLiterally) {
    const QStringList names{"O'Brien", "100% sure",       "%percent", "_under",
                            "a;b",     "x'); DROP TABLE", "Anne",     "\"quoted\""};
    for (int i = 0; i < names.size(); ++i)
        addPatient(QStringLiteral("N'%1;%").arg(i), names[i]);
    const QJsonArray all = ok({"patients"}).array();
    ASSERT_EQ(all.size(), names.size());
    for (int i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i].toStdString());
        EXPECT_EQ(all[i].toObject().value("Name").toString(), names[i]);
        const QJsonArray found = ok({"patients", "--sort", "Name", "--find", names[i]}).array();
        EXPECT_EQ(field(found, "Name"), QStringList{names[i]});
        const QJsonArray byNumber = ok({"patients", "--find", QString("n'%1;").arg(i)}).array();
        EXPECT_EQ(field(byNumber, "CustNo"), QStringList{QString("N'%1;%").arg(i)});
    }
    // Neither "%" nor "_" stands for other characters.
    EXPECT_EQ(field(ok({"patients", "--sort", "Name", "--find", "%"}).array(), "Name"),
              QStringList{"%percent"});
    EXPECT_EQ(field(ok({"patients", "--sort", "Name", "--find", "_"}).array(), "Name"),
              QStringList{"_under"});

    const int mkey = save("n'4;%", {"--notes", "it's 100%; \"fine\"\nDELETE FROM ZeData;"});
    const QJsonObject shown = ok({"show", QString::number(mkey)}).object();
    EXPECT_EQ(shown.value("CustNo").toString(), "N'4;%");
    EXPECT_EQ(shown.value("notes").toString(), "it's 100%; \"fine\"\nDELETE FROM ZeData;");
    EXPECT_EQ(ok({"measurements", "N'4;%"}).array().size(), 1);
}

TEST_F(DbCli, TheListIsSortedAsThePatientListIsInEitherDirection) {
    addPatient("c", "Bert", {"--birth", "1990-01-01", "--tel", "3"});
    addPatient("A", "Carl", {"--birth", "1970-01-01", "--tel", "1"});
    addPatient("b", "Bert", {"--birth", "1980-01-01", "--tel", "2"});
    struct Case {
        const char* sort;
        QStringList numbers;
    };
    const std::vector<Case> cases{
        {nullptr, {"A", "b", "c"}},
        {"CustNo", {"A", "b", "c"}},
        {"-custno", {"c", "b", "A"}},
        // Equal names in the order of their numbers.
        {"Name", {"b", "c", "A"}},
        {"DBirth", {"A", "b", "c"}},
        {"-DBirth", {"c", "b", "A"}},
        {"-Tel", {"c", "b", "A"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sort ? c.sort : "(default)");
        const QStringList args =
            c.sort ? QStringList{"patients", "--sort", c.sort} : QStringList{"patients"};
        EXPECT_EQ(field(ok(args).array(), "CustNo"), c.numbers);
    }
    for (const char* sort : {"Height", "Memo", "Bogus", "-"}) {
        const CliRun r = db({"patients", "--sort", sort});
        EXPECT_EQ(r.exitCode, 2) << sort;
        EXPECT_TRUE(r.err.contains("--sort must be one of")) << r.err.constData();
        EXPECT_TRUE(r.out.isEmpty());
    }
}

TEST_F(DbCli, FindPrintsThePatientsWhoseSortFieldBeginsWithTheText) {
    addPatient("1", "Anna", {"--birth", "1980-05-06"});
    addPatient("2", "anton", {"--birth", "1975-01-01"});
    addPatient("3", "Bert", {"--birth", "1980-05-06"});
    addPatient("4", "Andreas");
    addPatient("5", "Ban");
    struct Case {
        QStringList args;
        QStringList numbers;
    };
    const std::vector<Case> cases{
        {{"--sort", "Name", "--find", "an"}, {"4", "1", "2"}},
        {{"--sort", "-Name", "--find", "AN"}, {"2", "1", "4"}},
        {{"--sort", "Name", "--find", "anna"}, {"1"}},
        {{"--sort", "Name", "--find", "z"}, {}},
        {{"--sort", "DBirth", "--find", "1980-05-06"}, {"1", "3"}},
        {{"--sort", "DBirth", "--find", "1960-01-01"}, {}},
        {{"--find", "3"}, {"3"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        EXPECT_EQ(field(ok(QStringList{"patients"} + c.args).array(), "CustNo"), c.numbers);
    }
    for (const QStringList& args : {QStringList{"--sort", "Sex", "--find", "x"},
                                    QStringList{"--sort", "PREMEA", "--find", "1"},
                                    QStringList{"--sort", "DBirth", "--find", "May"}}) {
        const CliRun r = db(QStringList{"patients"} + args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith("viro-cli: db patients: --find")) << r.err.constData();
    }
}

TEST_F(DbCli, ATakenNumberIsRefusedWhateverItsLetterCase) {
    addPatient("ab1", "Ann Example");
    addPatient("x2", "Bob");
    for (const QStringList& args : {QStringList{"add-patient", "--no", "AB1", "--name", "Other"},
                                    QStringList{"add-patient", "--no", " aB1 ", "--name", "Other"},
                                    QStringList{"edit-patient", "x2", "--renumber", "Ab1"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const CliRun r = db(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.out.isEmpty());
        // The editor's notice, on the tool's one line.
        EXPECT_TRUE(r.err.contains("atient number is already taken and is named [ Ann Example ] !"))
            << r.err.constData();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
    }
    EXPECT_EQ(field(ok({"patients"}).array(), "CustNo"), (QStringList{"ab1", "x2"}));
}

TEST_F(DbCli, BadInputExitsWith2AndUnknownPatientsOrMeasurementsWith1) {
    addPatient("P1", "Ann");
    const int mkey = save("P1");
    const QString values = list24(20, 1);
    const QString longName(21, 'n');
    struct Case {
        QStringList args;
        int status;
        const char* message;
    };
    const std::vector<Case> cases{
        {{"add-patient", "--name", "Ann"}, 2, "--no is required"},
        {{"add-patient", "--no", "P9"}, 2, "--name is required"},
        {{"add-patient", "--no", "  ", "--name", "Ann"}, 2, "--no must be a patient number"},
        {{"add-patient", "--no", "1234567890123456", "--name", "Ann"}, 2, "1 to 15 characters"},
        {{"add-patient", "--no", "P9", "--name", longName}, 2, "at most 20 characters"},
        {{"add-patient", "--no", "P9", "--name", "A", "--sex", "other"}, 2, "--sex"},
        {{"add-patient", "--no", "P9", "--name", "A", "--birth", "soon"}, 2, "--birth"},
        {{"save", "--patient", "P1"}, 2, "--values is required"},
        {{"save", "--patient", "P1", "--values", "250," + list24(20, 1).section(',', 1)},
         2,
         "--values item 1 must be 0 (none) or from 0.1 to 200.0"},
        {{"save", "--patient", "P1", "--values", list24(20, 1).section(',', 0, 22) + ",0.05"},
         2,
         "--values item 24"},
        {{"save", "--patient", "P1", "--values", "1,2"}, 2, "24 comma-separated numbers"},
        {{"save", "--patient", "P1", "--values", values, "--quality", list24(90, 1)},
         2,
         "--quality item 12 must lie from 0 to 100"},
        {{"save", "--patient", "P1", "--values", values, "--potential", "max"}, 2, "--potential"},
        {{"save", "--patient", "P1", "--values", values, "--date", "noon"}, 2, "--date"},
        {{"show", "x"}, 2, "MKEY must be a whole number above 0"},
        {{"show", "0"}, 2, "MKEY must be a whole number above 0"},
        {{"show"}, 2, "missing MKEY"},
        {{"show", "1", "2"}, 2, "unexpected argument 2"},
        {{"frobnicate"}, 2, "unknown sub-command frobnicate"},
        {{}, 2, "missing sub-command"},
        {{"save", "--patient", "nobody", "--values", values}, 1, "no patient with the number"},
        {{"edit-patient", "nobody", "--name", "X"}, 1, "no patient with the number nobody"},
        {{"delete-patient", "nobody"}, 1, "no patient with the number nobody"},
        {{"measurements", "nobody"}, 1, "no patient with the number nobody"},
        {{"show", QString::number(mkey + 1)}, 1, "no measurement with the key"},
        {{"delete-measurement", QString::number(mkey + 1)}, 1, "no measurement with the key"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const CliRun r = db(c.args);
        EXPECT_EQ(r.exitCode, c.status);
        EXPECT_TRUE(r.out.isEmpty()) << r.out.constData();
        EXPECT_TRUE(r.err.startsWith("viro-cli: db")) << r.err.constData();
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.constData();
    }
    // Nothing was changed by any of them.
    EXPECT_EQ(field(ok({"patients"}).array(), "CustNo"), QStringList{"P1"});
    EXPECT_EQ(ok({"measurements", "P1"}).array().size(), 1);
}

TEST_F(DbCli, MeasurementsAreSavedListedNewestFirstShownAndDeleted) {
    addPatient("P1", "Ann");
    const QString values = list24(10, 2);
    const int older =
        ok({"save", "--patient", "p1", "--values", values, "--quality", list24(70, 1), "--date",
            "2024-01-02T03:04:05", "--potential", "hi", "--notes", "first line\nsecond line"})
            .object()
            .value("MKEY")
            .toInt();
    const int newest =
        ok({"save", "--patient", "P1", "--values", list24(0, 0), "--date", "2024-03-01T12:00:00"})
            .object()
            .value("MKEY")
            .toInt();
    const int middle = ok({"save", "--patient", "P1", "--values", values, "--date", "45330"})
                           .object()
                           .value("MKEY")
                           .toInt();
    ASSERT_GT(older, 0);

    const QJsonArray list = ok({"measurements", "P1"}).array();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list[0].toObject().keys(), (QStringList{"Average", "MKEY", "ZeDate", "ZeVota"}));
    EXPECT_EQ(field(list, "MKEY"), (QStringList{QString::number(newest), QString::number(middle),
                                                QString::number(older)}));
    EXPECT_EQ(list[0].toObject().value("Average").toDouble(-1), 0);
    EXPECT_DOUBLE_EQ(list[2].toObject().value("Average").toDouble(), 10 + 2 * 11.5);
    EXPECT_EQ(list[2].toObject().value("ZeVota").toBool(false), true);
    EXPECT_EQ(list[1].toObject().value("ZeDate").toDouble(), 45330);

    const QJsonObject shown = ok({"show", QString::number(older)}).object();
    EXPECT_EQ(shown.keys(),
              (QStringList{"CustNo", "MKEY", "ZeDate", "ZeVota", "notes", "quality", "values"}));
    EXPECT_EQ(shown.value("MKEY").toInt(), older);
    EXPECT_EQ(shown.value("CustNo").toString(), "P1");
    EXPECT_DOUBLE_EQ(shown.value("ZeDate").toDouble(), jet(2024, 1, 2, 3, 4, 5));
    EXPECT_EQ(shown.value("ZeVota").toBool(false), true);
    EXPECT_EQ(shown.value("notes").toString(), "first line\nsecond line");
    const std::vector<double> v = numbers(shown.value("values"));
    const std::vector<double> q = numbers(shown.value("quality"));
    ASSERT_EQ(v.size(), 24u);
    ASSERT_EQ(q.size(), 24u);
    for (int i = 0; i < 24; ++i) {
        EXPECT_EQ(v[size_t(i)], 10 + 2 * i) << i;
        EXPECT_EQ(q[size_t(i)], 70 + i) << i;
    }
    // Typed in without scores: none stored.
    for (double score : numbers(ok({"show", QString::number(middle)}).object().value("quality")))
        EXPECT_EQ(score, 0);

    const auto latest = [&] {
        return ok({"patients"}).array()[0].toObject().value("PREMEA").toDouble(-1);
    };
    EXPECT_DOUBLE_EQ(latest(), jet(2024, 3, 1, 12));
    EXPECT_TRUE(ok({"delete-measurement", QString::number(newest)}).isNull());
    EXPECT_EQ(latest(), 45330);
    EXPECT_EQ(db({"show", QString::number(newest)}).exitCode, 1);
    ok({"delete-measurement", QString::number(middle)});
    ok({"delete-measurement", QString::number(older)});
    EXPECT_EQ(latest(), 0);
    EXPECT_TRUE(ok({"measurements", "P1"}).array().isEmpty());
}

TEST_F(DbCli, EditAndRenumberCarryTheMeasurementsAndDeleteTakesThemAlong) {
    addPatient("P1", "Ann", {"--tel", "555", "--birth", "1980-05-06"});
    const int mkey = save("P1");
    const QJsonObject edited = ok({"edit-patient", "p1", "--name", "Ann Other", "--sex", "female",
                                   "--birth", "0", "--renumber", "Q7"})
                                   .object();
    EXPECT_EQ(edited.value("CustNo").toString(), "Q7");
    EXPECT_EQ(edited.value("Name").toString(), "Ann Other");
    EXPECT_EQ(edited.value("Sex").toBool(true), false);
    EXPECT_EQ(edited.value("DBirth").toDouble(-1), 0);
    EXPECT_EQ(edited.value("Tel").toString(), "555"); // not given: kept
    EXPECT_EQ(db({"measurements", "P1"}).exitCode, 1);
    EXPECT_EQ(field(ok({"measurements", "Q7"}).array(), "MKEY"),
              QStringList{QString::number(mkey)});
    EXPECT_EQ(ok({"show", QString::number(mkey)}).object().value("CustNo").toString(), "Q7");

    // Another letter case of its own number is no other patient's.
    EXPECT_EQ(ok({"edit-patient", "Q7", "--renumber", "q7"}).object().value("CustNo").toString(),
              "q7");

    EXPECT_TRUE(ok({"delete-patient", "Q7"}).isNull());
    EXPECT_TRUE(ok({"patients"}).array().isEmpty());
    EXPECT_EQ(db({"show", QString::number(mkey)}).exitCode, 1);
}

TEST_F(DbCli, AStoreFailureExitsWith1WithItsReasonAndWritesNothing) {
    addPatient("P1", "Ann");
    refuseNewMeasurements();
    const CliRun r = db({"save", "--patient", "P1", "--values", list24(20, 1)});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.startsWith("viro-cli: db save: ")) << r.err.constData();
    EXPECT_TRUE(r.err.contains("refused by the test")) << r.err.constData();
    EXPECT_TRUE(ok({"measurements", "P1"}).array().isEmpty());
    EXPECT_EQ(ok({"patients"}).array()[0].toObject().value("PREMEA").toDouble(-1), 0);
}

TEST_F(DbCli, ADatabaseThatIsNotThereIsNeitherOpenedNorMade) {
    ASSERT_TRUE(QFile::remove(database()));
    for (const QStringList& args :
         {QStringList{"patients"}, QStringList{"add-patient", "--no", "1", "--name", "A"}}) {
        const CliRun r = db(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains("no patient database")) << r.err.constData();
        EXPECT_TRUE(r.err.contains("--db FILE")) << r.err.constData();
        EXPECT_FALSE(QFileInfo::exists(database()));
    }
    const QString other = dir.filePath("elsewhere.mdb");
    EXPECT_EQ(db({"patients", "--db", other}).exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(other));

    QString error;
    ASSERT_TRUE(viro::createDatabaseFile(other, viro::DatabaseKind::Main, &error));
    ok({"add-patient", "--db", other, "--no", "E1", "--name", "Elsewhere"});
    EXPECT_EQ(field(ok({"patients", "--db", other}).array(), "CustNo"), QStringList{"E1"});
}

// --- measure --save ------------------------------------------------------------------------------

const QStringList kSavedRun{"measure", "--simulate-probe", "--virtual-time", "--traces"};

TEST_F(DbCli, MeasureSaveStoresTheRunWithItsTracesAndRemovesTheJournal) {
    addPatient("P'1", "Ann");
    const CliRun r = run(kSavedRun + QStringList{"--save", "p'1"});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QJsonObject measured = r.json().object();
    const int mkey = measured.value("MKEY").toInt();
    ASSERT_GT(mkey, 0) << r.out.constData();
    EXPECT_FALSE(QFileInfo::exists(journal()));

    const QJsonObject stored = ok({"show", QString::number(mkey), "--traces"}).object();
    EXPECT_EQ(stored.value("CustNo").toString(), "P'1");
    EXPECT_EQ(stored.value("values"), measured.value("values"));
    EXPECT_EQ(stored.value("traces"), measured.value("traces"));
    EXPECT_DOUBLE_EQ(stored.value("ZeDate").toDouble(), measured.value("date").toDouble());
    const std::vector<double> quality = numbers(measured.value("quality"));
    const std::vector<double> kept = numbers(stored.value("quality"));
    ASSERT_EQ(kept.size(), 24u);
    for (size_t i = 0; i < 24; ++i)
        EXPECT_NEAR(kept[i], quality[i], 0.05) << i; // kept to one decimal
    EXPECT_GT(stored.value("traces").toArray()[0].toArray().size(), 20);
    EXPECT_FALSE(ok({"show", QString::number(mkey)}).object().contains("traces"));
}

TEST_F(DbCli, MeasureSaveLooksForThePatientBeforeMeasuring) {
    const CliRun r = run(kSavedRun + QStringList{"--save", "nobody"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains("no patient with the number nobody")) << r.err.constData();
    EXPECT_FALSE(QFileInfo::exists(journal()));

    ASSERT_TRUE(QFile::remove(database()));
    const CliRun none = run(kSavedRun + QStringList{"--save", "P1"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.err.contains("no patient database")) << none.err.constData();
    EXPECT_FALSE(QFileInfo::exists(database()));
}

TEST_F(DbCli, AMeasurementThatCouldNotBeSavedIsKeptInTheJournalAndSavedLater) {
    addPatient("P1", "Ann");
    refuseNewMeasurements();
    const CliRun failed = run(kSavedRun + QStringList{"--save", "P1"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.err.contains("refused by the test")) << failed.err.constData();
    const QJsonObject measured = failed.json().object();
    ASSERT_TRUE(measured.contains("MKEY")) << failed.out.constData();
    EXPECT_TRUE(measured.value("MKEY").isNull());
    EXPECT_EQ(measured.value("end").toString(), "completed");
    ASSERT_TRUE(QFileInfo::exists(journal()));
    const QJsonObject kept = run({"journal", "show"}).json().object();
    EXPECT_EQ(kept.value("custNo").toString(), "P1");
    EXPECT_EQ(kept.value("points").toInt(), 24);
    EXPECT_EQ(kept.value("values"), measured.value("values"));

    sql("DROP TRIGGER refuse");
    const CliRun saved = run({"measure", "--simulate-probe", "--resume", "--save", "P1"});
    ASSERT_EQ(saved.exitCode, 0) << saved.err.constData();
    const int mkey = saved.json().object().value("MKEY").toInt();
    ASSERT_GT(mkey, 0);
    EXPECT_FALSE(QFileInfo::exists(journal()));
    const QJsonObject stored = ok({"show", QString::number(mkey), "--traces"}).object();
    EXPECT_EQ(stored.value("values"), measured.value("values"));
    EXPECT_EQ(stored.value("traces"), measured.value("traces"));
    EXPECT_EQ(ok({"measurements", "P1"}).array().size(), 1);
}

TEST_F(DbCli, HelpListsEverySubCommand) {
    const CliRun r = run({"db", "--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* sub : {"db patients", "db add-patient", "db edit-patient", "db delete-patient",
                            "db save", "db measurements", "db show", "db delete-measurement"})
        EXPECT_TRUE(r.out.contains(QByteArray("viro-cli ") + sub)) << sub;
    const CliRun save = run({"db", "save", "--help"});
    EXPECT_EQ(save.exitCode, 0);
    EXPECT_TRUE(save.out.startsWith("usage: viro-cli db save")) << save.out.constData();
    EXPECT_TRUE(save.out.contains("--quality")) << save.out.constData();
    EXPECT_TRUE(run({"measure", "--help"}).out.contains("--save CUSTNO"));
}

} // namespace
