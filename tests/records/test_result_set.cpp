#include "records/result_set.h"
#include "records/statements.h"
#include "records_fixture.h"

#include <QSqlQuery>

#include <functional>

namespace viro {
namespace {

using test::MainDatabaseTest;

struct Patient {
    const char* custNo;
    const char* name;
    bool male;
    double birth;
    double premea;
    const char* tel;
    const char* addr;
    const char* email;
    const char* tel2;
    const char* tel3;
};

// Each column orders the patients differently, so every sort key has its own first row.
const Patient kPatients[] = {
    {"P2", "Carol", true, 30000, 45010, "333", "Bay Road", "c@x", "m3", "f1"},
    {"p1", "bob", false, 25000, 45030, "111", "Cedar Lane", "a@x", "m2", "f3"},
    {"P3", "Alice", false, 35000, 45020, "222", "Alder Way", "b@x", "m1", "f2"},
};

class ResultSetTest : public MainDatabaseTest {
protected:
    void SetUp() override {
        MainDatabaseTest::SetUp();
        ResultSet rs(db());
        ASSERT_TRUE(rs.openTable("ZeCust"));
        for (const Patient& p : kPatients) {
            ASSERT_TRUE(rs.append());
            rs.setValue("CustNo", p.custNo);
            rs.setValue("Name", p.name);
            rs.setValue("Sex", p.male);
            rs.setValue("DBirth", p.birth);
            rs.setValue("PREMEA", p.premea);
            rs.setValue("Tel", p.tel);
            rs.setValue("Addr", p.addr);
            rs.setValue("EMail", p.email);
            rs.setValue("Tel2", p.tel2);
            rs.setValue("Tel3", p.tel3);
            QString error;
            ASSERT_TRUE(rs.post(&error)) << error.toStdString();
        }
    }
    int addMeasurement(const QString& custNo, double date) {
        ResultSet rs(db());
        rs.open(allMeasurementsSelection());
        rs.append();
        rs.setValue("CustNo", custNo);
        rs.setValue("ZeDate", date);
        EXPECT_TRUE(rs.post());
        return int(rs.integer("MKEY"));
    }
    QStringList custNos(ResultSet& rs) {
        QStringList out;
        for (rs.first(); !rs.atEnd(); rs.next())
            out << rs.text("CustNo");
        return out;
    }
};

TEST_F(ResultSetTest, EverySortKeyOrdersTheList) {
    struct Case {
        int key;
        QStringList order;
    };
    const std::vector<Case> cases = {
        {1, {"p1", "P2", "P3"}},  {-1, {"P3", "P2", "p1"}}, {0, {"P3", "P2", "p1"}},
        {2, {"P3", "p1", "P2"}},  {-2, {"P2", "p1", "P3"}}, {4, {"p1", "P2", "P3"}},
        {-5, {"P3", "P2", "p1"}}, {6, {"P2", "P3", "p1"}},  {7, {"p1", "P3", "P2"}},
        {8, {"P3", "P2", "p1"}},  {9, {"p1", "P3", "P2"}},  {-10, {"P2", "p1", "P3"}},
        {11, {"P2", "P3", "p1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("sort key " + std::to_string(c.key));
        ResultSet rs(db());
        QString error;
        ASSERT_TRUE(rs.open(patientListSelection(c.key), &error)) << error.toStdString();
        EXPECT_EQ(rs.rowCount(), 3);
        EXPECT_EQ(custNos(rs), c.order);
    }
    // Gender: the two women (false) before the man.
    ResultSet rs(db());
    ASSERT_TRUE(rs.open(patientListSelection(3)));
    EXPECT_FALSE(rs.flag("Sex"));
    rs.last();
    EXPECT_EQ(rs.text("CustNo"), "P2");
}

TEST_F(ResultSetTest, NavigationAndRowNumbers) {
    ResultSet rs(db());
    ASSERT_TRUE(rs.open(patientListSelection(1)));
    EXPECT_EQ(rs.rowNumber(), 1);
    EXPECT_TRUE(rs.next());
    EXPECT_EQ(rs.rowNumber(), 2);
    EXPECT_TRUE(rs.next());
    EXPECT_FALSE(rs.next());
    EXPECT_TRUE(rs.atEnd());
    EXPECT_EQ(rs.rowNumber(), 0);
    EXPECT_TRUE(rs.moveTo(2));
    EXPECT_EQ(rs.text("custno"), "P2") << "field names ignore letter case";
    EXPECT_FALSE(rs.moveTo(4));
    EXPECT_TRUE(rs.prior());
    EXPECT_EQ(rs.text("CustNo"), "p1");
    EXPECT_FALSE(rs.hasField("NoSuchField"));
    EXPECT_FALSE(rs.value("NoSuchField").isValid());
}

TEST_F(ResultSetTest, LocateExactAndPrefix) {
    struct Case {
        const char* field;
        QVariant value;
        ResultSet::LocateMode mode;
        const char* found; // nullptr: not found
    };
    using M = ResultSet::LocateMode;
    const std::vector<Case> cases = {
        {"CustNo", "P1", M::ExactIgnoreCase, "p1"},
        {"CustNo", "p3", M::ExactIgnoreCase, "P3"},
        {"CustNo", "P", M::ExactIgnoreCase, nullptr},
        {"CustNo", "p", M::Prefix, "p1"},
        {"Name", "AL", M::Prefix, "P3"},
        {"Name", "c", M::Prefix, "P2"},
        {"Addr", "Ce", M::Prefix, "p1"},
        {"Name", "Dave", M::Prefix, nullptr},
        {"DBirth", 35000.0, M::Prefix, "P3"},
        {"NoField", "x", M::Prefix, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " " + c.value.toString().toStdString());
        ResultSet rs(db());
        ASSERT_TRUE(rs.open(patientListSelection(1)));
        rs.last();
        const bool found = rs.locate(c.field, c.value, c.mode);
        EXPECT_EQ(found, c.found != nullptr);
        EXPECT_EQ(rs.text("CustNo"), c.found ? QString(c.found) : QString("P3"))
            << "a failed locate stays on the current row";
    }
    // The first match in the list's own order, here descending.
    ResultSet rs(db());
    ASSERT_TRUE(rs.open(patientListSelection(-1)));
    ASSERT_TRUE(rs.locate("CustNo", "P", ResultSet::LocateMode::Prefix));
    EXPECT_EQ(rs.text("CustNo"), "P3");
}

TEST_F(ResultSetTest, ApostropheInPatientNumberWorksEverywhere) {
    const QString number = "O'Neil";
    {
        ResultSet rs(db());
        ASSERT_TRUE(rs.open(patientListSelection(1)));
        rs.append();
        rs.setValue("CustNo", number);
        ASSERT_TRUE(rs.post());
    }
    addMeasurement(number, 45100);
    addMeasurement(number, 45200);
    addMeasurement("p1", 45300);
    ResultSet list(db());
    ASSERT_TRUE(list.open(measurementListSelection("  " + number + " ")));
    EXPECT_EQ(list.rowCount(), 2);
    EXPECT_DOUBLE_EQ(list.number("ZeDate"), 45200) << "newest first";
    ResultSet analysis(db());
    ASSERT_TRUE(analysis.open(analysisMeasurementSelection(number)));
    EXPECT_EQ(analysis.rowCount(), 2);
    ResultSet patients(db());
    ASSERT_TRUE(patients.open(patientListSelection(1)));
    EXPECT_TRUE(patients.locate("CustNo", "o'neil", ResultSet::LocateMode::ExactIgnoreCase));
    EXPECT_TRUE(patients.locate("CustNo", "O'", ResultSet::LocateMode::Prefix));
    EXPECT_EQ(patients.text("CustNo"), number);
    ASSERT_TRUE(patients.edit());
    patients.setValue("Name", "Sean");
    ASSERT_TRUE(patients.post());
    EXPECT_EQ(scalar("SELECT Name FROM ZeCust WHERE CustNo = ?", {number}).toString(), "Sean");
}

TEST_F(ResultSetTest, NoPatientMatchesNoMeasurement) {
    addMeasurement("p1", 45000);
    ResultSet rs(db());
    ASSERT_TRUE(rs.open(analysisMeasurementSelection("  ")));
    EXPECT_TRUE(rs.isEmpty());
    EXPECT_TRUE(rs.atEnd());
}

TEST_F(ResultSetTest, AppendPostGivesKeyAndKeepsNewRowCurrent) {
    ResultSet rs(db());
    ASSERT_TRUE(rs.open(allMeasurementsSelection()));
    EXPECT_EQ(rs.rowCount(), 0);
    rs.append();
    rs.setValue("CustNo", "p1");
    rs.setValue("ZeVota", true);
    rs.setValue("STD", packStd({}));
    ASSERT_TRUE(rs.post());
    const qint64 first = rs.integer("MKEY");
    EXPECT_GT(first, 0);
    EXPECT_EQ(rs.rowCount(), 1);
    EXPECT_EQ(rs.rowNumber(), 1);
    EXPECT_TRUE(rs.flag("ZeVota"));
    rs.append();
    rs.setValue("CustNo", "p1");
    ASSERT_TRUE(rs.post());
    EXPECT_EQ(rs.integer("MKEY"), first + 1);
    EXPECT_EQ(rs.rowNumber(), 2);
    EXPECT_EQ(scalar("SELECT count(*) FROM ZeData").toInt(), 2);
}

TEST_F(ResultSetTest, TooLongTextIsRefusedAndNothingWritten) {
    ResultSet rs(db());
    ASSERT_TRUE(rs.open(patientListSelection(1)));
    rs.append();
    rs.setValue("CustNo", "N1");
    rs.setValue("Name", QString(51, 'x'));
    QString error;
    EXPECT_FALSE(rs.post(&error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(rs.state(), ResultSet::State::Insert) << "the row can still be corrected";
    rs.setValue("Name", QString(50, 'x'));
    EXPECT_TRUE(rs.post(&error)) << error.toStdString();
    EXPECT_EQ(scalar("SELECT count(*) FROM ZeCust").toInt(), 4);
}

TEST_F(ResultSetTest, EditCancelAndRemove) {
    ResultSet rs(db());
    ASSERT_TRUE(rs.open(patientListSelection(1)));
    ASSERT_TRUE(rs.edit());
    rs.setValue("Name", "changed");
    EXPECT_EQ(rs.text("Name"), "changed");
    rs.cancel();
    EXPECT_EQ(rs.text("Name"), "bob");
    EXPECT_EQ(scalar("SELECT Name FROM ZeCust WHERE CustNo = 'p1'").toString(), "bob");

    ASSERT_TRUE(rs.remove());
    EXPECT_EQ(rs.rowCount(), 2);
    EXPECT_EQ(rs.text("CustNo"), "P2") << "the next row becomes current";
    rs.last();
    ASSERT_TRUE(rs.remove());
    EXPECT_EQ(rs.text("CustNo"), "P2") << "after the last row, the one before it";
    EXPECT_EQ(scalar("SELECT count(*) FROM ZeCust").toInt(), 1);
}

// Moving away from a pending change writes it, as a dataset does; a change that cannot be
// written keeps the row current and reports why.
TEST_F(ResultSetTest, MovingPostsThePendingChange) {
    struct Case {
        const char* name;
        bool insert;    // a new row rather than an edit of p1
        QString custNo; // what the pending change writes as patient number
        std::function<bool(ResultSet&)> move;
        bool posted;
        const char* currentAfter; // patient number current afterwards
        QString tel = {};         // when set, a telephone number too long for its column
    };
    const std::vector<Case> cases = {
        {"next after edit", false, "p1", [](ResultSet& r) { return r.next(); }, true, "P2"},
        {"last after edit", false, "p1", [](ResultSet& r) { return r.last(); }, true, "P3"},
        {"refresh after edit", false, "p1", [](ResultSet& r) { return r.refresh(); }, true, "p1"},
        {"locate after edit", false, "p1",
         [](ResultSet& r) { return r.locate("CustNo", "P3", ResultSet::LocateMode::Prefix); }, true,
         "P3"},
        {"first after insert", true, "N9", [](ResultSet& r) { return r.first(); }, true, "p1"},
        {"refresh after insert", true, "N9", [](ResultSet& r) { return r.refresh(); }, true, "N9"},
        {"append after insert", true, "N9", [](ResultSet& r) { return r.append(); }, true, ""},
        {"next after a bad edit", false, "p1", [](ResultSet& r) { return r.next(); }, false, "",
         QString(31, '9')},
        {"refresh after a bad insert", true, "N9", [](ResultSet& r) { return r.refresh(); }, false,
         "", QString(31, '9')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(exec("DELETE FROM ZeCust WHERE CustNo = 'N9'"));
        ASSERT_TRUE(exec("UPDATE ZeCust SET Name = 'bob' WHERE CustNo = 'p1'"));
        ResultSet rs(db());
        ASSERT_TRUE(rs.open(patientListSelection(1)));
        ASSERT_EQ(rs.text("CustNo"), "p1");
        ASSERT_TRUE(c.insert ? rs.append() : rs.edit());
        rs.setValue("CustNo", c.custNo);
        rs.setValue("Name", "posted");
        if (!c.tel.isEmpty())
            rs.setValue("Tel", c.tel);
        const int rowsBefore = rs.rowCount();
        EXPECT_EQ(c.move(rs), c.posted);
        const int written = scalar("SELECT count(*) FROM ZeCust WHERE Name = 'posted'").toInt();
        EXPECT_EQ(written, c.posted ? 1 : 0);
        if (c.posted) {
            EXPECT_EQ(rs.rowCount(), rowsBefore + (c.insert ? 1 : 0));
            if (QString(c.currentAfter).isEmpty())
                EXPECT_EQ(rs.state(), ResultSet::State::Insert);
            else
                EXPECT_EQ(rs.text("CustNo"), c.currentAfter);
        } else {
            EXPECT_FALSE(rs.lastError().isEmpty());
            EXPECT_EQ(rs.state(), c.insert ? ResultSet::State::Insert : ResultSet::State::Edit)
                << "the change can still be corrected";
            EXPECT_EQ(rs.text("Name"), "posted");
            rs.cancel();
            EXPECT_EQ(rs.text("CustNo"), "p1") << "the row stays current";
        }
    }
}

TEST_F(ResultSetTest, RemoveWhileAppendingDropsOnlyTheNewRow) {
    ResultSet rs(db());
    ASSERT_TRUE(rs.open(patientListSelection(1)));
    ASSERT_TRUE(rs.append());
    rs.setValue("CustNo", "N9");
    ASSERT_TRUE(rs.remove());
    EXPECT_EQ(rs.state(), ResultSet::State::Browse);
    EXPECT_EQ(scalar("SELECT count(*) FROM ZeCust").toInt(), 3) << "no written row goes";
    EXPECT_EQ(rs.rowCount(), 3);
    EXPECT_EQ(rs.text("CustNo"), "p1");

    ASSERT_TRUE(rs.edit());
    rs.setValue("Name", "gone anyway");
    ASSERT_TRUE(rs.remove());
    EXPECT_EQ(scalar("SELECT count(*) FROM ZeCust WHERE CustNo = 'p1'").toInt(), 0);
    EXPECT_EQ(rs.text("CustNo"), "P2");
}

TEST_F(ResultSetTest, FailedReadsAndLostRowsAreReported) {
    ResultSet rs(db());
    ASSERT_TRUE(rs.open(patientListSelection(1)));
    ASSERT_TRUE(rs.edit());
    ASSERT_TRUE(exec("DELETE FROM ZeCust WHERE CustNo = 'p1'"));
    rs.setValue("Name", "late");
    QString error;
    EXPECT_FALSE(rs.post(&error)) << "an update of no row is no success";
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(rs.state(), ResultSet::State::Edit);
    rs.cancel();

    ResultSet other(db());
    ASSERT_TRUE(other.open(patientListSelection(1)));
    ASSERT_TRUE(exec("ALTER TABLE ZeCust RENAME TO ZeCustGone"));
    EXPECT_TRUE(other.lastError().isEmpty());
    EXPECT_FALSE(other.value("Name").isValid());
    EXPECT_FALSE(other.lastError().isEmpty()) << "a failed read is not empty data";
    ASSERT_TRUE(exec("ALTER TABLE ZeCustGone RENAME TO ZeCust"));
}

TEST_F(ResultSetTest, BookmarksSurviveRefresh) {
    ResultSet rs(db());
    ASSERT_TRUE(rs.open(patientListSelection(2)));
    rs.moveTo(2);
    const ResultSet::Bookmark mark = rs.bookmark();
    const QString number = rs.text("CustNo");
    ASSERT_TRUE(exec("INSERT INTO ZeCust (CustNo, Name) VALUES ('A0', 'Aaron')"));
    ASSERT_TRUE(rs.refresh());
    EXPECT_EQ(rs.rowCount(), 4);
    EXPECT_EQ(rs.text("CustNo"), number);
    EXPECT_EQ(rs.rowNumber(), 3) << "Aaron now sorts first";
    rs.first();
    EXPECT_TRUE(rs.gotoBookmark(mark));
    EXPECT_EQ(rs.text("CustNo"), number);
    EXPECT_FALSE(rs.gotoBookmark(999999));
}

TEST_F(ResultSetTest, DetailFollowsMasterByProtocolNumber) {
    ASSERT_TRUE(exec("INSERT INTO ZePro (ProNo, ProName) VALUES ('A', 'first'), ('B', 'second'), "
                     "('C', 'third')"));
    ASSERT_TRUE(exec("INSERT INTO ZePrDt (ProNo, ProSubN) VALUES ('B', 'b1'), ('A', 'a1'), "
                     "('B', 'b2')"));
    ResultSet pro(db());
    ResultSet cond(db());
    ASSERT_TRUE(pro.open(protocolSelection()));
    cond.setMaster(&pro, "ProNo");
    ASSERT_TRUE(cond.open(protocolConditionSelection()));
    EXPECT_EQ(cond.rowCount(), 1);
    EXPECT_EQ(cond.text("ProSubN"), "a1");
    pro.next();
    EXPECT_EQ(cond.rowCount(), 2);
    pro.next();
    EXPECT_TRUE(cond.isEmpty());
    pro.next();
    EXPECT_TRUE(cond.isEmpty()) << "no master row, no detail rows";
}

TEST_F(ResultSetTest, NewDetailRowTakesTheMastersLink) {
    ASSERT_TRUE(exec("INSERT INTO ZePro (ProNo, ProName) VALUES ('A', 'first'), ('B', 'second')"));
    ResultSet pro(db());
    ResultSet cond(db());
    ASSERT_TRUE(pro.open(protocolSelection()));
    cond.setMaster(&pro, "ProNo");
    ASSERT_TRUE(cond.open(protocolConditionSelection()));
    ASSERT_TRUE(pro.next());
    ASSERT_EQ(pro.text("ProNo"), "B");
    ASSERT_TRUE(cond.append());
    EXPECT_EQ(cond.text("ProNo"), "B");
    cond.setValue("ProSubN", "b new");
    ASSERT_TRUE(cond.post());
    EXPECT_EQ(scalar("SELECT ProNo FROM ZePrDt WHERE ProSubN = 'b new'").toString(), "B");
    EXPECT_EQ(cond.rowCount(), 1);
    pro.first();
    EXPECT_TRUE(cond.isEmpty()) << "the new row belongs to B only";
}

TEST_F(ResultSetTest, DisplayValuesFollowTheCurrentRow) {
    ResultSet rs(db());
    ASSERT_TRUE(rs.open(patientListSelection(1)));
    rs.setDisplayValues([](const ResultSet& r) {
        return QVariantMap{{"Gender", r.flag("Sex") ? "Male" : "Female"}, {"Row", r.rowNumber()}};
    });
    EXPECT_EQ(rs.displayValue("Gender").toString(), "Female");
    rs.next();
    EXPECT_EQ(rs.displayValue("Gender").toString(), "Male");
    EXPECT_EQ(rs.displayValue("Row").toInt(), 2);
}

TEST_F(ResultSetTest, TransactionRollsBackUnlessCommitted) {
    {
        Transaction t(db());
        ASSERT_TRUE(t.isActive());
        ResultSet rs(db());
        rs.open(allMeasurementsSelection());
        rs.append();
        rs.setValue("CustNo", "p1");
        ASSERT_TRUE(rs.post());
    }
    EXPECT_EQ(scalar("SELECT count(*) FROM ZeData").toInt(), 0);
    {
        Transaction t(db());
        ASSERT_TRUE(exec("DELETE FROM ZeCust WHERE CustNo = 'P2'"));
        ASSERT_TRUE(t.commit());
    }
    EXPECT_EQ(scalar("SELECT count(*) FROM ZeCust").toInt(), 2);
}

TEST_F(ResultSetTest, OrderTextMustBeFieldNames) {
    ResultSet rs(db());
    Selection s = patientListSelection(1);
    s.order = "CustNo; DROP TABLE ZeCust";
    EXPECT_FALSE(rs.open(s));
    s.order = "Name DESC, CustNo";
    EXPECT_TRUE(rs.open(s));
    EXPECT_FALSE(rs.open(Selection{"NoTable", {}, {}, {}}));
}

TEST(Statements, PatientListTextsAndClicks) {
    struct Case {
        int key;
        const char* statement;
    };
    // The text a result set runs for each patient list.
    const std::vector<Case> cases = {
        {1, R"(SELECT rowid FROM "ZeCust" ORDER BY CustNo)"},
        {0, R"(SELECT rowid FROM "ZeCust" ORDER BY CustNo DESC)"},
        {-2, R"(SELECT rowid FROM "ZeCust" ORDER BY Name DESC)"},
        {3, R"(SELECT rowid FROM "ZeCust" ORDER BY Sex)"},
        {4, R"(SELECT rowid FROM "ZeCust" ORDER BY DBirth)"},
        {5, R"(SELECT rowid FROM "ZeCust" ORDER BY DBirth)"},
        {-6, R"(SELECT rowid FROM "ZeCust" ORDER BY Premea DESC)"},
        {7, R"(SELECT rowid FROM "ZeCust" ORDER BY Tel)"},
        {8, R"(SELECT rowid FROM "ZeCust" ORDER BY Addr)"},
        {9, R"(SELECT rowid FROM "ZeCust" ORDER BY email)"},
        {10, R"(SELECT rowid FROM "ZeCust" ORDER BY Tel2)"},
        {-11, R"(SELECT rowid FROM "ZeCust" ORDER BY Tel3 DESC)"},
    };
    for (const Case& c : cases) {
        const Selection s = patientListSelection(c.key);
        EXPECT_EQ(s.statement(), QString(c.statement)) << c.key;
        EXPECT_TRUE(s.bindings.isEmpty()) << c.key;
    }

    struct Click {
        int key, column, result;
    };
    const std::vector<Click> clicks = {
        {1, 1, -1}, {-1, 1, 1},  {1, 0, -1}, {3, 0, 1},
        {0, 2, -2}, {-4, 6, -6}, {4, 6, 6},  {0, 1, 1},
    };
    for (const Click& c : clicks)
        EXPECT_EQ(sortKeyAfterClick(c.key, c.column), c.result) << c.key << " click " << c.column;

    EXPECT_EQ(measurementListSelection(" 12 ").statement(),
              R"(SELECT rowid FROM "ZeData" WHERE CustNo = ? ORDER BY ZeDate DESC)");
    EXPECT_EQ(measurementListSelection(" 12 ").bindings, QVariantList{"12"});
}

TEST(Connections, RolesAndFailures) {
    QTemporaryDir dir;
    QString error;
    Connection main(ConnectionRole::Main);
    EXPECT_FALSE(main.open(dir.filePath("missing.mdb"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath("missing.mdb"))) << "opening never creates a file";

    const QString junk = dir.filePath("junk.mdb");
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'j'));
    f.close();
    EXPECT_FALSE(main.open(junk, &error));

    const QString ref = dir.filePath("viroe.mdb");
    ASSERT_TRUE(createDatabaseFile(ref, DatabaseKind::ReferenceTexts, &error));
    Connection reference(ConnectionRole::ReferenceTexts);
    ASSERT_TRUE(reference.open(ref, &error)) << error.toStdString();
    EXPECT_TRUE(reference.readOnly());
    QSqlQuery q(reference.database());
    EXPECT_FALSE(q.exec("INSERT INTO ZEMTDB (MKEY) VALUES (1)")) << "opened read-only";

    const QString m = dir.filePath("viro6.mdb");
    ASSERT_TRUE(createDatabaseFile(m, DatabaseKind::Main, &error));
    ASSERT_TRUE(main.open(m, &error));
    QSqlQuery mode(main.database());
    ASSERT_TRUE(mode.exec("PRAGMA journal_mode") && mode.next());
    EXPECT_EQ(mode.value(0).toString(), "wal");

    // An Access file is refused where the program writes.
    EXPECT_FALSE(main.open(QString(VIRO_TESTDATA_DIR) + "/access/test2V2000.mdb", &error));
    EXPECT_TRUE(error.contains("Access"));
}

} // namespace
} // namespace viro
