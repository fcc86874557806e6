#include "cli_runner.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

QString accessFile(const char* name) {
    return QFileInfo(QStringLiteral(__FILE__))
        .dir()
        .absoluteFilePath(QStringLiteral("../records/access/") + name);
}

QJsonObject column(const QJsonArray& columns, const QJsonArray& row, const QString& name,
                   QJsonValue* value) {
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].toObject()["name"].toString() == name) {
            *value = row[i];
            return columns[i].toObject();
        }
    ADD_FAILURE() << "no column " << name.toStdString();
    return {};
}

TEST(AccessCli, DumpsTablesColumnsAndRows) {
    for (const char* file : {"test2V1997.mdb", "test2V2000.mdb"}) {
        SCOPED_TRACE(file);
        const CliRun r = runCli({"access", "dump", accessFile(file)});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        const QJsonObject doc = r.json().object();
        EXPECT_EQ(doc["format"].toString(), QString(file).contains("1997") ? "Jet3" : "Jet4");
        const QJsonArray tables = doc["tables"].toArray();
        ASSERT_EQ(tables.size(), 1);
        const QJsonObject t = tables[0].toObject();
        EXPECT_EQ(t["name"].toString(), "MSP_PROJECTS");
        const QJsonArray columns = t["columns"].toArray();
        const QJsonArray rows = t["rows"].toArray();
        ASSERT_EQ(columns.size(), 74);
        ASSERT_EQ(rows.size(), 1);
        const QJsonArray row = rows[0].toArray();
        QJsonValue v;
        EXPECT_EQ(column(columns, row, "PROJ_ID", &v)["type"].toString(), "Long");
        EXPECT_EQ(v.toInt(), 1);
        column(columns, row, "PROJ_OPT_CURRENCY_SYMBOL", &v);
        EXPECT_EQ(v.toString(), QString::fromUtf8("£"));
        EXPECT_EQ(column(columns, row, "PROJ_LAST_SAVED", &v)["type"].toString(), "Date/Time");
        EXPECT_NEAR(v.toDouble(), 38751.9243055556, 1e-9) << "dates as the raw day number";
        column(columns, row, "PROJ_PROP_MANAGER", &v);
        EXPECT_TRUE(v.isNull());
        EXPECT_EQ(column(columns, row, "RESERVED_BINARY_DATA", &v)["type"].toString(),
                  "OLE Object");
        const QByteArray ole = QByteArray::fromBase64(v.toString().toLatin1());
        EXPECT_EQ(QCryptographicHash::hash(ole, QCryptographicHash::Md5).toHex(),
                  "c90c305ecaa92bf90c02839a41c77615");
        int trues = 0;
        for (int i = 0; i < columns.size(); ++i)
            if (columns[i].toObject()["type"].toString() == "Yes/No") {
                EXPECT_TRUE(row[i].isBool());
                trues += row[i].toBool();
            }
        EXPECT_EQ(trues, 8);
    }
}

TEST(AccessCli, UnicodeText) {
    const CliRun r = runCli({"access", "dump", accessFile("testUnicodeCompV2003.mdb")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QJsonArray rows = r.json().object()["tables"].toArray()[0].toObject()["rows"].toArray();
    ASSERT_EQ(rows.size(), 8);
    EXPECT_EQ(rows[4].toArray()[1].toString(), QString::fromUtf8("漢字仮名交じり文"));
    EXPECT_EQ(rows[1].toArray()[1].toString(), QString::fromUtf8("ääkkösiä"));
}

TEST(AccessCli, BadInputFailsWithoutOutput) {
    QTemporaryDir dir;
    QFile in(accessFile("test2V2000.mdb"));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QString cut = dir.filePath("cut.mdb");
    QFile out(cut);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(in.read(200704)); // whole pages, but the tables' data is gone
    out.close();
    const std::vector<QStringList> cases = {
        {"access", "dump", cut},
        {"access", "dump", accessFile("SOURCES.md")},
        {"access", "dump", dir.filePath("missing.mdb")},
        {"access", "dump"},
        {"access", "list", cut},
        {"access"},
    };
    for (const QStringList& args : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const CliRun r = runCli(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.isEmpty()) << r.out.left(200).constData();
        EXPECT_TRUE(r.err.startsWith("viro-cli: ")) << r.err.constData();
    }
}

} // namespace
