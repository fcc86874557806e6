#include "cli_runner.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QProcessEnvironment>
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

// Reals without a JSON form (NaN, the infinities) print as null, so the output stays JSON.
TEST(AccessCli, NonFiniteRealsPrintAsNull) {
    QTemporaryDir dir;
    // The reader program's stream: one table, one Double column (type 7), four rows.
    QByteArray stream = "VIRO-MDB 1\nT 1\nT\nC 7 8 N 1\nX\n";
    for (const char* bits :
         {"7ff8000000000000", "7ff0000000000000", "fff0000000000000", "3ff8000000000000"})
        stream += QByteArray("R\nF ") + bits + "\n";
    stream += "E\nZ 1\n";
    QFile data(dir.filePath("stream"));
    ASSERT_TRUE(data.open(QIODevice::WriteOnly));
    data.write(stream);
    data.close();
    QFile script(dir.filePath("reader"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nexec cat '" + data.fileName().toUtf8() + "'\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VIRO_MDB_READER", script.fileName());

    const CliRun r = runCli({"access", "dump", accessFile("test2V1997.mdb")}, env);
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out, &parse);
    ASSERT_EQ(parse.error, QJsonParseError::NoError) << r.out.constData();
    const QJsonArray rows = doc.object()["tables"].toArray()[0].toObject()["rows"].toArray();
    ASSERT_EQ(rows.size(), 4);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(rows[i].toArray()[0].isNull()) << "row " << i;
    EXPECT_DOUBLE_EQ(rows[3].toArray()[0].toDouble(), 1.5);
}

} // namespace
