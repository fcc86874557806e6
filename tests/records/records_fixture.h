#pragma once

#include "records/connection.h"
#include "records/schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace viro::test {

// A main database as earlier builds made it: the file itself held patient numbers to the 15
// characters a window takes, and had no ZeRaw. `extraColumn` adds a column this build does not
// know to ZeData.
inline bool createEarlierMainDatabase(const QString& path, QString* error,
                                      bool extraColumn = false) {
    const QString name = QStringLiteral("earlier-") + path;
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery q(db);
        for (const TableDef* table : tablesOf(DatabaseKind::Main)) {
            if (table == &zeRawTable())
                continue;
            TableDef earlier = *table;
            for (FieldDef& f : earlier.fields)
                if (f.name == QLatin1String("CustNo"))
                    f.width = 15;
            if (extraColumn && earlier.name == QLatin1String("ZeData"))
                earlier.fields.push_back({QStringLiteral("Extra"), FieldType::Text, 0});
            for (const QString& sql :
                 QStringList{createTableStatement(earlier)} + createIndexStatements(earlier))
                if (ok && !q.exec(sql)) {
                    ok = false;
                    *error = sql + QStringLiteral(": ") + q.lastError().text();
                }
        }
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// A fresh main database in a temporary folder, opened through the main connection.
class MainDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath(QStringLiteral("viro6.mdb"));
        QString error;
        ASSERT_TRUE(createDatabaseFile(path_, DatabaseKind::Main, &error)) << error.toStdString();
        ASSERT_TRUE(main_.open(path_, &error)) << error.toStdString();
    }
    QSqlDatabase db() const { return main_.database(); }
    QVariant scalar(const QString& sql, const QVariantList& binds = {}) {
        QSqlQuery q(db());
        q.prepare(sql);
        for (const QVariant& b : binds)
            q.addBindValue(b);
        if (!q.exec() || !q.next())
            return {};
        return q.value(0);
    }
    bool exec(const QString& sql, const QVariantList& binds = {}) {
        QSqlQuery q(db());
        if (!q.prepare(sql))
            return false;
        for (const QVariant& b : binds)
            q.addBindValue(b);
        return q.exec();
    }

    QTemporaryDir dir_;
    QString path_;
    Connection main_{ConnectionRole::Main};
};

} // namespace viro::test
