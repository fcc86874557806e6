#include "data/src/database_writer.h"

#include "core/text_cipher.h"
#include "records/schema.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <functional>

namespace viro {

int referenceTextSeed(int key, int fieldIndex) {
    return (key * 37 + fieldIndex * 11 + 5) % 256;
}

namespace {

// Builds the file under a temporary name and moves it into place only when `fill` succeeded,
// so an interrupted build never leaves a half-written database behind.
bool buildDatabase(const QString& path, DatabaseKind kind,
                   const std::function<bool(QSqlDatabase&, QString*)>& fill, QString* error) {
    const QString part = path + QStringLiteral(".part");
    if (!createDatabaseFile(part, kind, error))
        return false;
    bool ok = true;
    const QString connection = QStringLiteral("viro-data-builder-") + path;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(part);
        if (!db.open()) {
            ok = false;
            if (error)
                *error = db.lastError().text();
        } else {
            ok = db.transaction();
            if (!ok && error)
                *error = db.lastError().text();
            if (ok && fill) {
                ok = fill(db, error);
                if (!ok)
                    db.rollback();
            }
            if (ok && !db.commit()) {
                ok = false;
                if (error)
                    *error = db.lastError().text();
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    if (ok && QFile::exists(path) && !QFile::remove(path)) {
        ok = false;
        if (error)
            *error = QStringLiteral("cannot replace ") + path;
    }
    if (ok && !QFile::rename(part, path)) {
        ok = false;
        if (error)
            *error = QStringLiteral("cannot move %1 into place").arg(part);
    }
    if (!ok)
        QFile::remove(part);
    return ok;
}

QString insertStatement(const QString& table, const QStringList& columns) {
    QStringList marks;
    for (qsizetype i = 0; i < columns.size(); ++i)
        marks << QStringLiteral("?");
    return QStringLiteral("INSERT INTO \"%1\" (\"%2\") VALUES (%3)")
        .arg(table, columns.join(QStringLiteral("\", \"")), marks.join(QStringLiteral(", ")));
}

bool execute(QSqlQuery& q, QString* error) {
    if (q.exec())
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

} // namespace

bool writeReferenceDatabase(const QString& path, const std::vector<ReferenceEntry>& entries,
                            const std::vector<QByteArray>& charts, QString* error) {
    auto fill = [&](QSqlDatabase& db, QString* err) {
        const QStringList& fields = referenceTextFields();
        QStringList columns{QStringLiteral("MKEY")};
        columns += fields;
        columns << QStringLiteral("DtGpM");
        QSqlQuery q(db);
        if (!q.prepare(insertStatement(QStringLiteral("ZEMTDB"), columns))) {
            if (err)
                *err = q.lastError().text();
            return false;
        }
        for (const ReferenceEntry& e : entries) {
            q.addBindValue(e.key);
            for (int i = 0; i < fields.size(); ++i) {
                bool ok = false;
                const QString hex =
                    TextCipher::encrypt(e.texts.value(fields.at(i)), TextCipher::ReferenceTextKey,
                                        referenceTextSeed(e.key, i), &ok);
                if (!ok) {
                    if (err)
                        *err =
                            QStringLiteral("%1: %2 cannot be enciphered").arg(e.file, fields.at(i));
                    return false;
                }
                q.addBindValue(hex);
            }
            const size_t chart = size_t(e.key - 1);
            q.addBindValue(chart < charts.size() && !charts[chart].isEmpty()
                               ? QVariant(charts[chart])
                               : QVariant(QMetaType(QMetaType::QByteArray)));
            if (!execute(q, err))
                return false;
        }
        return true;
    };
    return buildDatabase(path, DatabaseKind::ReferenceTexts, fill, error);
}

bool writeProtocolDatabase(const QString& path, const std::vector<StandardProtocol>& protocols,
                           QString* error) {
    auto fill = [&](QSqlDatabase& db, QString* err) {
        QStringList proColumns{QStringLiteral("ProNo"),   QStringLiteral("ProName"),
                               QStringLiteral("ProData"), QStringLiteral("ProScal"),
                               QStringLiteral("PrtFG"),   QStringLiteral("ProFN")};
        for (const char* stem : {"ProScrp", "ProPrg", "ProParm"})
            for (int i = 1; i <= 4; ++i)
                proColumns << QString::fromLatin1(stem) + QString::number(i);
        proColumns += adviceColumns();
        const QStringList dtColumns{QStringLiteral("ProNo"),   QStringLiteral("ProSubN"),
                                    QStringLiteral("ProNote"), QStringLiteral("ProAnd"),
                                    QStringLiteral("ProCond"), QStringLiteral("ProAGL"),
                                    QStringLiteral("ProAGH"),  QStringLiteral("ProEng"),
                                    QStringLiteral("ProFlg"),  QStringLiteral("PrtFG")};
        QSqlQuery pro(db);
        QSqlQuery dt(db);
        if (!pro.prepare(insertStatement(QStringLiteral("ZePro"), proColumns)) ||
            !dt.prepare(insertStatement(QStringLiteral("ZePrDt"), dtColumns))) {
            if (err)
                *err = (pro.lastError().isValid() ? pro : dt).lastError().text();
            return false;
        }
        for (const StandardProtocol& p : protocols) {
            pro.addBindValue(p.number);
            pro.addBindValue(p.name);
            pro.addBindValue(p.text);
            pro.addBindValue(0); // picture shown stretched; there is none
            pro.addBindValue(0);
            pro.addBindValue(QStringLiteral("0000")); // no program links
            for (int i = 0; i < 12; ++i)
                pro.addBindValue(QString());
            for (const QString& advice : p.advice)
                pro.addBindValue(advice);
            if (!execute(pro, err))
                return false;
            for (const StandardCondition& c : p.conditions) {
                dt.addBindValue(p.number);
                dt.addBindValue(c.subName);
                dt.addBindValue(c.note);
                dt.addBindValue(c.required);
                dt.addBindValue(c.codes);
                dt.addBindValue(c.ageLow);
                dt.addBindValue(c.ageHigh);
                dt.addBindValue(c.energy);
                dt.addBindValue(c.must ? 1 : 0);
                dt.addBindValue(0);
                if (!execute(dt, err))
                    return false;
            }
        }
        return true;
    };
    return buildDatabase(path, DatabaseKind::StandardProtocols, fill, error);
}

bool writeTemplateDatabase(const QString& path, QString* error) {
    return buildDatabase(path, DatabaseKind::Main, {}, error);
}

} // namespace viro
