#include "fake_reader.h"
#include "records/access_file.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>

namespace viro {
namespace {

QString fixture(const char* name) {
    return QString(VIRO_TESTDATA_DIR) + "/access/" + name;
}

struct Table {
    std::vector<AccessColumn> columns;
    std::vector<QVariantList> rows;
    QVariant value(int row, const QString& column) const {
        for (size_t c = 0; c < columns.size(); ++c)
            if (columns[c].name == column)
                return rows.at(row).at(int(c));
        ADD_FAILURE() << "no column " << column.toStdString();
        return {};
    }
    int type(const QString& column) const {
        for (const AccessColumn& c : columns)
            if (c.name == column)
                return c.type;
        return -1;
    }
};

class CollectingSink : public AccessSink {
public:
    bool beginTable(const QString& name, const std::vector<AccessColumn>& columns) override {
        current = &tables[name];
        current->columns = columns;
        return true;
    }
    bool row(const QVariantList& values) override {
        current->rows.push_back(values);
        return true;
    }
    bool endTable() override { return true; }
    std::map<QString, Table> tables;
    Table* current = nullptr;
};

QString md5(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

TEST(AccessFile, RecognisesTheHeader) {
    EXPECT_EQ(jetFormat(fixture("test2V1997.mdb")), JetFormat::Jet3);
    EXPECT_EQ(jetFormat(fixture("test2V2000.mdb")), JetFormat::Jet4);
    EXPECT_EQ(jetFormat(fixture("testUnicodeCompV2003.mdb")), JetFormat::Jet4);
    EXPECT_EQ(jetFormat(fixture("SOURCES.md")), JetFormat::None);
    EXPECT_EQ(jetFormat(fixture("no-such-file.mdb")), JetFormat::None);
    EXPECT_FALSE(mdbReaderPath().isEmpty()) << "the reader is found from the build tree";
}

// Both project files hold the same row, once as Jet3 (code page text) and once as Jet4.
TEST(AccessFile, ReadsEveryColumnKindOfTheProjectFiles) {
    for (const char* file : {"test2V1997.mdb", "test2V2000.mdb"}) {
        SCOPED_TRACE(file);
        CollectingSink sink;
        QString error;
        ASSERT_TRUE(readAccessFile(fixture(file), sink, &error)) << error.toStdString();
        ASSERT_EQ(sink.tables.size(), 1u);
        const Table& t = sink.tables.at("MSP_PROJECTS");
        ASSERT_EQ(t.columns.size(), 74u);
        ASSERT_EQ(t.rows.size(), 1u);
        EXPECT_EQ(t.value(0, "PROJ_ID").toLongLong(), 1);
        EXPECT_EQ(t.value(0, "PROJ_NAME").toString(), "Project1");
        EXPECT_EQ(t.value(0, "PROJ_OPT_CURRENCY_SYMBOL").toString(), QString::fromUtf8("£"));
        const QString author = t.value(0, "PROJ_PROP_AUTHOR").toString();
        EXPECT_EQ(author.size(), 348);
        EXPECT_TRUE(author.startsWith("Jon Iles this is a a vawesrasoih"));
        EXPECT_TRUE(author.endsWith("lksjadf as"));
        EXPECT_EQ(md5(author.toUtf8()), "dac1e26584a04e90169909ae140449ad");
        EXPECT_EQ(t.type("PROJ_INFO_CURRENT_DATE"), kJetDateTime);
        EXPECT_NEAR(t.value(0, "PROJ_INFO_CURRENT_DATE").toDouble(), 38751 + 1.0 / 3, 1e-9);
        EXPECT_NEAR(t.value(0, "PROJ_OPT_DEF_FINISH_TIME").toDouble(), 38751 + 17.0 / 24, 1e-9);
        EXPECT_NEAR(t.value(0, "PROJ_LAST_SAVED").toDouble(), 38751 + (22 * 60 + 11) / 1440.0,
                    1e-9);
        EXPECT_NEAR(t.value(0, "PROJ_CREATION_DATE_EX").toDouble(),
                    38751 + (22 * 3600 + 11 * 60 + 5) / 86400.0, 1e-9);
        EXPECT_EQ(t.value(0, "PROJ_OPT_MINUTES_PER_DAY").toLongLong(), 480);
        EXPECT_EQ(t.value(0, "PROJ_OPT_MINUTES_PER_WEEK").toLongLong(), 2400);
        EXPECT_EQ(t.value(0, "PROJ_OPT_DUR_ENTRY_FMT").toLongLong(), 7);
        const QByteArray ole = t.value(0, "RESERVED_BINARY_DATA").toByteArray();
        EXPECT_EQ(ole.size(), 22970);
        EXPECT_EQ(md5(ole), "c90c305ecaa92bf90c02839a41c77615");
        EXPECT_TRUE(ole.startsWith(QByteArray("\x15\x1c", 2)));

        int trues = 0, falses = 0, nulls = 0, doubles = 0;
        for (size_t c = 0; c < t.columns.size(); ++c) {
            const QVariant v = t.rows[0][int(c)];
            if (t.columns[c].type == kJetBool)
                (v.toLongLong() ? trues : falses)++;
            if (t.columns[c].type == kJetDouble) {
                ++doubles;
                EXPECT_EQ(v.toDouble(), 0.0);
            }
            if (v.isNull())
                ++nulls;
        }
        EXPECT_EQ(trues, 8);
        EXPECT_EQ(falses, 14);
        EXPECT_EQ(doubles, 2);
        EXPECT_EQ(nulls, 14);
        EXPECT_TRUE(t.value(0, "PROJ_PROP_MANAGER").isNull());
        EXPECT_TRUE(t.value(0, "PROJ_CHECKEDOUTDATE").isNull());
    }
}

TEST(AccessFile, ReadsUnicodeText) {
    CollectingSink sink;
    QString error;
    ASSERT_TRUE(readAccessFile(fixture("testUnicodeCompV2003.mdb"), sink, &error))
        << error.toStdString();
    const Table& t = sink.tables.at("Table");
    ASSERT_EQ(t.rows.size(), 8u);
    const std::vector<QString> expected = {
        "only ascii chars", QString::fromUtf8("ääkkösiä"), QString::fromUtf8("Мир"),
        // The file keeps the oxia forms of two accented vowels.
        QString::fromUtf8("ϰαὶ τ\u1F79τ' ἐγὼ Κ\u1F7Bϰλωπα"), QString::fromUtf8("漢字仮名交じり文"),
        QString::fromUtf8("3L9\x1d"
                          "52\x02_AB(¥\x05!!V"),
        QString::fromUtf8("ümlaut")};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(t.value(i, "ID").toLongLong(), i + 1);
        if (i < 7) {
            EXPECT_EQ(t.value(i, "Unicode").toString(), expected[i]) << "row " << i + 1;
        }
    }
    EXPECT_EQ(t.value(7, "Unicode").toString().toUtf8().size(), 383);
    EXPECT_TRUE(t.value(7, "Unicode").toString().endsWith(QChar(0xFF)));
}

TEST(AccessFile, DamagedFilesFailCleanly) {
    QTemporaryDir dir;
    struct Case {
        const char* name;
        const char* source;
        qint64 keep; // bytes kept from the start
    };
    const std::vector<Case> cases = {
        {"Jet4 cut in half (loops in the library)", "test2V2000.mdb", 131072},
        {"Jet3 cut in half", "test2V1997.mdb", 65536},
        {"not whole pages", "test2V2000.mdb", 200000},
        {"header only", "test2V1997.mdb", 2048},
        {"Jet4 cut to three quarters", "test2V2000.mdb", 196608},
    };
    AccessReadLimits limits;
    limits.wallSeconds = 3;
    limits.cpuSeconds = 5;
    limits.memoryBytes = qint64(512) << 20;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile in(fixture(c.source));
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        const QString path = dir.filePath(QString("cut-%1.mdb").arg(c.keep));
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(in.read(c.keep));
        out.close();
        CollectingSink sink;
        QString error;
        EXPECT_FALSE(readAccessFile(path, sink, &error, limits));
        EXPECT_TRUE(error.contains("cannot read the Access file")) << error.toStdString();
        const QString target = dir.filePath("converted.sqlite");
        EXPECT_FALSE(convertAccessFile(path, target, &error, limits));
        EXPECT_FALSE(QFile::exists(target)) << "nothing is written";
    }
}

TEST(AccessFile, ConvertsIntoSqlite) {
    QTemporaryDir dir;
    const QString target = dir.filePath("converted.sqlite");
    QString error;
    ASSERT_TRUE(convertAccessFile(fixture("testUnicodeCompV2003.mdb"), target, &error))
        << error.toStdString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "convert-test");
        db.setDatabaseName(target);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("SELECT Unicode FROM \"Table\" WHERE ID = 3"));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toString(), QString::fromUtf8("Мир"));
        ASSERT_TRUE(q.exec("SELECT count(*) FROM \"Table\""));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), 8);
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase("convert-test");
}

// A window waiting on the reader keeps handling its events: a timer due during the read
// fires before the read ends.
TEST(AccessFile, EventsAreHandledWhileTheReaderRuns) {
    const QByteArray stream =
        test::ReaderStream().table("T", {{"A", kJetLong}}, {{qint64(7)}}).finish();
    test::FakeReader reader(stream, "0.6");
    bool fired = false;
    QTimer::singleShot(50, [&]() { fired = true; });
    CollectingSink sink;
    QString error;
    ASSERT_TRUE(readAccessFile(fixture("test2V1997.mdb"), sink, &error)) << error.toStdString();
    EXPECT_TRUE(fired);
    ASSERT_EQ(sink.tables.count("T"), 1u);
    EXPECT_EQ(sink.tables["T"].value(0, "A").toLongLong(), 7);
}

} // namespace
} // namespace viro
