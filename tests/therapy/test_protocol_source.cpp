#include "protocol_fixture.h"
#include "therapy/protocol_source.h"

#include "records/connection.h"

#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace viro;

// Runs SQL statements on a database file outside the program's connections; `bind` fills the
// placeholders of those that have any.
QString execute(const QString& path, const QStringList& statements, const QVariantList& bind = {}) {
    const QString name = QUuid::createUuid().toString();
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(path);
        if (!db.open())
            error = db.lastError().text();
        for (const QString& sql : statements) {
            if (!error.isEmpty())
                break;
            QSqlQuery q(db);
            q.prepare(sql);
            if (sql.contains('?'))
                for (const QVariant& v : bind)
                    q.addBindValue(v);
            if (!q.exec())
                error = sql + ": " + q.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

constexpr char kMarker = 'Q';

// Damages the file as a bad disk sector would: every overflow page that holds the long text
// written with kMarker gets a next-page number beyond the end of the file. The tables, their
// indexes and every short field still read; whole rows no longer do.
QString breakOverflowPages(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return file.errorString();
    QByteArray bytes = file.readAll();
    const int pageSize = (uchar(bytes[16]) << 8) | uchar(bytes[17]);
    int broken = 0;
    for (qsizetype page = pageSize; page + pageSize <= bytes.size(); page += pageSize)
        if (bytes.mid(page + 4, 64) == QByteArray(64, kMarker)) {
            bytes.replace(page, 4, QByteArray("\x7f\xff\xff\xf0", 4));
            ++broken;
        }
    if (broken < 2)
        return QStringLiteral("the long text did not take several overflow pages");
    file.seek(0);
    file.write(bytes);
    return {};
}

TEST(ProtocolSource, ReadsProtocolsInNumberOrderWithTheirConditions) {
    QTemporaryDir dir;
    const QString path = dir.filePath("viroze.mdb");
    const QString written = writeProtocolDatabase(
        path, {{"P20", "Later"}, {"p05", "Lower case"}, {"P10", "No rows"}},
        {{"P20", "2", "1", 45.5, 20, 40, true},
         {"P05", "0000002", "", 0, 0, 0, false},
         {"P20", "0000000000000000000000001", "", 0, 0, 0, false}});
    ASSERT_TRUE(written.isEmpty()) << written.toStdString();

    Connection connection(ConnectionRole::StandardProtocols);
    QString error;
    ASSERT_TRUE(connection.open(path, &error)) << error.toStdString();
    std::vector<ProtocolCandidate> protocols;
    ASSERT_TRUE(loadProtocolCandidates(connection.database(), &protocols, &error))
        << error.toStdString();

    ASSERT_EQ(protocols.size(), 3u);
    EXPECT_EQ(protocols[0].ProNo, "p05");
    EXPECT_EQ(protocols[1].ProNo, "P10");
    EXPECT_EQ(protocols[2].ProNo, "P20");
    EXPECT_GT(protocols[0].MKEY, 0);
    // The condition numbered "P05" belongs to protocol "p05": numbers link ignoring case.
    ASSERT_EQ(protocols[0].conditions.size(), 1u);
    EXPECT_EQ(protocols[0].conditions[0].ProCond, "0000002");
    EXPECT_TRUE(protocols[1].conditions.empty());
    ASSERT_EQ(protocols[2].conditions.size(), 2u);
    const ProtocolCondition& must =
        protocols[2].conditions[0].ProFlg ? protocols[2].conditions[0]
                                          : protocols[2].conditions[1];
    EXPECT_EQ(must.ProEng, 45.5);
    EXPECT_EQ(must.ProAGL, 20);
    EXPECT_EQ(must.ProAGH, 40);
    EXPECT_EQ(must.ProAnd, "1");
}

// Whatever cannot be read fails the whole load: protocols read in part would silently match
// less, and a table read as empty would pass for "no protocol matches".
TEST(ProtocolSource, ReadErrorsFailTheLoad) {
    const QString longText(20000, QChar::fromLatin1(kMarker));
    struct Case {
        const char* name;
        std::function<QString(const QString& path)> damage;
        const char* table;
    };
    const std::vector<Case> cases{
        {"no condition table",
         [](const QString& path) { return execute(path, {"DROP TABLE ZePrDt"}); }, "ZePrDt"},
        {"no protocol table",
         [](const QString& path) { return execute(path, {"DROP TABLE ZePro"}); }, "ZePro"},
        {"protocol rows unreadable",
         [&](const QString& path) {
             const QString e =
                 execute(path, {"UPDATE ZePro SET ProData = ? WHERE ProNo = 'P10'"}, {longText});
             return e.isEmpty() ? breakOverflowPages(path) : e;
         },
         "ZePro"},
        {"condition rows unreadable",
         [&](const QString& path) {
             // Longer than the table allows: as from a program that ignores the limits.
             const QString e = execute(path,
                                       {"PRAGMA ignore_check_constraints = ON",
                                        "UPDATE ZePrDt SET ProNote = ? WHERE ProNo = 'P20'"},
                                       {longText});
             return e.isEmpty() ? breakOverflowPages(path) : e;
         },
         "ZePrDt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("viroze.mdb");
        const QString written = writeProtocolDatabase(
            path, {{"P10", "First"}, {"P20", "Second"}},
            {{"P10", "2", "", 0, 0, 0, false}, {"P20", "02", "", 0, 0, 0, false}});
        ASSERT_TRUE(written.isEmpty()) << written.toStdString();
        const QString damaged = c.damage(path);
        ASSERT_TRUE(damaged.isEmpty()) << damaged.toStdString();

        Connection connection(ConnectionRole::StandardProtocols);
        QString error;
        ASSERT_TRUE(connection.open(path, &error)) << error.toStdString();
        std::vector<ProtocolCandidate> protocols(1);
        EXPECT_FALSE(loadProtocolCandidates(connection.database(), &protocols, &error));
        EXPECT_TRUE(error.contains(c.table)) << error.toStdString();
        EXPECT_TRUE(protocols.empty()) << "nothing half-read is handed on";
    }
}

} // namespace
