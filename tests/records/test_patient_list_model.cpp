#include "analysis/jet_date.h"
#include "records/patient_list_model.h"
#include "records_fixture.h"

#include <QLocale>
#include <QSqlQuery>

#include <optional>
#include <vector>

namespace viro {
namespace {

using test::MainDatabaseTest;

// A ZeCust row; a null text is stored as NULL, as older files hold it.
struct Row {
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

QVariant textOrNull(const char* text) {
    return text ? QVariant(QString::fromUtf8(text)) : QVariant(QMetaType(QMetaType::QString));
}

// Each sort field orders these differently; names tie in letter case ("Anna", "anna"), birth
// dates, latest dates and telephones tie too, and one telephone and one mobile are NULL.
const Row kPatients[] = {
    {"P01", "Anna", true, 25000, 45010, "0301", "Berlin", "anna@x", "0172", "0309"},
    {"p02", "bert", false, 0, 0, nullptr, "aachen", "Bert@x", "0171", "0308"},
    {"P03", "Anna", false, 26000, 45020, "0302", "Celle", "cora@x", "0173", "0307"},
    {"P04", "Carl", true, 25000, 44000, "0300", "Berlin", "abe@x", nullptr, "0310"},
    {"P10", "anna", true, 30000, 45020, "0301", "Bonn", "dan@x", "0170", "0306"},
};

class PatientListModelTest : public MainDatabaseTest {
protected:
    void SetUp() override {
        MainDatabaseTest::SetUp();
        for (const Row& r : kPatients)
            insert(r);
    }
    void insert(const Row& r) {
        ASSERT_TRUE(exec("INSERT INTO ZeCust (CustNo, Name, Sex, DBirth, PREMEA, Tel, Addr, "
                         "EMail, Tel2, Tel3) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                         {textOrNull(r.custNo), textOrNull(r.name), r.male ? 1 : 0, r.birth,
                          r.premea, textOrNull(r.tel), textOrNull(r.addr), textOrNull(r.email),
                          textOrNull(r.tel2), textOrNull(r.tel3)}))
            << r.custNo;
    }
    QStringList numbers(const PatientListModel& model) {
        QStringList out;
        for (int r = 0; r < model.rowCount(); ++r)
            out << model.numberAt(r);
        return out;
    }
};

// The order of every sort key, ascending; descending is its exact reverse, since ties go by
// patient number in the same direction. Every patient is found again at its own row.
TEST_F(PatientListModelTest, OrdersByEverySortKeyWithTiesByNumber) {
    struct Case {
        int key;
        QStringList ascending;
    };
    const std::vector<Case> cases = {
        {1, {"P01", "p02", "P03", "P04", "P10"}},  {2, {"P01", "P03", "P10", "p02", "P04"}},
        {3, {"p02", "P03", "P01", "P04", "P10"}},  {4, {"p02", "P01", "P04", "P03", "P10"}},
        {5, {"p02", "P01", "P04", "P03", "P10"}},  {6, {"p02", "P04", "P01", "P03", "P10"}},
        {7, {"p02", "P04", "P01", "P10", "P03"}},  {8, {"p02", "P01", "P04", "P10", "P03"}},
        {9, {"P04", "P01", "p02", "P03", "P10"}},  {10, {"P04", "P10", "p02", "P01", "P03"}},
        {11, {"P10", "P03", "p02", "P01", "P04"}},
    };
    PatientListModel model(db());
    for (const Case& c : cases) {
        for (const int key : {c.key, -c.key}) {
            SCOPED_TRACE("sort key " + std::to_string(key));
            ASSERT_TRUE(model.open(key));
            EXPECT_EQ(model.sortKey(), key);
            QStringList expected = c.ascending;
            if (key < 0)
                std::reverse(expected.begin(), expected.end());
            EXPECT_EQ(numbers(model), expected);
            for (int row = 0; row < expected.size(); ++row)
                EXPECT_EQ(model.rowOfNumber(expected[row]), row) << expected[row].toStdString();
        }
    }
}

TEST_F(PatientListModelTest, SortKeyZeroIsDescendingByNumberAndOutsideKeysByNumber) {
    PatientListModel model(db());
    ASSERT_TRUE(model.open(0));
    EXPECT_EQ(model.sortKey(), -1);
    EXPECT_EQ(numbers(model), QStringList({"P10", "P04", "P03", "p02", "P01"}));
    ASSERT_TRUE(model.open(-12));
    EXPECT_EQ(model.sortKey(), -1);
    ASSERT_TRUE(model.open(12));
    EXPECT_EQ(model.sortKey(), 1);
    EXPECT_EQ(model.numberAt(0), "P01");
}

TEST_F(PatientListModelTest, FindsANumberInAnyLetterCase) {
    PatientListModel model(db());
    ASSERT_TRUE(model.open(2));
    EXPECT_EQ(model.rowOfNumber("P02"), 3);
    EXPECT_EQ(model.rowOfNumber("p10"), 2);
    EXPECT_EQ(model.rowOfNumber("  P03 "), 1) << "blanks around a number are no part of it";
    EXPECT_EQ(model.rowOfNumber("P0"), std::nullopt) << "exact, not a prefix";
    EXPECT_EQ(model.rowOfNumber("P99"), std::nullopt);
    EXPECT_EQ(model.rowOfNumber(""), std::nullopt);
    EXPECT_EQ(model.patientAt(*model.rowOfNumber("P02")).name, "bert");
}

// The search box's search: the first row in the list's order whose sort field begins with the
// text, letter case ignored; dates in the short date format match the day.
TEST_F(PatientListModelTest, FindsThePrefixOfTheSortField) {
    const QString day25000 = QLocale().toString(jetToDate(25000), QLocale::ShortFormat);
    struct Case {
        int key;
        QString text;
        std::optional<QString> found;
    };
    const std::vector<Case> cases = {
        {1, "p0", "P01"},
        {-1, "p0", "P04"},
        {1, "P1", "P10"},
        {1, "Q", std::nullopt},
        {2, "an", "P01"},
        {-2, "anna", "P10"},
        {2, "BE", "p02"},
        {2, "x", std::nullopt},
        {4, day25000, "P01"},
        {-4, day25000, "P04"},
        {4, " " + day25000 + " ", "P01"},
        {4, QLocale().toString(jetToDate(25001), QLocale::ShortFormat), std::nullopt},
        {4, "no date", std::nullopt},
        {4, "25000", std::nullopt},
        {4, "", std::nullopt},
        {7, "030", "P04"},
        {-7, "030", "P03"},
        {7, "0302", "P03"},
        {8, "b", "P01"},
        {9, "BERT", "p02"},
        {10, "017", "P10"},
        {11, "031", "P04"},
        // Gender, age and latest measurement date cannot be searched.
        {3, "Male", std::nullopt},
        {3, "", std::nullopt},
        {5, day25000, std::nullopt},
        {6, "4", std::nullopt},
    };
    PatientListModel model(db());
    for (const Case& c : cases) {
        SCOPED_TRACE("key " + std::to_string(c.key) + " text '" + c.text.toStdString() + "'");
        ASSERT_TRUE(model.open(c.key));
        const std::optional<int> row = model.findPrefix(c.text);
        ASSERT_EQ(row.has_value(), c.found.has_value());
        if (row) {
            EXPECT_EQ(model.numberAt(*row), *c.found);
        }
    }
}

TEST(PatientListSearchable, OnlyTheTextAndBirthDateColumns) {
    for (int key = -12; key <= 12; ++key) {
        const int column = std::abs(key == 0 ? -1 : key);
        const bool expected = column != 3 && column != 5 && column != 6;
        EXPECT_EQ(PatientListModel::searchable(key), expected) << key;
    }
}

// '%', '_' and the escape character in a search text or a patient number are themselves: each
// text below would match an earlier row were it taken as a pattern.
TEST_F(PatientListModelTest, WildcardsInTextsAreLiteral) {
    ASSERT_TRUE(exec("DELETE FROM ZeCust"));
    const Row rows[] = {
        {"Q%2", "a!d", true, 0, 0, "", "", "", "", ""},
        {"Q'1", "a%b", true, 0, 0, "", "", "", "", ""},
        {"Q_3", "a_c", true, 0, 0, "", "", "", "", ""},
        {"Q!4", "abc", true, 0, 0, "", "", "", "", ""},
        {"Q45", "axb", true, 0, 0, "", "", "", "", ""},
    };
    for (const Row& r : rows)
        insert(r);
    PatientListModel model(db());
    ASSERT_TRUE(model.open(2));
    struct Case {
        QString text;
        QString name;
    };
    for (const Case& c : std::vector<Case>{
             {"a%", "a%b"}, {"a_", "a_c"}, {"a!", "a!d"}, {"AB", "abc"}, {"a", "a!d"}}) {
        const std::optional<int> row = model.findPrefix(c.text);
        ASSERT_TRUE(row.has_value()) << c.text.toStdString();
        EXPECT_EQ(model.patientAt(*row).name, c.name) << c.text.toStdString();
    }
    EXPECT_EQ(model.findPrefix("a%c"), std::nullopt);

    ASSERT_TRUE(model.open(1));
    EXPECT_EQ(numbers(model), QStringList({"Q!4", "Q%2", "Q'1", "Q45", "Q_3"}));
    for (const char* number : {"Q'1", "Q%2", "Q_3", "Q!4"})
        EXPECT_EQ(model.numberAt(model.rowOfNumber(number).value_or(-1)), number);
    EXPECT_EQ(model.findNumberPrefix("Q_"), 4);
    EXPECT_EQ(model.findNumberPrefix("q%"), 1);
    EXPECT_EQ(model.findNumberPrefix("Q'"), 2);
    EXPECT_EQ(model.findNumberPrefix("q"), 0);
    EXPECT_EQ(model.rowOfNumber("Q_"), std::nullopt);
    // By name the number prefix still goes by the list's order.
    ASSERT_TRUE(model.open(-2));
    EXPECT_EQ(model.numberAt(model.findNumberPrefix("Q").value_or(-1)), "Q45");
}

// Rows are read a window at a time: the rows on both sides of each window's edge, the last
// row, and going back to an earlier window all show the right patient.
TEST_F(PatientListModelTest, ReadsAcrossWindowEdges) {
    ASSERT_TRUE(exec("DELETE FROM ZeCust"));
    constexpr int kW = PatientListModel::kWindowRows;
    const int count = 2 * kW + 7;
    ASSERT_TRUE(db().transaction());
    for (int i = 0; i < count; ++i)
        ASSERT_TRUE(exec("INSERT INTO ZeCust (CustNo, Name) VALUES (?, ?)",
                         {QString("N%1").arg(i, 4, 10, QChar('0')), QString("Name %1").arg(i)}));
    ASSERT_TRUE(db().commit());
    auto number = [](int i) { return QString("N%1").arg(i, 4, 10, QChar('0')); };

    PatientListModel model(db());
    ASSERT_TRUE(model.open(1));
    ASSERT_EQ(model.rowCount(), count);
    for (const int row : {0, kW - 1, kW, 2 * kW - 1, 2 * kW, count - 1, 1, kW + 1, kW - 1}) {
        SCOPED_TRACE(row);
        EXPECT_EQ(model.numberAt(row), number(row));
        EXPECT_EQ(model.data(model.index(row, PatientListModel::IndexColumn)).toString(),
                  QString::number(row + 1));
        EXPECT_EQ(model.data(model.index(row, PatientListModel::NameColumn)).toString(),
                  QString("Name %1").arg(row));
    }
    EXPECT_EQ(model.numberAt(count), QString());
    EXPECT_FALSE(model.data(model.index(count, PatientListModel::NumberColumn)).isValid());
    EXPECT_EQ(model.rowOfNumber(number(count - 1)), count - 1);
    EXPECT_EQ(model.findPrefix(number(kW)), kW);

    ASSERT_TRUE(model.open(-1));
    for (const int row : {0, kW - 1, kW, count - 1})
        EXPECT_EQ(model.numberAt(row), number(count - 1 - row)) << row;
    EXPECT_EQ(model.rowOfNumber(number(0)), count - 1);
}

TEST_F(PatientListModelTest, DisplayTextsAndTones) {
    ASSERT_TRUE(exec("DELETE FROM ZeCust"));
    const double birth = 25000;
    const double latest = 45000.75;
    insert({"A1", "Anna", true, birth, latest, "0301", "Berlin", "a@x", "0170", "0309"});
    insert({"A2", "Bert", false, 4000, 0, "", "", "", "", ""});
    insert({"A3", "Cora", false, 4000.5, 4000, "", "", "", "", ""});
    PatientListModel model(db());
    model.setNow([&] { return birth + 3650 + 200.25; });
    ASSERT_TRUE(model.open(1));
    using M = PatientListModel;
    auto text = [&](int row, int column) {
        return model.data(model.index(row, column)).toString();
    };
    auto tone = [&](int row, int column) {
        return model.data(model.index(row, column), M::ToneRole).toInt();
    };
    const QString birthText = QLocale().toString(QDate(1968, 6, 11), QLocale::ShortFormat);
    ASSERT_EQ(jetToDate(birth), QDate(1968, 6, 11));
    const QString latestText =
        QLocale().toString(QDateTime(jetToDate(latest), QTime(18, 0)), QLocale::ShortFormat);
    const QStringList first = {"1",        "A1",   "Anna",   "Male", birthText, "10.5",
                               latestText, "0301", "Berlin", "a@x",  "0170",    "0309"};
    for (int c = 0; c < M::ColumnCount; ++c)
        EXPECT_EQ(text(0, c), first[c]) << "column " << c;
    EXPECT_EQ(text(1, M::GenderColumn), "Female");
    EXPECT_EQ(text(1, M::BirthColumn), "") << "a birth date up to 4000 is none";
    EXPECT_EQ(text(1, M::AgeColumn), "");
    EXPECT_EQ(text(1, M::LatestColumn), "");
    EXPECT_EQ(text(2, M::BirthColumn), QLocale().toString(jetToDate(4000.5), QLocale::ShortFormat));
    EXPECT_EQ(text(2, M::LatestColumn), "") << "a latest date up to 4000 is none";
    model.setNow([&] { return 4000.5 + 36.5 * 7; });
    EXPECT_EQ(text(2, M::AgeColumn), "0.7");

    EXPECT_EQ(tone(0, M::GenderColumn), M::MaleTone);
    EXPECT_EQ(tone(1, M::GenderColumn), M::FemaleTone);
    for (int row : {0, 1})
        EXPECT_EQ(tone(row, M::LatestColumn), M::ButtonFaceTone);
    for (int c : {M::IndexColumn, M::NumberColumn, M::NameColumn, M::BirthColumn, M::TelColumn})
        EXPECT_EQ(tone(0, c), M::PlainTone) << c;

    const QStringList headers = {
        "Index",   "Patient No", "Name",   "Gender",     "D.O.B.", "Age", "Latest Measurement Date",
        "Tel No.", "Address",    "e-mail", "Mobile No.", "Fax No."};
    ASSERT_EQ(model.columnCount(), headers.size());
    for (int c = 0; c < M::ColumnCount; ++c)
        EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), headers[c]);
    EXPECT_EQ(model.patientAt(0).eMail, "a@x");
}

// The list is a snapshot until it is read again: refresh shows a patient added elsewhere, in its
// place in the order.
TEST_F(PatientListModelTest, RefreshShowsAnAddedPatient) {
    PatientListModel model(db());
    ASSERT_TRUE(model.open(2));
    EXPECT_EQ(model.numberAt(0), "P01") << "the first window is read";
    insert({"Z9", "Aaron", true, 0, 0, "", "", "", "", ""});
    EXPECT_EQ(model.rowCount(), 5);
    EXPECT_EQ(model.rowOfNumber("Z9"), std::nullopt) << "the rows read show another patient there";
    int resets = 0;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++resets; });
    ASSERT_TRUE(model.refresh());
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(model.sortKey(), 2);
    EXPECT_EQ(model.rowCount(), 6);
    EXPECT_EQ(model.numberAt(0), "Z9");
    EXPECT_EQ(model.numberAt(1), "P01");
    EXPECT_EQ(model.rowOfNumber("z9"), 0);
}

TEST_F(PatientListModelTest, AnUnreadableListIsEmptyWithTheReason) {
    ASSERT_TRUE(exec("DROP TABLE ZeCust"));
    PatientListModel model(db());
    QString error;
    EXPECT_FALSE(model.open(1, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.findPrefix("P"), std::nullopt);
    EXPECT_EQ(model.rowOfNumber("P01"), std::nullopt);
}

// Files of earlier builds indexed the patient list's sort fields alone; the upgrade gives them
// the indexes that end with the patient number, and keeps the rows.
TEST_F(PatientListModelTest, UpgradeMakesTheListIndexesAnew) {
    const TableDef& cust = zeCustTable();
    for (const IndexDef& index : cust.indexes) {
        ASSERT_TRUE(exec("DROP INDEX \"" + index.name + "\""));
        ASSERT_TRUE(exec(QString("CREATE INDEX \"%1\" ON \"ZeCust\" (\"%2\")")
                             .arg(index.name, index.columns.first())));
    }
    auto storedIndexes = [&] {
        QStringList out;
        QSqlQuery q(db());
        q.exec("SELECT sql FROM sqlite_master WHERE type = 'index' AND tbl_name = 'ZeCust' "
               "ORDER BY name");
        while (q.next())
            out << q.value(0).toString();
        return out;
    };
    QStringList expected = createIndexStatements(cust);
    std::sort(expected.begin(), expected.end());
    ASSERT_NE(storedIndexes(), expected);

    QString error;
    ASSERT_TRUE(upgradeMainDatabase(main_, &error)) << error.toStdString();
    EXPECT_EQ(storedIndexes(), expected);
    EXPECT_EQ(scalar("SELECT count(*) FROM ZeCust").toInt(), 5);
    ASSERT_TRUE(upgradeMainDatabase(main_, &error)) << "nothing is due the second time";
    EXPECT_EQ(storedIndexes(), expected);
}

} // namespace
} // namespace viro
