#include "records/schema.h"

#include "records/connection.h"
#include "records/raw_trace.h"
#include "records_fixture.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace viro {
namespace {

class SchemaTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath(QStringLiteral("viro6.mdb"));
        QString error;
        ASSERT_TRUE(createDatabaseFile(path_, DatabaseKind::Main, &error)) << error.toStdString();
        db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("schema-test"));
        db_.setDatabaseName(path_);
        ASSERT_TRUE(db_.open());
    }
    void TearDown() override {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("schema-test"));
    }
    QStringList columns(const QString& table) {
        QStringList out;
        const QSqlRecord r = db_.record(table);
        for (int i = 0; i < r.count(); ++i)
            out << r.fieldName(i);
        return out;
    }
    bool exec(const QString& sql) {
        QSqlQuery q(db_);
        return q.exec(sql);
    }

    QTemporaryDir dir_;
    QString path_;
    QSqlDatabase db_;
};

QStringList numbered(const QString& stem, int from, int to) {
    QStringList out;
    for (int i = from; i <= to; ++i)
        out << stem + QString::number(i);
    return out;
}

TEST_F(SchemaTest, MainDatabaseHasEveryFieldInOrder) {
    const QStringList cust{"CustNo", "Name",    "Sex",    "DBirth", "Addr",   "Tel",
                           "Tel2",   "Tel3",    "EMail",  "BType",  "Height", "Weight",
                           "Memo",   "CustCat", "CustFG", "PrtFG",  "PREMEA"};
    QStringList data{"CustNo", "ZeDate", "ZeVota"};
    data << numbered("ZE", 1, 24) << "MEMO1"
         << "MEMO2"
         << "MKEY"
         << "STD"
         << "AutoKey"
         << "PrtFG";
    QStringList pro{"MKEY", "ProNo", "ProName", "ProData", "ProPict", "ProScal", "PrtFG", "ProFN"};
    pro << numbered("ProScrp", 1, 4) << numbered("ProPrg", 1, 4) << numbered("ProParm", 1, 4);
    const QStringList prdt{"MKEY",   "ProNo",  "ProSubN", "ProNote", "ProAnd", "ProCond",
                           "ProAGL", "ProAGH", "ProEng",  "ProFlg",  "PrtFG"};
    EXPECT_EQ(columns("ZeCust"), cust);
    EXPECT_EQ(columns("ZeData"), data);
    EXPECT_EQ(columns("ZePro"), pro);
    EXPECT_EQ(columns("ZePrDt"), prdt);
    EXPECT_EQ(columns("ZeRaw"), (QStringList{"MKEY", "PointNo", "Readings", "Averaged", "Trace"}));
    EXPECT_TRUE(columns("ZEMTDB").isEmpty()) << "reference texts live in their own file";
}

// One row per measurement and point, and only points 1 to 24.
TEST_F(SchemaTest, RawTraceTableIsKeyedByMeasurementAndPoint) {
    const PointTrace trace{{0, 100}, {12, 2000}, {25, 4095}};
    const QVariant blob(packTrace(trace));
    const QVariant null(QMetaType(QMetaType::Int));
    const QVariant noBlob(QMetaType(QMetaType::QByteArray));
    struct Case {
        const char* name;
        QVariant key, point, readings, trace;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"first point of a measurement", 7, 1, 3, blob, true},
        {"last point of it", 7, 24, 3, blob, true},
        {"the same point of another measurement", 8, 1, 3, blob, true},
        {"a point twice", 7, 1, 3, blob, false},
        {"point 0", 7, 0, 3, blob, false},
        {"point 25", 7, 25, 3, blob, false},
        {"no measurement key", null, 2, 3, blob, false},
        {"no point", 7, null, 3, blob, false},
        {"no count", 7, 2, null, blob, false},
        {"a negative count", 7, 2, -1, blob, false},
        {"no trace", 7, 2, 3, noBlob, false},
    };
    for (const Case& c : cases) {
        QSqlQuery q(db_);
        q.prepare("INSERT INTO ZeRaw (MKEY, PointNo, Readings, Averaged, Trace) "
                  "VALUES (?, ?, ?, 2, ?)");
        for (const QVariant& v : {c.key, c.point, c.readings, c.trace})
            q.addBindValue(v);
        EXPECT_EQ(q.exec(), c.accepted) << c.name;
    }

    QSqlQuery q(db_);
    ASSERT_TRUE(q.exec("SELECT Readings, Averaged, Trace FROM ZeRaw WHERE MKEY = 7 AND "
                       "PointNo = 24"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 3);
    EXPECT_EQ(q.value(1).toInt(), 2);
    QString error;
    EXPECT_EQ(unpackTrace(q.value(2).toByteArray(), &error), trace) << error.toStdString();
}

TEST_F(SchemaTest, ProtocolIndexExists) {
    QSqlQuery q(db_);
    ASSERT_TRUE(
        q.exec("SELECT tbl_name FROM sqlite_master WHERE type = 'index' AND name = 'ZeProB'"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toString(), "ZePro");
}

TEST_F(SchemaTest, AutoNumberIsAssignedOnInsert) {
    QSqlQuery q(db_);
    ASSERT_TRUE(q.prepare("INSERT INTO ZeData (CustNo, ZeDate) VALUES (?, ?)"));
    q.addBindValue("A1");
    q.addBindValue(45000.5);
    ASSERT_TRUE(q.exec());
    const qint64 first = q.lastInsertId().toLongLong();
    q.addBindValue("A1");
    q.addBindValue(45001.5);
    ASSERT_TRUE(q.exec());
    EXPECT_GT(first, 0);
    EXPECT_EQ(q.lastInsertId().toLongLong(), first + 1);
}

TEST_F(SchemaTest, WidthsAndFlagsAreEnforcedOnWrite) {
    struct Case {
        const char* sql;
        bool accepted;
    };
    const std::vector<Case> cases = {
        // Stored patient numbers are kept whole whatever their length; the windows hold new
        // ones to 15 characters.
        {"INSERT INTO ZeCust (CustNo) VALUES ('1234567890123456')", true},
        {"INSERT INTO ZeData (CustNo) VALUES (printf('%.300c', 'n'))", true},
        {"INSERT INTO ZeCust (Name) VALUES (printf('%.50c', 'x'))", true},
        {"INSERT INTO ZeCust (Name) VALUES (printf('%.51c', 'x'))", false},
        {"INSERT INTO ZeCust (Sex) VALUES (1)", true},
        {"INSERT INTO ZeCust (Sex) VALUES (2)", false},
        {"INSERT INTO ZeData (STD) VALUES (printf('%.201c', ' '))", false},
        {"INSERT INTO ZePro (ProNo) VALUES ('1234567890123')", false},
        {"INSERT INTO ZePrDt (ProAnd) VALUES (printf('%.30c', '1'))", true},
        {"INSERT INTO ZeCust (BType) VALUES (printf('%.300c', 'b'))", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(exec(QString::fromLatin1(c.sql)), c.accepted) << c.sql;
}

TEST(SchemaWidths, WhatWindowsTakeAndWhatColumnsHold) {
    struct Case {
        const TableDef& table;
        const char* field;
        int width, inputLimit;
    };
    const std::vector<Case> cases = {
        {zeCustTable(), "CustNo", 0, 15}, {zeDataTable(), "CustNo", 0, 15},
        {zeCustTable(), "Name", 50, 50},  {zeDataTable(), "STD", 200, 200},
        {zeCustTable(), "BType", 0, 0},   {zePrDtTable(), "ProNo", 12, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table.name.toStdString() + "." + c.field);
        const FieldDef* f = c.table.field(c.field);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->width, c.width);
        EXPECT_EQ(f->inputLimit(), c.inputLimit);
    }
}

// A main database of an earlier build is rebuilt to the current layout with its rows, keys,
// indexes and AutoNumber counter; one with a column of its own is left as it is.
TEST(SchemaUpgrade, EarlierMainDatabase) {
    struct Case {
        const char* name;
        bool extraColumn;
        bool deleteAll; // every measurement deleted before the upgrade
        bool upgraded;
    };
    const std::vector<Case> cases = {
        {"rows kept, the deleted top key stays used", false, false, true},
        {"every measurement deleted", false, true, true},
        {"a column this build does not know", true, false, false},
    };
    const QString longNumber = QString("N").repeated(20);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("viro6.mdb");
        QString error;
        ASSERT_TRUE(test::createEarlierMainDatabase(path, &error, c.extraColumn))
            << error.toStdString();
        Connection main(ConnectionRole::Main);
        ASSERT_TRUE(main.open(path, &error)) << error.toStdString();
        auto exec = [&](const QString& sql) { return QSqlQuery(main.database()).exec(sql); };
        auto scalar = [&](const QString& sql) {
            QSqlQuery q(main.database());
            return q.exec(sql) && q.next() ? q.value(0) : QVariant();
        };
        ASSERT_TRUE(exec("INSERT INTO ZeCust (CustNo, Name) VALUES ('A', 'Anna')"));
        for (int k = 1; k <= 3; ++k)
            ASSERT_TRUE(exec(QString("INSERT INTO ZeData (CustNo, ZeDate, ZE1) VALUES ('A', "
                                     "%1, %1)")
                                 .arg(45000 + k)));
        ASSERT_TRUE(exec(c.deleteAll ? "DELETE FROM ZeData" : "DELETE FROM ZeData WHERE MKEY = 3"));
        ASSERT_FALSE(exec("INSERT INTO ZeCust (CustNo) VALUES ('" + longNumber + "')"))
            << "the earlier layout refuses long numbers";

        EXPECT_EQ(upgradeMainDatabase(main, &error), c.upgraded) << error.toStdString();
        EXPECT_EQ(exec("INSERT INTO ZeCust (CustNo) VALUES ('" + longNumber + "')"), c.upgraded);
        EXPECT_EQ(exec("INSERT INTO ZeData (CustNo, ZeDate) VALUES ('" + longNumber + "', 45100)"),
                  c.upgraded);
        EXPECT_FALSE(exec(QString("INSERT INTO ZeCust (Name) VALUES ('%1')").arg(QString(51, 'x'))))
            << "other widths stay enforced";
        EXPECT_EQ(scalar("SELECT Name FROM ZeCust WHERE CustNo = 'a'").toString(), "Anna")
            << "rows kept, compared without letter case";
        // 13 indexes of their own, and ZeRaw's key once the upgrade has added it.
        EXPECT_EQ(scalar("SELECT count(*) FROM sqlite_master WHERE type = 'index'").toInt(),
                  c.upgraded ? 14 : 13);
        if (!c.upgraded) {
            EXPECT_TRUE(error.contains("Extra")) << error.toStdString();
            EXPECT_FALSE(main.database().tables().contains("ZeRaw"))
                << "a failed upgrade adds nothing either";
            continue;
        }
        EXPECT_EQ(scalar("SELECT max(MKEY) FROM ZeData").toInt(), 4)
            << "keys 1 to 3 were given out before";
        EXPECT_EQ(scalar("SELECT count(*) FROM ZeData WHERE CustNo = 'A'").toInt(),
                  c.deleteAll ? 0 : 2);
        if (!c.deleteAll) {
            EXPECT_DOUBLE_EQ(scalar("SELECT ZE1 FROM ZeData WHERE MKEY = 2").toDouble(), 45002);
        }
        for (const TableDef* t : tablesOf(DatabaseKind::Main)) {
            QSqlQuery q(main.database());
            q.prepare("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?");
            q.addBindValue(t->name);
            ASSERT_TRUE(q.exec() && q.next());
            EXPECT_EQ(q.value(0).toString(), createTableStatement(*t)) << t->name.toStdString();
        }
        // A file of this build's layout has nothing to upgrade.
        EXPECT_TRUE(upgradeMainDatabase(main, &error)) << error.toStdString();
        EXPECT_EQ(scalar("SELECT count(*) FROM ZeData").toInt(), c.deleteAll ? 1 : 3);
    }
}

// A main database of a build before ZeRaw, otherwise of today's layout, gains the table and
// keeps its rows; the next start finds nothing to do.
TEST(SchemaUpgrade, AddsTheRawTraceTable) {
    QTemporaryDir dir;
    const QString path = dir.filePath("viro6.mdb");
    QString error;
    ASSERT_TRUE(createDatabaseFile(path, DatabaseKind::Main, &error)) << error.toStdString();
    Connection main(ConnectionRole::Main);
    ASSERT_TRUE(main.open(path, &error)) << error.toStdString();
    auto exec = [&](const QString& sql) { return QSqlQuery(main.database()).exec(sql); };
    auto scalar = [&](const QString& sql) {
        QSqlQuery q(main.database());
        return q.exec(sql) && q.next() ? q.value(0) : QVariant();
    };
    ASSERT_TRUE(exec("DROP TABLE ZeRaw"));
    ASSERT_TRUE(exec("INSERT INTO ZeCust (CustNo, Name) VALUES ('A', 'Anna')"));
    ASSERT_TRUE(exec("INSERT INTO ZeData (CustNo, ZeDate, ZE1) VALUES ('A', 45001, 61.5)"));

    ASSERT_TRUE(upgradeMainDatabase(main, &error)) << error.toStdString();
    EXPECT_EQ(
        scalar("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = 'ZeRaw'").toString(),
        createTableStatement(zeRawTable()));
    EXPECT_DOUBLE_EQ(scalar("SELECT ZE1 FROM ZeData WHERE CustNo = 'A'").toDouble(), 61.5);
    EXPECT_EQ(scalar("SELECT Name FROM ZeCust").toString(), "Anna");
    const QString row = QStringLiteral("INSERT INTO ZeRaw (MKEY, PointNo, Readings, Averaged, "
                                       "Trace) VALUES (1, 1, 0, 0, x'%1')")
                            .arg(QString::fromLatin1(packTrace({}).toHex()));
    EXPECT_TRUE(exec(row));
    EXPECT_FALSE(exec(row)) << "the key holds in an upgraded file too";

    EXPECT_TRUE(upgradeMainDatabase(main, &error)) << error.toStdString();
    EXPECT_EQ(scalar("SELECT count(*) FROM ZeRaw").toInt(), 1) << "nothing was due the second time";
}

TEST_F(SchemaTest, TextComparesWithoutLetterCase) {
    ASSERT_TRUE(exec("INSERT INTO ZeCust (CustNo) VALUES ('abc')"));
    QSqlQuery q(db_);
    ASSERT_TRUE(q.exec("SELECT count(*) FROM ZeCust WHERE CustNo = 'ABC'"));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toInt(), 1);
}

TEST(SchemaFiles, ReferenceAndProtocolFiles) {
    QTemporaryDir dir;
    QString error;
    const QString e = dir.filePath("viroe.mdb");
    const QString ze = dir.filePath("viroze.mdb");
    ASSERT_TRUE(createDatabaseFile(e, DatabaseKind::ReferenceTexts, &error)) << error.toStdString();
    ASSERT_TRUE(createDatabaseFile(ze, DatabaseKind::StandardProtocols, &error));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "schema-files");
        db.setDatabaseName(e);
        ASSERT_TRUE(db.open());
        const QSqlRecord r = db.record("ZEMTDB");
        EXPECT_EQ(r.count(), 23); // MKEY, 21 texts, DtGpM
        EXPECT_TRUE(r.contains("DtML5"));
        EXPECT_TRUE(r.contains("DtGpM"));
        db.close();
        db.setDatabaseName(ze);
        ASSERT_TRUE(db.open());
        const QSqlRecord p = db.record("ZePro");
        for (const char* f : {"ProMed1", "ProMed3", "ProHel1", "ProHel5", "ProFN"})
            EXPECT_TRUE(p.contains(f)) << f;
        EXPECT_TRUE(db.record("ZePrDt").contains("ProAGH"));
        EXPECT_TRUE(db.record("ZeCust").isEmpty());
        db.close();
    }
    QSqlDatabase::removeDatabase("schema-files");
}

TEST(StdPacking, PacksFiveCharactersAScore) {
    struct Case {
        double score;
        const char* packed;
    };
    const std::vector<Case> cases = {
        {100.0, "100.0"},
        {87.5, " 87.5"},
        {0.0, "  0.0"},
        {7.3, "  7.3"},
        {12.34, " 12.3"},
        {99.96, "100.0"},
        // Outside the score range: kept in five characters so later scores stay in place.
        {150.0, "100.0"},
        {-3.0, "  0.0"},
        {std::numeric_limits<double>::quiet_NaN(), "  0.0"},
    };
    for (const Case& c : cases) {
        std::array<double, kStdPoints> scores{};
        scores[4] = c.score;
        const QString packed = packStd(scores);
        SCOPED_TRACE(c.packed);
        ASSERT_EQ(packed.size(), 120);
        EXPECT_EQ(packed.mid(20, 5), QString::fromLatin1(c.packed));
        EXPECT_EQ(packed.left(5), "  0.0");
    }
}

TEST(StdPacking, RoundTrip) {
    std::array<double, kStdPoints> scores{};
    for (int k = 0; k < kStdPoints; ++k)
        scores[k] = k * 4.5; // 0 ... 103.5, one decimal each
    scores[23] = 100.0;
    const auto back = unpackStd(packStd(scores));
    for (int k = 0; k < kStdPoints; ++k)
        EXPECT_DOUBLE_EQ(back[k], std::min(scores[k], 100.0)) << "score " << k + 1;
}

TEST(StdPacking, UnpacksShortAndDamagedTexts) {
    struct Case {
        const char* name;
        QString text;
        std::array<double, 3> first; // scores 1 to 3
        double last;                 // score 24
    };
    const std::vector<Case> cases = {
        {"empty", "", {0, 0, 0}, 0},
        {"two scores", "100.0 87.5", {100, 87.5, 0}, 0},
        {"cut inside a slice", "  1.5 2", {1.5, 2, 0}, 0},
        {"not a number", "  1.5abcde  3.0", {1.5, 0, 3}, 0},
        {"comma separator", " 87,5  1,0", {87.5, 1, 0}, 0},
        {"not finite", "  nan  inf", {0, 0, 0}, 0},
        {"full", QString(115, ' ') + " 42.0", {0, 0, 0}, 42},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto s = unpackStd(c.text);
        EXPECT_DOUBLE_EQ(s[0], c.first[0]);
        EXPECT_DOUBLE_EQ(s[1], c.first[1]);
        EXPECT_DOUBLE_EQ(s[2], c.first[2]);
        EXPECT_DOUBLE_EQ(s[23], c.last);
    }
}

PointTrace rampTrace(int n) {
    PointTrace t;
    for (int i = 0; i < n; ++i)
        t.push_back({static_cast<quint32>(i * 3 + i / 7), static_cast<quint16>((i * 37) % 4096)});
    return t;
}

TEST(TracePacking, RoundTrip) {
    struct Case {
        const char* name;
        PointTrace trace;
    };
    const std::vector<Case> cases = {
        {"empty", {}},
        {"one reading", {{250, 1234}}},
        {"largest values", {{0, 0}, {std::numeric_limits<quint32>::max(), 65535}}},
        {"a long point", rampTrace(3000)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray blob = packTrace(c.trace);
        EXPECT_EQ(blob.size(), 7 + 6 * qsizetype(c.trace.size()));
        QString error;
        const std::optional<PointTrace> back = unpackTrace(blob, &error);
        ASSERT_TRUE(back.has_value()) << error.toStdString();
        EXPECT_EQ(*back, c.trace);
    }
}

// The bytes are the same on every machine: little-endian whatever the processor.
TEST(TracePacking, LayoutIsLittleEndian) {
    const QByteArray blob = packTrace({{0x01020304, 0x0506}});
    ASSERT_EQ(blob.size(), 13);
    EXPECT_EQ(blob.first(11).toHex(), "01010000000403020106"
                                      "05");
    const quint16 crc = qChecksum(blob.first(11), Qt::ChecksumIso3309);
    EXPECT_EQ(quint8(blob[11]), crc & 0xFF);
    EXPECT_EQ(quint8(blob[12]), crc >> 8);
}

TEST(TracePacking, DamagedBlobsGiveNothing) {
    const QByteArray good = packTrace(rampTrace(5));
    auto with = [&](qsizetype at, char byte) {
        QByteArray b = good;
        b[at] = byte;
        return b;
    };
    struct Case {
        const char* name;
        QByteArray blob;
        const char* reason; // part of the error text
    };
    const std::vector<Case> cases = {
        {"empty", QByteArray(), "too short"},
        {"header only", good.first(5), "too short"},
        {"another version", with(0, 2), "format 2"},
        {"cut by one byte", good.chopped(1), "5 readings"},
        {"one byte too many", good + 'x', "5 readings"},
        {"a huge count", with(4, char(0xFF)), "readings but is"},
        {"a reading changed", with(9, char(good[9] ^ 0x10)), "checksum"},
        {"the checksum changed", with(good.size() - 1, char(good.back() ^ 0x01)), "checksum"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        EXPECT_FALSE(unpackTrace(c.blob, &error).has_value());
        EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << error.toStdString();
    }
    // Any one bit flipped anywhere is caught.
    for (qsizetype at = 0; at < good.size(); ++at)
        for (int bit = 0; bit < 8; ++bit) {
            QByteArray b = good;
            b[at] = char(b[at] ^ (1 << bit));
            QString error;
            EXPECT_FALSE(unpackTrace(b, &error).has_value()) << "byte " << at << " bit " << bit;
            EXPECT_FALSE(error.isEmpty());
        }
}

TEST(Dates, FourThousandOrLessIsNoDate) {
    struct Case {
        double value;
        bool isDate;
    };
    const std::vector<Case> cases = {
        {0, false}, {-5, false}, {4000, false}, {4000.5, true}, {45000, true}};
    for (const Case& c : cases) {
        EXPECT_EQ(isDate(c.value), c.isDate) << c.value;
        EXPECT_EQ(dateOrNone(c.value), c.isDate ? c.value : 0.0) << c.value;
    }
}

} // namespace
} // namespace viro
