#include "records/patient_store.h"
#include "records/raw_trace.h"
#include "records_fixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSqlField>
#include <QSqlRecord>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <functional>

namespace viro {
namespace {

using Kind = StoreError::Kind;
using test::MainDatabaseTest;

constexpr double kDay = 45000.0; // a Jet date in 2023

const char* kindName(Kind k) {
    switch (k) {
    case Kind::None:
        return "None";
    case Kind::NotFound:
        return "NotFound";
    case Kind::Taken:
        return "Taken";
    case Kind::Invalid:
        return "Invalid";
    case Kind::ReadOnly:
        return "ReadOnly";
    case Kind::DiskFull:
        return "DiskFull";
    case Kind::Busy:
        return "Busy";
    case Kind::Damaged:
        return "Damaged";
    case Kind::Other:
        return "Other";
    }
    return "?";
}

std::string describe(const PatientRecord& p) {
    return QStringLiteral("[%1|%2|%3|%4|%5|%6|%7|%8|%9|%10|%11|%12|%13|%14|%15|%16|%17]")
        .arg(p.custNo, p.name, QString::number(p.male), QString::number(p.birthDate), p.addr, p.tel,
             p.tel2, p.tel3, p.eMail)
        .arg(p.bType, QString::number(p.height), QString::number(p.weight), p.memo, p.custCat,
             p.custFg, QString::number(p.prtFg), QString::number(p.premea, 'f', 6))
        .toStdString();
}

PatientRecord patientNo(const QString& custNo, const QString& name) {
    PatientRecord p;
    p.custNo = custNo;
    p.name = name;
    return p;
}

// Scores of one decimal, as the packed text keeps them, with 100 and 7.3 among them.
constexpr double kScores[] = {100, 7.3, 87.5, 0, 55.1, 99.9};

// A measurement with distinct values; `readings` trace readings per point when measured.
MeasurementRecord sample(double date, int seed = 1, int readings = 0) {
    MeasurementRecord m;
    for (int i = 0; i < kPointCount; ++i) {
        m.values[i] = 10.5 + i + seed;
        m.quality[i] = kScores[(i + seed) % std::size(kScores)];
        for (int r = 0; r < readings; ++r)
            m.traces[i].push_back({static_cast<quint32>(r * 20 + i),
                                   static_cast<quint16>((seed * 1000 + i * 37 + r) % 65536)});
        m.samples[i] = readings > 0 ? std::min(readings, 25) : 0;
    }
    m.dateTime = date;
    m.highPotential = seed % 2 == 1;
    m.notes = {QStringLiteral("note %1").arg(seed), QStringLiteral("second line")};
    return m;
}

void expectSameMeasurement(const MeasurementRecord& got, const MeasurementRecord& want,
                           bool withQuality, bool withTraces, const std::string& what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(got.values, want.values);
    if (withQuality)
        EXPECT_EQ(got.quality, want.quality);
    else
        EXPECT_EQ(got.quality, (std::array<double, kPointCount>{}));
    EXPECT_DOUBLE_EQ(got.dateTime, want.dateTime);
    EXPECT_EQ(got.highPotential, want.highPotential);
    EXPECT_EQ(got.notes, want.notes);
    if (withTraces) {
        EXPECT_EQ(got.traces, want.traces);
        EXPECT_EQ(got.samples, want.samples);
    } else {
        for (int i = 0; i < kPointCount; ++i) {
            EXPECT_TRUE(got.traces[i].empty()) << "point " << i + 1;
            EXPECT_EQ(got.samples[i], 0) << "point " << i + 1;
        }
    }
}

// Row counts and a checksum of every row of the tables the store writes, and the AutoNumber
// counters: equal digests mean an unchanged database.
QByteArray digestOf(const QSqlDatabase& db) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const std::pair<const char*, const char*> tables[] = {
        {"ZeCust", "CustNo, Name"},
        {"ZeData", "MKEY"},
        {"ZeRaw", "MKEY, PointNo"},
        {"sqlite_sequence", "name"},
    };
    for (const auto& [table, order] : tables) {
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT * FROM %1 ORDER BY %2")
                               .arg(QLatin1String(table), QLatin1String(order))))
            << table << ": " << q.lastError().text().toStdString();
        int rows = 0;
        while (q.next()) {
            ++rows;
            const QSqlRecord r = q.record();
            for (int i = 0; i < r.count(); ++i) {
                const QVariant v = r.value(i);
                hash.addData(r.fieldName(i).toUtf8());
                hash.addData(v.isNull()                            ? QByteArray("<null>")
                             : v.typeId() == QMetaType::QByteArray ? v.toByteArray()
                                                                   : v.toString().toUtf8());
                hash.addData("\x1f");
            }
        }
        hash.addData(QByteArray(table) + ':' + QByteArray::number(rows) + '\n');
    }
    return hash.result().toHex();
}

class PatientStoreTest : public MainDatabaseTest {
protected:
    PatientStore store() { return PatientStore(db()); }
    void add(const QString& custNo, const QString& name) {
        StoreError e;
        ASSERT_TRUE(store().addPatient(patientNo(custNo, name), &e)) << e.message.toStdString();
    }
    int save(const QString& custNo, const MeasurementRecord& m) {
        StoreError e;
        const std::optional<int> key = store().saveMeasurement(custNo, m, &e);
        EXPECT_TRUE(key) << e.message.toStdString();
        return key.value_or(0);
    }
    double premea(const QString& custNo) {
        return scalar(QStringLiteral("SELECT PREMEA FROM ZeCust WHERE CustNo = ?"), {custNo})
            .toDouble();
    }
    int count(const QString& sql, const QVariantList& binds = {}) {
        return scalar(sql, binds).toInt();
    }
    int rawRows(int mkey) {
        return count(QStringLiteral("SELECT count(*) FROM ZeRaw WHERE MKEY = ?"), {mkey});
    }
    int dataRows(const QString& custNo) {
        return count(QStringLiteral("SELECT count(*) FROM ZeData WHERE CustNo = ?"), {custNo});
    }
    bool insertMap(const QString& table, const QVariantMap& row) {
        QStringList marks(row.size(), QStringLiteral("?"));
        return exec(
            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                .arg(table, row.keys().join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
            row.values());
    }
    QSqlRecord selectRow(const QString& sql, const QVariantList& binds = {}) {
        QSqlQuery q(db());
        q.prepare(sql);
        for (const QVariant& b : binds)
            q.addBindValue(b);
        EXPECT_TRUE(q.exec() && q.next()) << sql.toStdString();
        return q.record();
    }
};

// --- The mapping ---

TEST_F(PatientStoreTest, PatientRowRoundTripsEveryFieldLiterally) {
    PatientRecord p;
    p.custNo = QStringLiteral("A'1;%");
    p.name = QStringLiteral("O'Brien\"; DROP TABLE ZeCust; --");
    p.male = false;
    p.birthDate = 30000;
    p.addr = QStringLiteral("100% \"Main\" Street; '); DELETE FROM ZeData; --");
    p.tel = QStringLiteral("+49 (0)30 1234");
    p.tel2 = QStringLiteral("0170 %s %d");
    p.tel3 = QStringLiteral("fax_1");
    p.eMail = QStringLiteral("a_b%c@example.org");
    p.bType = QStringLiteral("AB");
    p.height = 172.5;
    p.weight = 70.25;
    p.memo = QStringLiteral("first\r\nsecond 'x'");
    p.custCat = QStringLiteral("cat");
    p.custFg = QStringLiteral("fg");
    p.prtFg = true;
    p.premea = kDay + 0.25;
    ASSERT_TRUE(insertMap(QStringLiteral("ZeCust"), patientToRow(p)));
    const PatientRecord read = patientFromRow(selectRow(QStringLiteral("SELECT * FROM ZeCust")));
    EXPECT_EQ(read, p) << describe(read);
    // Dates up to 4000 are none, and none is written as 0.
    PatientRecord undated = p;
    undated.birthDate = 3999;
    undated.premea = -1;
    EXPECT_EQ(patientToRow(undated).value(QStringLiteral("DBirth")).toDouble(), 0);
    EXPECT_EQ(patientToRow(undated).value(QStringLiteral("PREMEA")).toDouble(), 0);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM ZeCust")), 1);

    // Through the store: the same, except that a new patient has no latest measurement and the
    // texts are held to what the editor takes.
    ASSERT_TRUE(exec(QStringLiteral("DELETE FROM ZeCust")));
    StoreError e;
    ASSERT_TRUE(store().addPatient(p, &e)) << e.message.toStdString();
    const std::optional<PatientRecord> back = store().patient(p.custNo);
    ASSERT_TRUE(back);
    PatientRecord want = p;
    want.premea = 0;
    want.name = p.name.left(PatientStore::kNameLimit);
    want.addr = p.addr.left(PatientStore::kAddressLimit);
    EXPECT_EQ(*back, want) << describe(*back);
}

TEST_F(PatientStoreTest, MeasurementRowRoundTripsWithAndWithoutQuality) {
    struct Case {
        const char* name;
        double score; // every point's quality score
        bool withQuality;
        const char* slice; // the first five characters of STD; null: no STD
    };
    const Case cases[] = {
        {"100", 100, true, "100.0"},
        {"7.3", 7.3, true, "  7.3"},
        {"0", 0, true, "  0.0"},
        {"typed by hand", 55.5, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MeasurementRecord m = sample(kDay + 0.5, 3);
        m.quality.fill(c.score);
        m.notes = {QStringLiteral("50% better; 'quoted' \"twice\""),
                   QStringLiteral("SELECT * FROM ZeCust; --"), QString(), QStringLiteral("end")};
        ASSERT_TRUE(insertMap(QStringLiteral("ZeData"),
                              measurementToRow(m, QStringLiteral("P'1"), c.withQuality)));
        const int key = scalar(QStringLiteral("SELECT max(MKEY) FROM ZeData")).toInt();
        const QSqlRecord row =
            selectRow(QStringLiteral("SELECT * FROM ZeData WHERE MKEY = ?"), {key});
        const QVariant std = row.value(QStringLiteral("STD"));
        if (c.slice) {
            EXPECT_EQ(std.toString().left(5), QLatin1String(c.slice));
            EXPECT_EQ(std.toString().size(), 120);
        } else {
            EXPECT_TRUE(std.isNull());
        }
        QString custNo;
        const MeasurementRecord back = measurementFromRow(row, &custNo);
        expectSameMeasurement(back, m, c.withQuality, false, c.name);
        EXPECT_EQ(back.key, key);
        EXPECT_EQ(custNo, QStringLiteral("P'1"));
    }
}

TEST(PatientStoreMapping, ReadsFieldNamesInAnyCaseAndMissingFieldsAsAbsent) {
    auto field = [](const char* name, const QVariant& v) {
        QSqlField f(QString::fromLatin1(name), v.metaType());
        f.setValue(v);
        return f;
    };
    // A row as an older file or a server might give it: other letter case, fields missing.
    QSqlRecord data;
    data.append(field("custno", QStringLiteral("x1")));
    data.append(field("ze1", 12.5));
    data.append(field("ZE24", 3.25));
    data.append(field("zevota", 1));
    data.append(field("memo1", QStringLiteral("a\nb")));
    data.append(field("zedate", kDay));
    QString custNo;
    const MeasurementRecord m = measurementFromRow(data, &custNo);
    EXPECT_EQ(custNo, QStringLiteral("x1"));
    EXPECT_EQ(m.values[0], 12.5);
    EXPECT_EQ(m.values[23], 3.25);
    for (int i = 1; i < 23; ++i)
        EXPECT_EQ(m.values[i], 0) << "ZE" << i + 1;
    EXPECT_EQ(m.quality, (std::array<double, kPointCount>{}));
    EXPECT_TRUE(m.highPotential);
    EXPECT_EQ(m.notes, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(m.dateTime, kDay);
    EXPECT_EQ(m.key, 0);

    QSqlRecord cust;
    cust.append(field("CUSTNO", QStringLiteral("x1")));
    cust.append(field("name", QStringLiteral("Ann")));
    cust.append(field("SEX", 0));
    const PatientRecord p = patientFromRow(cust);
    EXPECT_EQ(p.custNo, QStringLiteral("x1"));
    EXPECT_EQ(p.name, QStringLiteral("Ann"));
    EXPECT_FALSE(p.male);
    EXPECT_EQ(p.premea, 0);
    EXPECT_TRUE(p.addr.isEmpty());
}

TEST(PatientStoreMapping, NoteLinesJoinWithCrLfAndSplitAtAnyLineBreak) {
    struct Case {
        const char* name;
        QStringList lines;
        QString text; // as written
    };
    const Case written[] = {
        {"none", {}, QString()},
        {"one", {QStringLiteral("a")}, QStringLiteral("a")},
        {"two", {QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("a\r\nb")},
        {"empty middle",
         {QStringLiteral("a"), QString(), QStringLiteral("b")},
         QStringLiteral("a\r\n\r\nb")},
        {"empty last", {QStringLiteral("a"), QString()}, QStringLiteral("a\r\n\r\n")},
        {"one empty", {QString()}, QStringLiteral("\r\n")},
    };
    for (const Case& c : written) {
        EXPECT_EQ(joinNoteLines(c.lines), c.text) << c.name;
        EXPECT_EQ(splitNoteLines(c.text), c.lines) << c.name;
    }
    // Texts of older files and other programs.
    const Case read[] = {
        {"LF", {QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("a\nb")},
        {"CR", {QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("a\rb")},
        {"mixed",
         {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")},
         QStringLiteral("a\nb\r\nc")},
        {"break after every line",
         {QStringLiteral("a"), QStringLiteral("b")},
         QStringLiteral("a\r\nb\r\n")},
        {"LF after the last", {QStringLiteral("a")}, QStringLiteral("a\n")},
    };
    for (const Case& c : read)
        EXPECT_EQ(splitNoteLines(c.text), c.lines) << c.name;
}

// --- Saving and reading measurements ---

TEST_F(PatientStoreTest, SaveRaisesTheLatestDateOnlyWhenLater) {
    struct Case {
        const char* name;
        double before; // PREMEA before the save
        double date;   // the measurement's
        double after;
    };
    const Case cases[] = {
        {"none before", 0, kDay, kDay},
        {"newer", kDay, kDay + 1.5, kDay + 1.5},
        {"older", kDay, kDay - 3, kDay},
        {"same moment", kDay, kDay, kDay},
    };
    for (const Case& c : cases) {
        const QString no = QString::fromLatin1(c.name);
        add(no, QStringLiteral("Ann"));
        ASSERT_TRUE(
            exec(QStringLiteral("UPDATE ZeCust SET PREMEA = ? WHERE CustNo = ?"), {c.before, no}));
        save(no, sample(c.date));
        EXPECT_DOUBLE_EQ(premea(no), c.after) << c.name;
    }
}

TEST_F(PatientStoreTest, SavedMeasurementReadsBackWithItsTraces) {
    add(QStringLiteral("P1"), QStringLiteral("Ann"));
    MeasurementRecord m = sample(kDay, 2, 300);
    // Points entered by hand within a measured run have no trace.
    m.traces[4].clear();
    m.samples[4] = 0;
    const int key = save(QStringLiteral(" p1 "), m); // the number as typed: blanks, other case
    ASSERT_GT(key, 0);
    EXPECT_EQ(rawRows(key), kPointCount - 1);
    EXPECT_EQ(
        count(QStringLiteral("SELECT Readings FROM ZeRaw WHERE MKEY = ? AND PointNo = 1"), {key}),
        300);
    EXPECT_EQ(
        count(QStringLiteral("SELECT Averaged FROM ZeRaw WHERE MKEY = ? AND PointNo = 1"), {key}),
        25);
    // Stored under the patient row's own spelling.
    EXPECT_EQ(dataRows(QStringLiteral("P1")), 1);
    EXPECT_EQ(scalar(QStringLiteral("SELECT CustNo FROM ZeData")).toString(), QStringLiteral("P1"));

    QString owner;
    StoreError e;
    const std::optional<MeasurementRecord> back = store().measurement(key, true, &owner, &e);
    ASSERT_TRUE(back) << e.message.toStdString();
    EXPECT_FALSE(e);
    EXPECT_EQ(back->key, key);
    EXPECT_EQ(owner, QStringLiteral("P1"));
    expectSameMeasurement(*back, m, true, true, "with traces");
    const std::optional<MeasurementRecord> plain = store().measurement(key, false);
    ASSERT_TRUE(plain);
    expectSameMeasurement(*plain, m, true, false, "without traces");
}

TEST_F(PatientStoreTest, DamagedTraceIsSkippedAndTheMeasurementStillLoads) {
    add(QStringLiteral("P1"), QStringLiteral("Ann"));
    const MeasurementRecord m = sample(kDay, 1, 10);
    const int key = save(QStringLiteral("P1"), m);
    QByteArray blob = packTrace(m.traces[2]);
    blob[8] = static_cast<char>(blob[8] ^ 0x40);
    ASSERT_TRUE(exec(QStringLiteral("UPDATE ZeRaw SET Trace = ? WHERE MKEY = ? AND PointNo = 3"),
                     {blob, key}));
    StoreError e;
    const std::optional<MeasurementRecord> back = store().measurement(key, true, nullptr, &e);
    ASSERT_TRUE(back) << e.message.toStdString();
    EXPECT_TRUE(back->traces[2].empty());
    EXPECT_EQ(back->samples[2], 0);
    EXPECT_EQ(back->traces[3], m.traces[3]);
    EXPECT_EQ(back->values, m.values);
}

TEST_F(PatientStoreTest, HandTypedMeasurementHasNoQualityAndNoTraces) {
    add(QStringLiteral("P1"), QStringLiteral("Ann"));
    save(QStringLiteral("P1"), sample(kDay + 5));
    // Traces in the record are not stored for a measurement typed in by hand.
    const MeasurementRecord m = sample(kDay - 1, 4, 20);
    StoreError e;
    const std::optional<int> key = store().addManualMeasurement(QStringLiteral("P1"), m, &e);
    ASSERT_TRUE(key) << e.message.toStdString();
    EXPECT_EQ(rawRows(*key), 0);
    EXPECT_TRUE(scalar(QStringLiteral("SELECT STD FROM ZeData WHERE MKEY = ?"), {*key})
                    .toString()
                    .isEmpty());
    const std::optional<MeasurementRecord> back = store().measurement(*key, true);
    ASSERT_TRUE(back);
    expectSameMeasurement(*back, m, false, false, "typed");
    // The latest date is the patient's newest measurement, not the one typed.
    EXPECT_DOUBLE_EQ(premea(QStringLiteral("P1")), kDay + 5);
}

TEST_F(PatientStoreTest, EditingValuesKeepsQualityAndTracesAndTheLatestDateFollows) {
    add(QStringLiteral("P1"), QStringLiteral("Ann"));
    const MeasurementRecord first = sample(kDay, 1, 15);
    const int older = save(QStringLiteral("P1"), sample(kDay - 2, 2));
    const int key = save(QStringLiteral("P1"), first);
    ASSERT_DOUBLE_EQ(premea(QStringLiteral("P1")), kDay);

    MeasurementRecord edited = sample(kDay - 10, 5);
    edited.values[0] = 200;
    edited.values[1] = 0;
    edited.values[2] = 0.1;
    StoreError e;
    ASSERT_TRUE(store().updateMeasurementValues(key, edited, &e)) << e.message.toStdString();
    const std::optional<MeasurementRecord> back = store().measurement(key, true);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->values, edited.values);
    EXPECT_DOUBLE_EQ(back->dateTime, edited.dateTime);
    EXPECT_EQ(back->notes, edited.notes);
    EXPECT_EQ(back->highPotential, edited.highPotential);
    EXPECT_EQ(back->quality, first.quality);
    EXPECT_EQ(back->traces, first.traces);
    // Now the other measurement is the newest.
    EXPECT_DOUBLE_EQ(premea(QStringLiteral("P1")), kDay - 2);
    EXPECT_TRUE(store().measurement(older, false));

    EXPECT_FALSE(store().updateMeasurementValues(key + 100, edited, &e));
    EXPECT_EQ(e.kind, Kind::NotFound);
}

TEST_F(PatientStoreTest, MeasurementsAreListedNewestFirstWithTheirAverage) {
    add(QStringLiteral("P1"), QStringLiteral("Ann"));
    add(QStringLiteral("P2"), QStringLiteral("Bob"));
    const int a = save(QStringLiteral("P1"), sample(kDay, 1));
    const int b = save(QStringLiteral("P1"), sample(kDay + 1, 2));
    const int c = save(QStringLiteral("P1"), sample(kDay, 3)); // same moment as a, stored later
    save(QStringLiteral("P2"), sample(kDay + 9, 4));
    const std::vector<MeasurementSummary> list = store().measurements(QStringLiteral("p1"));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].mkey, b);
    EXPECT_EQ(list[1].mkey, c);
    EXPECT_EQ(list[2].mkey, a);
    const MeasurementRecord third = sample(kDay, 3);
    EXPECT_EQ(list[1].values, third.values);
    EXPECT_DOUBLE_EQ(list[1].average, 10.5 + 11.5 + 3); // 10.5 + i + 3 over i = 0..23
    EXPECT_DOUBLE_EQ(list[0].zeDate, kDay + 1);
    EXPECT_EQ(list[0].highPotential, false);
    EXPECT_EQ(list[1].highPotential, true);
    EXPECT_TRUE(store().measurements(QStringLiteral("nobody")).empty());
}

TEST_F(PatientStoreTest, ValuesOutsideTheRangeAreRefusedAndNothingIsWritten) {
    add(QStringLiteral("P1"), QStringLiteral("Ann"));
    const int key = save(QStringLiteral("P1"), sample(kDay));
    struct Case {
        const char* name;
        double value;
        bool storable;
    };
    const Case cases[] = {
        {"none", 0, true},
        {"lowest", 0.1, true},
        {"highest", 200, true},
        {"below", 0.09, false},
        {"above", 200.05, false},
        {"negative", -1, false},
        {"not a number", std::nan(""), false},
        {"infinite", HUGE_VAL, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PatientStore::isStorableValue(c.value), c.storable);
        if (c.storable)
            continue;
        MeasurementRecord m = sample(kDay + 1);
        m.values[7] = c.value;
        const QByteArray before = digestOf(db());
        StoreError e;
        EXPECT_FALSE(store().saveMeasurement(QStringLiteral("P1"), m, &e));
        EXPECT_EQ(e.kind, Kind::Invalid);
        EXPECT_TRUE(e.message.startsWith(QStringLiteral("The measurement was not saved.")));
        EXPECT_TRUE(e.message.contains(QStringLiteral("Point 8"))) << e.message.toStdString();
        EXPECT_FALSE(store().addManualMeasurement(QStringLiteral("P1"), m, &e));
        EXPECT_EQ(e.kind, Kind::Invalid);
        EXPECT_FALSE(store().updateMeasurementValues(key, m, &e));
        EXPECT_EQ(e.kind, Kind::Invalid);
        EXPECT_EQ(digestOf(db()), before);
    }
}

TEST_F(PatientStoreTest, SavingForAnUnknownPatientIsRefused) {
    const QByteArray before = digestOf(db());
    StoreError e;
    EXPECT_FALSE(store().saveMeasurement(QStringLiteral("X9"), sample(kDay, 1, 5), &e));
    EXPECT_EQ(e.kind, Kind::NotFound);
    EXPECT_FALSE(store().addManualMeasurement(QStringLiteral("X9"), sample(kDay), &e));
    EXPECT_EQ(e.kind, Kind::NotFound);
    EXPECT_FALSE(store().measurement(1, true, nullptr, &e));
    EXPECT_EQ(e.kind, Kind::NotFound);
    EXPECT_FALSE(store().patient(QStringLiteral("X9"), &e));
    EXPECT_EQ(e.kind, Kind::NotFound);
    EXPECT_EQ(digestOf(db()), before);
}

// --- Patients ---

TEST_F(PatientStoreTest, AddPatientTrimsHoldsTextsAndRefusesEmptyOrTakenNumbers) {
    PatientRecord p =
        patientNo(QStringLiteral("  ab-1  "), QStringLiteral("  ") + QString(30, QLatin1Char('n')));
    p.addr = QString(60, QLatin1Char('a'));
    p.tel = QString(40, QLatin1Char('1'));
    p.tel2 = QString(40, QLatin1Char('2'));
    p.tel3 = QString(40, QLatin1Char('3'));
    p.eMail = QString(70, QLatin1Char('e'));
    p.birthDate = 30000.75;
    p.premea = kDay; // a new patient has no measurement yet
    StoreError e;
    ASSERT_TRUE(store().addPatient(p, &e)) << e.message.toStdString();
    const std::optional<PatientRecord> back = store().patient(QStringLiteral("AB-1"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->custNo, QStringLiteral("ab-1"));
    EXPECT_EQ(back->name, QString(PatientStore::kNameLimit, QLatin1Char('n')));
    EXPECT_EQ(back->addr.size(), PatientStore::kAddressLimit);
    EXPECT_EQ(back->tel.size(), PatientStore::kPhoneLimit);
    EXPECT_EQ(back->tel2.size(), PatientStore::kPhoneLimit);
    EXPECT_EQ(back->tel3.size(), PatientStore::kPhoneLimit);
    EXPECT_EQ(back->eMail.size(), PatientStore::kEMailLimit);
    EXPECT_EQ(back->birthDate, 30000);
    EXPECT_EQ(back->premea, 0);

    struct Case {
        const char* name;
        QString custNo;
        Kind kind;
    };
    const Case refused[] = {
        {"empty", QString(), Kind::Invalid},
        {"blanks", QStringLiteral("   "), Kind::Invalid},
        {"too long", QString(PatientStore::kPatientNumberLimit + 1, QLatin1Char('9')),
         Kind::Invalid},
        {"taken", QStringLiteral("ab-1"), Kind::Taken},
        {"taken in other letter case", QStringLiteral(" AB-1"), Kind::Taken},
    };
    for (const Case& c : refused) {
        const QByteArray before = digestOf(db());
        EXPECT_FALSE(store().addPatient(patientNo(c.custNo, QStringLiteral("Bob")), &e)) << c.name;
        EXPECT_EQ(e.kind, c.kind) << c.name << ": " << kindName(e.kind);
        if (c.kind == Kind::Taken) {
            EXPECT_EQ(e.message, PatientStore::takenNumberNotice(back->name)) << c.name;
        }
        EXPECT_EQ(digestOf(db()), before) << c.name;
    }
    // The longest number a new patient may take.
    EXPECT_TRUE(store().addPatient(
        patientNo(QString(PatientStore::kPatientNumberLimit, QLatin1Char('9')), QString())));
}

TEST(PatientStoreNotice, TakenNumberNoticeIsTheEditorsText) {
    EXPECT_EQ(PatientStore::takenNumberNotice(QStringLiteral("  Ann Lee ")),
              QStringLiteral("atient number is already taken and is named\r\n [ Ann Lee ] ! "
                             "\r\nPlease input a new number."));
}

TEST_F(PatientStoreTest, RenumberingCarriesMeasurementsAndTraces) {
    add(QStringLiteral("P1"), QStringLiteral("Ann"));
    add(QStringLiteral("P2"), QStringLiteral("Bob"));
    const MeasurementRecord m = sample(kDay, 1, 12);
    const int a = save(QStringLiteral("P1"), m);
    const int b = save(QStringLiteral("P1"), sample(kDay + 1, 2, 3));
    const int other = save(QStringLiteral("P2"), sample(kDay + 2, 3, 3));

    std::optional<PatientRecord> p = store().patient(QStringLiteral("P1"));
    ASSERT_TRUE(p);
    p->custNo = QStringLiteral("  N7 ");
    p->name = QStringLiteral("Ann Lee");
    p->male = false;
    p->premea = 0; // the editor's copy does not decide the latest date
    StoreError e;
    ASSERT_TRUE(store().updatePatient(QStringLiteral("p1"), *p, &e)) << e.message.toStdString();
    EXPECT_FALSE(store().patient(QStringLiteral("P1")));
    const std::optional<PatientRecord> renumbered = store().patient(QStringLiteral("N7"));
    ASSERT_TRUE(renumbered);
    EXPECT_EQ(renumbered->custNo, QStringLiteral("N7"));
    EXPECT_EQ(renumbered->name, QStringLiteral("Ann Lee"));
    EXPECT_FALSE(renumbered->male);
    EXPECT_DOUBLE_EQ(renumbered->premea, kDay + 1);
    EXPECT_EQ(dataRows(QStringLiteral("P1")), 0);
    EXPECT_EQ(dataRows(QStringLiteral("N7")), 2);
    EXPECT_EQ(dataRows(QStringLiteral("P2")), 1);
    QString owner;
    const std::optional<MeasurementRecord> back = store().measurement(a, true, &owner);
    ASSERT_TRUE(back);
    EXPECT_EQ(owner, QStringLiteral("N7"));
    EXPECT_EQ(back->traces, m.traces);
    EXPECT_EQ(rawRows(b), kPointCount);
    EXPECT_EQ(rawRows(other), kPointCount);
}

TEST_F(PatientStoreTest, RenumberingToAnotherPatientsNumberIsRefusedInAnyLetterCase) {
    add(QStringLiteral("P1"), QStringLiteral("Ann"));
    add(QStringLiteral("Q2"), QStringLiteral(" Bob "));
    save(QStringLiteral("P1"), sample(kDay, 1, 4));
    for (const QString& taken :
         {QStringLiteral("Q2"), QStringLiteral("q2"), QStringLiteral(" q2 ")}) {
        const QByteArray before = digestOf(db());
        PatientRecord p = *store().patient(QStringLiteral("P1"));
        p.custNo = taken;
        p.name = QStringLiteral("changed");
        StoreError e;
        EXPECT_FALSE(store().updatePatient(QStringLiteral("P1"), p, &e));
        EXPECT_EQ(e.kind, Kind::Taken) << kindName(e.kind);
        EXPECT_EQ(e.message, PatientStore::takenNumberNotice(QStringLiteral("Bob")));
        EXPECT_EQ(digestOf(db()), before) << taken.toStdString();
    }
}

TEST_F(PatientStoreTest, ChangingTheLetterCaseOfOnesOwnNumberIsAllowed) {
    add(QStringLiteral("ab1"), QStringLiteral("Ann"));
    const int key = save(QStringLiteral("ab1"), sample(kDay, 1, 2));
    PatientRecord p = *store().patient(QStringLiteral("ab1"));
    p.custNo = QStringLiteral("AB1");
    StoreError e;
    ASSERT_TRUE(store().updatePatient(QStringLiteral("ab1"), p, &e)) << e.message.toStdString();
    EXPECT_EQ(scalar(QStringLiteral("SELECT CustNo FROM ZeCust")).toString(),
              QStringLiteral("AB1"));
    QString owner;
    ASSERT_TRUE(store().measurement(key, false, &owner));
    EXPECT_EQ(owner, QStringLiteral("AB1"));

    // Fields alone, the number as it is.
    p.tel = QStringLiteral(" 555 ");
    ASSERT_TRUE(store().updatePatient(QStringLiteral("AB1"), p, &e)) << e.message.toStdString();
    EXPECT_EQ(store().patient(QStringLiteral("ab1"))->tel, QStringLiteral("555"));

    struct Case {
        const char* name;
        QString from;
        QString to;
        Kind kind;
    };
    const Case refused[] = {
        {"unknown patient", QStringLiteral("zz"), QStringLiteral("zz"), Kind::NotFound},
        {"empty number", QStringLiteral("AB1"), QStringLiteral("  "), Kind::Invalid},
        {"too long", QStringLiteral("AB1"), QString(16, QLatin1Char('x')), Kind::Invalid},
    };
    for (const Case& c : refused) {
        const QByteArray before = digestOf(db());
        p.custNo = c.to;
        EXPECT_FALSE(store().updatePatient(c.from, p, &e)) << c.name;
        EXPECT_EQ(e.kind, c.kind) << c.name << ": " << kindName(e.kind);
        EXPECT_EQ(digestOf(db()), before) << c.name;
    }
}

TEST_F(PatientStoreTest, EditingKeepsLongerStoredTextsAndHoldsChangedOnes) {
    // An older file's name is longer than the editor takes; shown unchanged it stays whole.
    const QString longName = QString(30, QLatin1Char('o'));
    PatientRecord old = patientNo(QStringLiteral("P1"), longName);
    old.addr = QString(80, QLatin1Char('a'));
    old.birthDate = 30000;
    ASSERT_TRUE(insertMap(QStringLiteral("ZeCust"), patientToRow(old)));
    save(QStringLiteral("P1"), sample(kDay));

    PatientRecord p = *store().patient(QStringLiteral("P1"));
    p.addr = QStringLiteral(" ") + QString(80, QLatin1Char('b'));
    p.birthDate = 0; // the box unticked
    p.premea = 1;    // not the editor's to set
    StoreError e;
    ASSERT_TRUE(store().updatePatient(QStringLiteral("P1"), p, &e)) << e.message.toStdString();
    const PatientRecord back = *store().patient(QStringLiteral("P1"));
    EXPECT_EQ(back.name, longName);
    EXPECT_EQ(back.addr, QString(PatientStore::kAddressLimit, QLatin1Char('b')));
    EXPECT_EQ(back.birthDate, 0);
    EXPECT_DOUBLE_EQ(back.premea, kDay);
}

TEST_F(PatientStoreTest, DeletingTheOnlyMeasurementClearsTheLatestDate) {
    add(QStringLiteral("P1"), QStringLiteral("Ann"));
    const int older = save(QStringLiteral("P1"), sample(kDay - 4, 1, 3));
    const int newer = save(QStringLiteral("P1"), sample(kDay, 2, 3));
    StoreError e;
    ASSERT_TRUE(store().deleteMeasurement(newer, &e)) << e.message.toStdString();
    EXPECT_DOUBLE_EQ(premea(QStringLiteral("P1")), kDay - 4);
    EXPECT_EQ(rawRows(newer), 0);
    EXPECT_EQ(rawRows(older), kPointCount);
    ASSERT_TRUE(store().deleteMeasurement(older, &e)) << e.message.toStdString();
    EXPECT_EQ(premea(QStringLiteral("P1")), 0);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM ZeRaw")), 0);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM ZeData")), 0);
    EXPECT_FALSE(store().deleteMeasurement(older, &e));
    EXPECT_EQ(e.kind, Kind::NotFound);
}

TEST_F(PatientStoreTest, DeletingAPatientRemovesItsMeasurementsAndTraces) {
    add(QStringLiteral("P1"), QStringLiteral("Ann"));
    add(QStringLiteral("P2"), QStringLiteral("Bob"));
    save(QStringLiteral("P1"), sample(kDay, 1, 3));
    save(QStringLiteral("P1"), sample(kDay + 1, 2, 3));
    const int kept = save(QStringLiteral("P2"), sample(kDay, 3, 3));
    StoreError e;
    ASSERT_TRUE(store().deletePatient(QStringLiteral(" p1"), &e)) << e.message.toStdString();
    EXPECT_FALSE(store().patient(QStringLiteral("P1")));
    EXPECT_EQ(dataRows(QStringLiteral("P1")), 0);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM ZeRaw")), kPointCount);
    EXPECT_EQ(rawRows(kept), kPointCount);
    EXPECT_TRUE(store().patient(QStringLiteral("P2")));
    EXPECT_FALSE(store().deletePatient(QStringLiteral("P1"), &e));
    EXPECT_EQ(e.kind, Kind::NotFound);
}

TEST_F(PatientStoreTest, StoredLongNumbersOfOlderFilesStillWork) {
    // Older files kept numbers longer than a new one may be.
    const QString longNo = QStringLiteral("OLD-FILE-NUMBER-0020");
    ASSERT_EQ(longNo.size(), 20);
    ASSERT_TRUE(insertMap(QStringLiteral("ZeCust"), patientToRow(patientNo(longNo, "Old"))));
    ASSERT_TRUE(store().patient(longNo.toLower()));
    const int key = save(longNo, sample(kDay, 1, 3));
    EXPECT_EQ(dataRows(longNo), 1);
    EXPECT_DOUBLE_EQ(premea(longNo), kDay);

    StoreError e;
    PatientRecord p = *store().patient(longNo);
    p.name = QStringLiteral("Old Patient");
    ASSERT_TRUE(store().updatePatient(longNo, p, &e)) << e.message.toStdString();
    p.custNo = longNo.toLower();
    ASSERT_TRUE(store().updatePatient(longNo, p, &e)) << e.message.toStdString();
    EXPECT_EQ(store().patient(longNo)->custNo, longNo.toLower());

    p.custNo = QStringLiteral("NEW1");
    ASSERT_TRUE(store().updatePatient(longNo, p, &e)) << e.message.toStdString();
    QString owner;
    ASSERT_TRUE(store().measurement(key, false, &owner));
    EXPECT_EQ(owner, QStringLiteral("NEW1"));
    EXPECT_EQ(rawRows(key), kPointCount);

    ASSERT_TRUE(insertMap(QStringLiteral("ZeCust"), patientToRow(patientNo(longNo, "Other"))));
    save(longNo, sample(kDay, 2, 3));
    ASSERT_TRUE(store().deletePatient(longNo, &e)) << e.message.toStdString();
    EXPECT_EQ(dataRows(longNo), 0);
    EXPECT_EQ(count(QStringLiteral("SELECT count(*) FROM ZeRaw")), kPointCount);
}

// --- Failures leave the database as it was ---

struct WriteCase {
    const char* name;
    std::function<bool(PatientStore&, StoreError*)> run;
};

// Every write of the store, on the database `PopulatedStore` makes.
std::vector<WriteCase> writeCases(int key, int readings) {
    return {
        {"save",
         [=](PatientStore& s, StoreError* e) {
             return s.saveMeasurement(QStringLiteral("P1"), sample(kDay + 3, 7, readings), e)
                 .has_value();
         }},
        {"manual add",
         [](PatientStore& s, StoreError* e) {
             return s.addManualMeasurement(QStringLiteral("P1"), sample(kDay + 3, 8), e)
                 .has_value();
         }},
        {"edit values",
         [=](PatientStore& s, StoreError* e) {
             return s.updateMeasurementValues(key, sample(kDay + 4, 9), e);
         }},
        {"delete measurement",
         [=](PatientStore& s, StoreError* e) { return s.deleteMeasurement(key, e); }},
        {"add patient",
         [](PatientStore& s, StoreError* e) {
             return s.addPatient(patientNo(QStringLiteral("P3"), QStringLiteral("Cy")), e);
         }},
        {"edit patient",
         [](PatientStore& s, StoreError* e) {
             PatientRecord p = patientNo(QStringLiteral("P1"), QStringLiteral("Ann B"));
             return s.updatePatient(QStringLiteral("P1"), p, e);
         }},
        {"renumber",
         [](PatientStore& s, StoreError* e) {
             PatientRecord p = patientNo(QStringLiteral("P9"), QStringLiteral("Ann"));
             return s.updatePatient(QStringLiteral("P1"), p, e);
         }},
        {"delete patient",
         [](PatientStore& s, StoreError* e) { return s.deletePatient(QStringLiteral("P1"), e); }},
    };
}

// A main database in its own file with two patients and measured measurements.
class PopulatedStore {
public:
    explicit PopulatedStore(const QString& path) : path_(path) {
        QString error;
        EXPECT_TRUE(createDatabaseFile(path, DatabaseKind::Main, &error)) << error.toStdString();
        EXPECT_TRUE(main_.open(path, &error)) << error.toStdString();
        PatientStore s(main_.database());
        EXPECT_TRUE(s.addPatient(patientNo(QStringLiteral("P1"), QStringLiteral("Ann"))));
        EXPECT_TRUE(s.addPatient(patientNo(QStringLiteral("P2"), QStringLiteral("Bob"))));
        key_ = s.saveMeasurement(QStringLiteral("P1"), sample(kDay, 1, 50)).value_or(0);
        EXPECT_TRUE(s.saveMeasurement(QStringLiteral("P1"), sample(kDay + 1, 2, 50)));
        EXPECT_TRUE(s.saveMeasurement(QStringLiteral("P2"), sample(kDay, 3, 50)));
        EXPECT_GT(key_, 0);
    }
    QSqlDatabase db() const { return main_.database(); }
    const QString& path() const { return path_; }
    int key() const { return key_; }
    // Moves the log into the file and empties it, so that the next write must grow a file.
    void checkpoint() {
        QSqlQuery q(db());
        EXPECT_TRUE(q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
        q.finish();
    }

private:
    QString path_;
    Connection main_{ConnectionRole::Main};
    int key_ = 0;
};

// Another connection to the same file, closed on destruction.
class RawConnection {
public:
    RawConnection(const QString& path, const QString& options)
        : name_(QStringLiteral("raw-%1-%2").arg(path).arg(++serial_)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(path);
        db.setConnectOptions(options);
        EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
    }
    ~RawConnection() {
        QSqlDatabase::database(name_, false).close();
        QSqlDatabase::removeDatabase(name_);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }

private:
    static inline int serial_ = 0;
    QString name_;
};

TEST(PatientStoreFailure, StatementFailingHalfWayRollsBackTheWholeChange) {
    // A database that refuses the last statement of each change, after the first ones wrote.
    struct Case {
        const char* op; // of writeCases
        const char* trigger;
    };
    const Case cases[] = {
        {"save", "BEFORE UPDATE OF PREMEA ON ZeCust"},
        {"manual add", "BEFORE UPDATE OF PREMEA ON ZeCust"},
        {"edit values", "BEFORE UPDATE OF PREMEA ON ZeCust"},
        {"delete measurement", "BEFORE DELETE ON ZeData"},
        {"renumber", "BEFORE UPDATE OF CustNo ON ZeData"},
        {"delete patient", "BEFORE DELETE ON ZeCust"},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        PopulatedStore data(dir.filePath(QString::fromLatin1(c.op) + QStringLiteral(".mdb")));
        QSqlQuery q(data.db());
        ASSERT_TRUE(q.exec(QStringLiteral("CREATE TRIGGER refuse %1 BEGIN SELECT "
                                          "RAISE(ABORT, 'refused'); END")
                               .arg(QLatin1String(c.trigger))))
            << q.lastError().text().toStdString();
        const QByteArray before = digestOf(data.db());
        WriteCase op;
        for (const WriteCase& w : writeCases(data.key(), 10))
            if (QLatin1String(w.name) == QLatin1String(c.op))
                op = w;
        ASSERT_TRUE(op.run);
        PatientStore s(data.db());
        StoreError e;
        EXPECT_FALSE(op.run(s, &e));
        EXPECT_EQ(e.kind, Kind::Other) << kindName(e.kind);
        EXPECT_TRUE(e.message.contains(QStringLiteral("refused"))) << e.message.toStdString();
        EXPECT_EQ(digestOf(data.db()), before);
    }
}

TEST(PatientStoreFailure, ReadOnlyDatabaseIsReportedAndLeftAsItWas) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::vector<WriteCase> cases = writeCases(0, 0);
    for (size_t i = 0; i < cases.size(); ++i) {
        PopulatedStore data(dir.filePath(QStringLiteral("ro%1.mdb").arg(i)));
        const WriteCase c = writeCases(data.key(), 40)[i];
        SCOPED_TRACE(c.name);
        const QByteArray before = digestOf(data.db());
        StoreError e;
        {
            // As root, file permissions do not stop a write: the connection is opened read-only.
            RawConnection readOnly(data.path(), QStringLiteral("QSQLITE_OPEN_READONLY"));
            PatientStore s(readOnly.db());
            EXPECT_FALSE(c.run(s, &e));
        }
        EXPECT_EQ(e.kind, Kind::ReadOnly) << kindName(e.kind) << ": " << e.message.toStdString();
        EXPECT_TRUE(e.message.endsWith(
            QStringLiteral("The patient database cannot be written: it is read-only.")))
            << e.message.toStdString();
        EXPECT_EQ(digestOf(data.db()), before);
        PatientStore s(data.db());
        EXPECT_TRUE(c.run(s, &e)) << e.message.toStdString();
    }
}

// Makes a file read-only for the length of a scope: by its permissions, or for root, whom
// permissions do not stop, by the file system's immutable flag.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const QString& path) : path_(path) {
        if (geteuid() != 0) {
            active_ = QFile::setPermissions(path, QFile::ReadOwner);
            return;
        }
        active_ = immutable_ = setImmutable(true);
    }
    ~ReadOnlyFile() {
        if (immutable_)
            setImmutable(false);
        else if (active_)
            QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner);
    }
    bool active() const { return active_; }

private:
    bool setImmutable(bool on) {
        const int fd = ::open(QFile::encodeName(path_).constData(), O_RDONLY);
        if (fd < 0)
            return false;
        int flags = 0;
        bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (ok) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            ok = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return ok;
    }

    QString path_;
    bool active_ = false;
    bool immutable_ = false;
};

TEST(PatientStoreFailure, ReadOnlyFileIsReportedAndLeftAsItWas) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::vector<WriteCase> cases = writeCases(0, 0);
    for (size_t i = 0; i < cases.size(); ++i) {
        PopulatedStore data(dir.filePath(QStringLiteral("ro%1.mdb").arg(i)));
        const WriteCase c = writeCases(data.key(), 10)[i];
        SCOPED_TRACE(c.name);
        data.checkpoint();
        const QByteArray before = digestOf(data.db());
        StoreError e;
        {
            ReadOnlyFile readOnly(data.path());
            if (!readOnly.active())
                GTEST_SKIP() << "this file system cannot make a file read-only for root";
            RawConnection file(data.path(), QString());
            PatientStore s(file.db());
            EXPECT_FALSE(c.run(s, &e));
        }
        EXPECT_EQ(e.kind, Kind::ReadOnly) << kindName(e.kind) << ": " << e.message.toStdString();
        EXPECT_EQ(digestOf(data.db()), before);
        PatientStore s(data.db());
        EXPECT_TRUE(c.run(s, &e)) << e.message.toStdString();
    }
}

// Holds the process's file size limit for the length of a scope; writes beyond it fail with
// EFBIG rather than end the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes) {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        EXPECT_EQ(getrlimit(RLIMIT_FSIZE, &old_), 0);
        struct rlimit limit = old_;
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    struct rlimit old_ {};
    void (*oldHandler_)(int) = nullptr;
};

TEST(PatientStoreFailure, FullDiskIsReportedAndLeftAsItWas) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::vector<WriteCase> cases = writeCases(0, 0);
    for (size_t i = 0; i < cases.size(); ++i) {
        PopulatedStore data(dir.filePath(QStringLiteral("full%1.mdb").arg(i)));
        const WriteCase c = writeCases(data.key(), 40)[i];
        SCOPED_TRACE(c.name);
        const QByteArray before = digestOf(data.db());
        // With the log emptied, any write needs room the limit does not give.
        data.checkpoint();
        StoreError e;
        bool ok = true;
        {
            FileSizeLimit limit(1024);
            PatientStore s(data.db());
            ok = c.run(s, &e);
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(e.kind, Kind::DiskFull) << kindName(e.kind) << ": " << e.message.toStdString();
        EXPECT_TRUE(e.message.endsWith(
            QStringLiteral("The patient database cannot be written: the disk is full.")))
            << e.message.toStdString();
        EXPECT_EQ(digestOf(data.db()), before);
        PatientStore s(data.db());
        EXPECT_TRUE(c.run(s, &e)) << e.message.toStdString();
    }
}

TEST(PatientStoreFailure, LargeSaveThatOutgrowsTheLimitWritesNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    PopulatedStore data(dir.filePath(QStringLiteral("large.mdb")));
    data.checkpoint();
    const QByteArray before = digestOf(data.db());
    // Room for small writes, not for 24 traces of 4,000 readings (about 580 KB).
    const MeasurementRecord large = sample(kDay + 5, 6, 4000);
    StoreError e;
    bool ok = true;
    {
        FileSizeLimit limit(QFileInfo(data.path()).size() + 128 * 1024);
        PatientStore s(data.db());
        EXPECT_TRUE(s.addPatient(patientNo(QStringLiteral("P3"), QStringLiteral("Cy")), &e))
            << e.message.toStdString();
        ok = s.saveMeasurement(QStringLiteral("P1"), large, &e).has_value();
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(e.kind, Kind::DiskFull) << kindName(e.kind) << ": " << e.message.toStdString();
    ASSERT_TRUE(PatientStore(data.db()).deletePatient(QStringLiteral("P3")));
    EXPECT_EQ(digestOf(data.db()), before);
    PatientStore s(data.db());
    const std::optional<int> key = s.saveMeasurement(QStringLiteral("P1"), large, &e);
    ASSERT_TRUE(key) << e.message.toStdString();
    const std::optional<MeasurementRecord> back = s.measurement(*key, true);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->traces, large.traces);
}

TEST(PatientStoreFailure, BusyDatabaseIsReportedAfterTheWaitAndLeftAsItWas) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::vector<WriteCase> cases = writeCases(0, 0);
    for (size_t i = 0; i < cases.size(); ++i) {
        PopulatedStore data(dir.filePath(QStringLiteral("busy%1.mdb").arg(i)));
        const WriteCase c = writeCases(data.key(), 10)[i];
        SCOPED_TRACE(c.name);
        const QByteArray before = digestOf(data.db());
        StoreError e;
        {
            // Another program holds the write lock; this one waits only briefly each time.
            RawConnection holder(data.path(), QString());
            QSqlQuery lock(holder.db());
            ASSERT_TRUE(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));
            RawConnection impatient(data.path(), QStringLiteral("QSQLITE_BUSY_TIMEOUT=20"));
            PatientStore s(impatient.db());
            EXPECT_FALSE(c.run(s, &e));
            EXPECT_TRUE(lock.exec(QStringLiteral("ROLLBACK")));
        }
        EXPECT_EQ(e.kind, Kind::Busy) << kindName(e.kind) << ": " << e.message.toStdString();
        EXPECT_TRUE(e.message.endsWith(QStringLiteral(
            "The patient database cannot be written: another program is using it; try again "
            "in a moment.")))
            << e.message.toStdString();
        EXPECT_EQ(digestOf(data.db()), before);
        PatientStore s(data.db());
        EXPECT_TRUE(c.run(s, &e)) << e.message.toStdString();
    }
}

TEST(PatientStoreFailure, DatabaseErrorsMapToKindsAndPlainWords) {
    struct Case {
        const char* code;
        bool writing;
        Kind kind;
        const char* cause;
    };
    const Case cases[] = {
        {"5", true, Kind::Busy, "another program is using it; try again in a moment."},
        {"517", true, Kind::Busy, "another program is using it; try again in a moment."},
        {"6", false, Kind::Busy, "another program is using it; try again in a moment."},
        {"8", true, Kind::ReadOnly, "it is read-only."},
        {"1032", true, Kind::ReadOnly, "it is read-only."},
        {"14", true, Kind::ReadOnly, "it or its folder is read-only."},
        {"13", true, Kind::DiskFull, "the disk is full."},
        {"778", true, Kind::Other, "the disk reported an error."},
        {"11", false, Kind::Damaged, "The patient database is damaged."},
        {"26", true, Kind::Damaged, "The patient database is damaged."},
        {"19", true, Kind::Other, "CHECK constraint failed"},
        {"", false, Kind::Other, "Driver not loaded"},
    };
    for (const Case& c : cases) {
        const QSqlError sqlError(QStringLiteral("Driver not loaded"),
                                 QStringLiteral("CHECK constraint failed"),
                                 QSqlError::StatementError, QString::fromLatin1(c.code));
        // The path of a database with room to spare: a plain I/O error stays one.
        const StoreError e = storeErrorOf(sqlError, QStringLiteral("The patient was not added."),
                                          c.writing, QDir::tempPath() + QStringLiteral("/x.mdb"));
        EXPECT_EQ(e.kind, c.kind) << c.code << ": " << kindName(e.kind);
        EXPECT_TRUE(e.message.startsWith(QStringLiteral("The patient was not added. ")))
            << c.code << ": " << e.message.toStdString();
        EXPECT_TRUE(e.message.contains(QLatin1String(c.cause)))
            << c.code << ": " << e.message.toStdString();
        EXPECT_TRUE(e.message.contains(c.writing ? QStringLiteral("cannot be written")
                                                 : QStringLiteral("cannot be read")) ||
                    c.kind == Kind::Damaged)
            << c.code << ": " << e.message.toStdString();
    }
}

// --- Two programs, one database ---

TEST(PatientStoreConcurrency, TwoProgramsSavingAtOnceBothSucceed) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("viro6.mdb"));
    constexpr int kEach = 200;
    {
        PopulatedStore data(path);
        ASSERT_TRUE(PatientStore(data.db()).deletePatient(QStringLiteral("P1")));
        ASSERT_TRUE(PatientStore(data.db()).deletePatient(QStringLiteral("P2")));
        ASSERT_TRUE(PatientStore(data.db()).addPatient(patientNo("W1", "First writer")));
        ASSERT_TRUE(PatientStore(data.db()).addPatient(patientNo("W2", "Second writer")));
    }
    QProcess writers[2];
    const char* numbers[] = {"W1", "W2"};
    for (int i = 0; i < 2; ++i) {
        writers[i].start(QStringLiteral(VIRO_STORE_WRITER),
                         {QStringLiteral("--wait"), path, QString::fromLatin1(numbers[i]),
                          QString::number(kEach)});
        ASSERT_TRUE(writers[i].waitForStarted()) << writers[i].errorString().toStdString();
    }
    // Both are ready before either writes.
    for (QProcess& w : writers) {
        while (!w.canReadLine() && w.state() == QProcess::Running)
            w.waitForReadyRead(1000);
        EXPECT_EQ(w.readLine().trimmed(), QByteArray("ready"));
    }
    for (QProcess& w : writers) {
        w.write("go\n");
        EXPECT_TRUE(w.waitForBytesWritten(10000));
    }
    for (int i = 0; i < 2; ++i) {
        // Only a guard against a hang, far above what the saves take.
        ASSERT_TRUE(writers[i].waitForFinished(300000));
        EXPECT_EQ(writers[i].exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(writers[i].exitCode(), 0) << writers[i].readAllStandardError().toStdString();
    }
    Connection main(ConnectionRole::Main);
    QString error;
    ASSERT_TRUE(main.open(path, &error)) << error.toStdString();
    QSqlQuery q(main.database());
    auto value = [&](const QString& sql) {
        EXPECT_TRUE(q.exec(sql) && q.next()) << sql.toStdString();
        return q.value(0);
    };
    EXPECT_EQ(value(QStringLiteral("SELECT count(*) FROM ZeData")).toInt(), 2 * kEach);
    EXPECT_EQ(value(QStringLiteral("SELECT count(*) FROM ZeRaw")).toInt(), 2 * kEach * kPointCount);
    // The two wrote at the same time: their rows interleave.
    int switches = 0;
    QString last;
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT CustNo FROM ZeData ORDER BY MKEY")));
    while (q.next()) {
        switches += !last.isEmpty() && q.value(0).toString() != last;
        last = q.value(0).toString();
    }
    EXPECT_GT(switches, 1);
    for (const char* no : numbers) {
        SCOPED_TRACE(no);
        PatientStore s(main.database());
        const std::vector<MeasurementSummary> list = s.measurements(QString::fromLatin1(no));
        ASSERT_EQ(list.size(), static_cast<size_t>(kEach));
        EXPECT_DOUBLE_EQ(s.patient(QString::fromLatin1(no))->premea, list.front().zeDate);
        EXPECT_DOUBLE_EQ(list.front().zeDate, 45000.0 + (kEach - 1) / 1440.0);
        // Every measurement whole: its row and all its traces.
        const std::optional<MeasurementRecord> m = s.measurement(list.back().mkey, true);
        ASSERT_TRUE(m);
        for (const PointTrace& t : m->traces)
            EXPECT_EQ(t.size(), 40u);
    }
}

// --- The connection ---

TEST(PatientStoreConnection, NetworkFileSystemsAreKnownByTheirType) {
    struct Case {
        qint64 type;
        bool network;
        const char* name;
    };
    const Case cases[] = {
        {0x6969, true, "NFS"},
        {0x517B, true, "SMB"},
        {0xFF534D42, true, "CIFS"},
        {static_cast<qint32>(0xFF534D42), true, "CIFS, as a signed word"},
        {0xFE534D42, true, "SMB2"},
        {0xEF53, false, "ext4"},
        {0x01021994, false, "tmpfs"},
        {0x58465342, false, "XFS"},
        {0x9123683E, false, "Btrfs"},
        {0, false, "none"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(isNetworkFileSystemType(c.type), c.network) << c.name;
}

TEST_F(PatientStoreTest, LocalFolderUsesTheLogAndWaitsForOtherPrograms) {
    EXPECT_FALSE(isOnNetworkFileSystem(dir_.path()));
    EXPECT_FALSE(main_.onNetworkFolder());
    EXPECT_EQ(scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
    EXPECT_EQ(scalar(QStringLiteral("PRAGMA busy_timeout")).toInt(), kDatabaseBusyWaitMs);
    EXPECT_FALSE(networkFolderNotice().isEmpty());
}

} // namespace
} // namespace viro
