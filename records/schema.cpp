#include "records/schema.h"

#include "records/log.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <algorithm>
#include <cmath>

namespace viro {

const FieldDef* TableDef::field(const QString& fieldName) const {
    for (const FieldDef& f : fields)
        if (f.name.compare(fieldName, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

namespace {

FieldDef text(const char* name, int width = 0) {
    return {QString::fromLatin1(name), FieldType::Text, width};
}
FieldDef of(const char* name, FieldType type) {
    return {QString::fromLatin1(name), type, 0};
}

// The patient number is typed with at most 15 characters, but older files kept longer ones. A
// stored number is never cut, since two patients could then share one, so the column itself has
// no limit; the windows hold new numbers to 15.
FieldDef patientNumber() {
    return {QStringLiteral("CustNo"), FieldType::Text, 0, 15};
}

// Numbered fields such as ZE1 ... ZE24.
void addNumbered(std::vector<FieldDef>& fields, const char* stem, int from, int to, FieldType type,
                 int width = 0) {
    for (int i = from; i <= to; ++i)
        fields.push_back({QString::fromLatin1(stem) + QString::number(i), type, width});
}

TableDef makeZeCust() {
    TableDef t;
    t.name = QStringLiteral("ZeCust");
    t.fields = {patientNumber(),
                text("Name", 50),
                of("Sex", FieldType::YesNo),
                of("DBirth", FieldType::DateTime),
                text("Addr", 100),
                text("Tel", 30),
                text("Tel2", 30),
                text("Tel3", 30),
                text("EMail", 50),
                text("BType"),
                of("Height", FieldType::Double),
                of("Weight", FieldType::Double),
                of("Memo", FieldType::Memo),
                text("CustCat"),
                text("CustFG"),
                of("PrtFG", FieldType::YesNo),
                of("PREMEA", FieldType::DateTime)};
    // One index per sort column of the patient list, ending with the patient number that breaks
    // ties: the list reads any window of rows, and counts the rows before a patient, along the
    // index alone, without sorting the table.
    t.indexes.push_back({QStringLiteral("ZeCust_CustNo"), {QStringLiteral("CustNo")}});
    for (const char* column :
         {"Name", "Sex", "DBirth", "PREMEA", "Tel", "Addr", "EMail", "Tel2", "Tel3"})
        t.indexes.push_back({QStringLiteral("ZeCust_") + QLatin1String(column),
                             {QString::fromLatin1(column), QStringLiteral("CustNo")}});
    return t;
}

TableDef makeZeData() {
    TableDef t;
    t.name = QStringLiteral("ZeData");
    t.fields = {patientNumber(), of("ZeDate", FieldType::DateTime), of("ZeVota", FieldType::YesNo)};
    addNumbered(t.fields, "ZE", 1, 24, FieldType::Double);
    t.fields.push_back(of("MEMO1", FieldType::Memo));
    t.fields.push_back(of("MEMO2", FieldType::Memo));
    t.fields.push_back(of("MKEY", FieldType::AutoNumber));
    t.fields.push_back(text("STD", 200));
    t.fields.push_back(text("AutoKey"));
    t.fields.push_back(of("PrtFG", FieldType::YesNo));
    // A patient's measurements newest first, and the whole table by patient.
    t.indexes.push_back(
        {QStringLiteral("ZeData_CustNo"), {QStringLiteral("CustNo"), QStringLiteral("ZeDate")}});
    return t;
}

TableDef makeZePro(bool withAdvice) {
    TableDef t;
    t.name = QStringLiteral("ZePro");
    t.fields = {of("MKEY", FieldType::AutoNumber),
                text("ProNo", 12),
                text("ProName", 24),
                of("ProData", FieldType::Memo),
                of("ProPict", FieldType::OleObject),
                of("ProScal", FieldType::YesNo),
                of("PrtFG", FieldType::YesNo),
                text("ProFN", 50)};
    addNumbered(t.fields, "ProScrp", 1, 4, FieldType::Text, 150);
    addNumbered(t.fields, "ProPrg", 1, 4, FieldType::Text, 150);
    addNumbered(t.fields, "ProParm", 1, 4, FieldType::Text, 150);
    if (withAdvice) {
        addNumbered(t.fields, "ProMed", 1, 3, FieldType::Memo);
        addNumbered(t.fields, "ProHel", 1, 5, FieldType::Memo);
    }
    t.indexes.push_back({QStringLiteral("ZeProB"), {QStringLiteral("ProNo")}});
    return t;
}

TableDef makeZePrDt() {
    TableDef t;
    t.name = QStringLiteral("ZePrDt");
    t.fields = {of("MKEY", FieldType::AutoNumber),
                text("ProNo", 12),
                text("ProSubN", 24),
                text("ProNote", 50),
                text("ProAnd", 30),
                text("ProCond", 30),
                of("ProAGL", FieldType::Long),
                of("ProAGH", FieldType::Long),
                of("ProEng", FieldType::Double),
                of("ProFlg", FieldType::YesNo),
                of("PrtFG", FieldType::YesNo)};
    t.indexes.push_back({QStringLiteral("ZePrDt_ProNo"), {QStringLiteral("ProNo")}});
    return t;
}

TableDef makeZeMtdb() {
    TableDef t;
    t.name = QStringLiteral("ZEMTDB");
    // The entries are numbered by the installation data (1 to 17), not by the database.
    t.fields = {of("MKEY", FieldType::Long)};
    addNumbered(t.fields, "DtEA", 1, 5, FieldType::Memo);
    addNumbered(t.fields, "DtPot", 1, 3, FieldType::Memo);
    addNumbered(t.fields, "DtMA", 1, 3, FieldType::Memo);
    addNumbered(t.fields, "DtMH", 1, 5, FieldType::Memo);
    addNumbered(t.fields, "DtML", 1, 5, FieldType::Memo);
    t.fields.push_back(of("DtGpM", FieldType::OleObject));
    return t;
}

// Kept apart from ZeData, whose layout other installations and the exchange file share: a row
// per point, so a measurement's values are read without its traces, and a point's trace
// without the others'.
TableDef makeZeRaw() {
    TableDef t;
    t.name = QStringLiteral("ZeRaw");
    for (const auto& [name, type] : {std::pair{"MKEY", FieldType::Long},
                                     {"PointNo", FieldType::Long},
                                     {"Readings", FieldType::Long},
                                     {"Averaged", FieldType::Long},
                                     {"Trace", FieldType::OleObject}}) {
        FieldDef f = of(name, type);
        f.required = true;
        t.fields.push_back(f);
    }
    t.primaryKey = {QStringLiteral("MKEY"), QStringLiteral("PointNo")};
    t.checks = {QStringLiteral("\"PointNo\" BETWEEN 1 AND 24"), QStringLiteral("\"Readings\" >= 0"),
                QStringLiteral("\"Averaged\" >= 0")};
    return t;
}

QString quoted(const QString& name) {
    return QLatin1Char('"') + name + QLatin1Char('"');
}

} // namespace

const TableDef& zeCustTable() {
    static const TableDef t = makeZeCust();
    return t;
}
const TableDef& zeDataTable() {
    static const TableDef t = makeZeData();
    return t;
}
const TableDef& zeProTable(bool withAdvice) {
    static const TableDef plain = makeZePro(false);
    static const TableDef advice = makeZePro(true);
    return withAdvice ? advice : plain;
}
const TableDef& zePrDtTable() {
    static const TableDef t = makeZePrDt();
    return t;
}
const TableDef& zeMtdbTable() {
    static const TableDef t = makeZeMtdb();
    return t;
}
const TableDef& zeRawTable() {
    static const TableDef t = makeZeRaw();
    return t;
}

std::vector<const TableDef*> tablesOf(DatabaseKind kind) {
    switch (kind) {
    case DatabaseKind::Main:
        return {&zeCustTable(), &zeDataTable(), &zeProTable(false), &zePrDtTable(), &zeRawTable()};
    case DatabaseKind::ReferenceTexts:
        return {&zeMtdbTable()};
    case DatabaseKind::StandardProtocols:
        return {&zeProTable(true), &zePrDtTable()};
    }
    return {};
}

QString sqliteTypeName(FieldType type) {
    switch (type) {
    case FieldType::Text:
    case FieldType::Memo:
        return QStringLiteral("TEXT");
    case FieldType::YesNo:
    case FieldType::Long:
    case FieldType::AutoNumber:
        return QStringLiteral("INTEGER");
    case FieldType::DateTime:
    case FieldType::Double:
        return QStringLiteral("REAL");
    case FieldType::OleObject:
        return QStringLiteral("BLOB");
    }
    return QStringLiteral("BLOB");
}

QString widthCheck(const QString& field, int width) {
    return QStringLiteral("CHECK (length(%1) <= %2)").arg(quoted(field)).arg(width);
}

QString createTableStatement(const TableDef& table) {
    QStringList columns;
    for (const FieldDef& f : table.fields) {
        QString c = quoted(f.name) + QLatin1Char(' ') + sqliteTypeName(f.type);
        switch (f.type) {
        case FieldType::AutoNumber:
            c += QStringLiteral(" PRIMARY KEY AUTOINCREMENT");
            break;
        case FieldType::Text:
        case FieldType::Memo:
            // Text compares and sorts without regard to letter case, as the exchanged files do.
            c += QStringLiteral(" COLLATE NOCASE");
            if (f.width > 0)
                c += QLatin1Char(' ') + widthCheck(f.name, f.width);
            break;
        case FieldType::YesNo:
            c += QStringLiteral(" NOT NULL DEFAULT 0 CHECK (%1 IN (0, 1))").arg(quoted(f.name));
            break;
        case FieldType::Long:
            if (table.name == QLatin1String("ZEMTDB") && f.name == QLatin1String("MKEY"))
                c += QStringLiteral(" PRIMARY KEY");
            break;
        default:
            break;
        }
        if (f.required || table.primaryKey.contains(f.name))
            c += QStringLiteral(" NOT NULL");
        columns << c;
    }
    if (!table.primaryKey.isEmpty()) {
        QStringList key;
        for (const QString& k : table.primaryKey)
            key << quoted(k);
        columns << QStringLiteral("PRIMARY KEY (%1)").arg(key.join(QStringLiteral(", ")));
    }
    for (const QString& check : table.checks)
        columns << QStringLiteral("CHECK (%1)").arg(check);
    return QStringLiteral("CREATE TABLE %1 (%2)")
        .arg(quoted(table.name), columns.join(QStringLiteral(", ")));
}

QStringList createIndexStatements(const TableDef& table) {
    QStringList out;
    for (const IndexDef& index : table.indexes) {
        QStringList cols;
        for (const QString& c : index.columns) {
            const bool desc = c.endsWith(QLatin1String(" DESC"));
            const QString name = desc ? c.left(c.size() - 5) : c;
            cols << quoted(name) + (desc ? QStringLiteral(" DESC") : QString());
        }
        out << QStringLiteral("CREATE INDEX %1 ON %2 (%3)")
                   .arg(quoted(index.name), quoted(table.name), cols.join(QStringLiteral(", ")));
    }
    return out;
}

bool createSchema(QSqlDatabase& db, DatabaseKind kind, QString* error) {
    auto failWith = [&](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    if (!db.isOpen())
        return failWith(QStringLiteral("the database is not open"));
    if (!db.transaction())
        return failWith(db.lastError().text());
    QSqlQuery q(db);
    for (const TableDef* table : tablesOf(kind)) {
        QStringList statements{createTableStatement(*table)};
        statements += createIndexStatements(*table);
        for (const QString& s : statements) {
            if (!q.exec(s)) {
                const QString message = table->name + QStringLiteral(": ") + q.lastError().text();
                q.finish();
                db.rollback();
                return failWith(message);
            }
        }
    }
    q.finish();
    if (!db.commit()) {
        const QString message = db.lastError().text();
        db.rollback();
        return failWith(message);
    }
    return true;
}

bool createDatabaseFile(const QString& path, DatabaseKind kind, QString* error) {
    for (const QString& suffix :
         {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")}) {
        if (QFile::exists(path + suffix) && !QFile::remove(path + suffix)) {
            if (error)
                *error = QStringLiteral("cannot replace ") + path + suffix;
            return false;
        }
    }
    const QString name =
        QStringLiteral("viro-create-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open()) {
            if (error)
                *error = db.lastError().text();
        } else {
            ok = createSchema(db, kind, error);
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!ok && QFile::exists(path) && !QFile::remove(path))
        qCWarning(lcRecords).noquote() << "Cannot remove the unfinished database" << path;
    return ok;
}

QString packStd(const std::array<double, kStdPoints>& scores) {
    QString out;
    out.reserve(kStdPoints * kStdSliceWidth);
    for (double s : scores) {
        // Scores run from 0 to 100; anything else would not fit five characters and would shift
        // every later score when read back.
        const double clamped = std::isfinite(s) ? std::clamp(s, 0.0, 100.0) : 0.0;
        out += QString::asprintf("%5.1f", clamped);
    }
    return out;
}

std::array<double, kStdPoints> unpackStd(const QString& text) {
    std::array<double, kStdPoints> scores{};
    for (int k = 0; k < kStdPoints; ++k) {
        QString slice = text.mid(k * kStdSliceWidth, kStdSliceWidth).trimmed();
        // Files written where the decimal separator is a comma.
        slice.replace(QLatin1Char(','), QLatin1Char('.'));
        bool ok = false;
        const double v = slice.toDouble(&ok);
        scores[k] = ok && std::isfinite(v) ? v : 0.0;
    }
    return scores;
}

} // namespace viro
