#pragma once

#include "records/schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QUuid>

#include <vector>

// A small protocol database for matching tests.
struct FixtureCondition {
    QString proNo;
    QString cond;
    QString andFlags;
    double eng = 0;
    int agl = 0;
    int agh = 0;
    bool must = false;
};

struct FixtureProtocol {
    QString proNo;
    QString name;
};

// Writes the protocols and conditions into a new protocol database at `path`; returns an error
// text, empty on success.
inline QString writeProtocolDatabase(const QString& path,
                                     const std::vector<FixtureProtocol>& protocols,
                                     const std::vector<FixtureCondition>& conditions) {
    QString error;
    if (!viro::createDatabaseFile(path, viro::DatabaseKind::StandardProtocols, &error))
        return error;
    const QString name = QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(path);
        if (!db.open())
            return db.lastError().text();
        for (const FixtureProtocol& p : protocols) {
            QSqlQuery q(db);
            q.prepare("INSERT INTO ZePro (ProNo, ProName) VALUES (?, ?)");
            q.addBindValue(p.proNo);
            q.addBindValue(p.name);
            if (!q.exec())
                return q.lastError().text();
        }
        for (const FixtureCondition& c : conditions) {
            QSqlQuery q(db);
            q.prepare("INSERT INTO ZePrDt (ProNo, ProCond, ProAnd, ProEng, ProAGL, ProAGH, ProFlg)"
                      " VALUES (?, ?, ?, ?, ?, ?, ?)");
            for (const QVariant& v : {QVariant(c.proNo), QVariant(c.cond), QVariant(c.andFlags),
                                      QVariant(c.eng), QVariant(c.agl), QVariant(c.agh),
                                      QVariant(c.must ? 1 : 0)})
                q.addBindValue(v);
            if (!q.exec())
                return q.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return {};
}
