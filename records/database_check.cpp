#include "records/database_check.h"

#include "core/data_folder.h"
#include "records/access_file.h"
#include "records/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

#include <algorithm>
#include <cmath>

namespace viro {

namespace {

QString file(const QString& folder, const char* name) {
    return folder + dataFileName(QString::fromLatin1(name));
}

void ownerWritable(const QString& path) {
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// Folds a pending write-ahead log into the file, so the file alone holds every committed row.
// False when the log may still hold rows: another connection kept the checkpoint from
// completing, or the file could not be opened.
bool settle(const QString& path) {
    if (!QFile::exists(path + QStringLiteral("-wal")) || isAccessFile(path))
        return true;
    const QString name =
        QStringLiteral("viro-settle-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool complete = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        // A reader that keeps the log busy is not waited for long: the log then moves along.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=500"));
        if (db.open()) {
            QSqlQuery q(db);
            // One row: busy, frames in the log, frames copied into the file.
            if (q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) && q.next())
                complete =
                    q.value(0).toInt() == 0 && q.value(1).toLongLong() == q.value(2).toLongLong();
            q.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return complete;
}

bool copyFile(const QString& from, const QString& to) {
    if (QFile::exists(to) && !QFile::remove(to))
        return false;
    if (!QFile::copy(from, to))
        return false;
    ownerWritable(to);
    return true;
}

void emitLamp(const DatabaseCheckView& v, int lamp, LampState s) {
    if (v.lamp)
        v.lamp(lamp, s);
}
void emitProgress(const DatabaseCheckView& v, qint64 value, qint64 maximum) {
    if (v.progress)
        v.progress(int(maximum > 0 ? std::clamp<qint64>(value, 0, maximum) * 100 / maximum : 0),
                   100);
}

// One field copied from the older table: how it is converted.
enum class Kind { Text, Number, Flag, Date, DateOnly, Blob };
struct CopyField {
    const char* name;
    Kind kind;
    int group = 0; // >0: an optional group, skipped when its first field is missing
};

struct CopyTable {
    const char* name;
    std::vector<CopyField> fields;
};

std::vector<CopyTable> copyTables() {
    std::vector<CopyTable> t;
    t.push_back({"ZeCust",
                 {{"CustNo", Kind::Text},
                  {"Name", Kind::Text},
                  {"Sex", Kind::Flag},
                  {"DBirth", Kind::DateOnly},
                  {"Addr", Kind::Text},
                  {"Tel", Kind::Text},
                  {"Tel2", Kind::Text},
                  {"Tel3", Kind::Text},
                  {"EMail", Kind::Text},
                  {"BType", Kind::Text},
                  {"Height", Kind::Number},
                  {"Weight", Kind::Number},
                  {"Memo", Kind::Text},
                  {"CustCat", Kind::Text},
                  {"CustFG", Kind::Text},
                  {"PrtFG", Kind::Flag}}});
    CopyTable data{"ZeData",
                   {{"CustNo", Kind::Text},
                    {"ZeDate", Kind::Date},
                    {"ZeVota", Kind::Flag},
                    {"MEMO1", Kind::Text},
                    {"MEMO2", Kind::Text},
                    {"AutoKey", Kind::Text}}};
    static const char* const ze[24] = {"ZE1",  "ZE2",  "ZE3",  "ZE4",  "ZE5",  "ZE6",
                                       "ZE7",  "ZE8",  "ZE9",  "ZE10", "ZE11", "ZE12",
                                       "ZE13", "ZE14", "ZE15", "ZE16", "ZE17", "ZE18",
                                       "ZE19", "ZE20", "ZE21", "ZE22", "ZE23", "ZE24"};
    for (const char* z : ze)
        data.fields.push_back({z, Kind::Number});
    data.fields.push_back({"PrtFG", Kind::Flag});
    data.fields.push_back({"STD", Kind::Text, 1});
    t.push_back(data);
    CopyTable pro{"ZePro",
                  {{"ProNo", Kind::Text},
                   {"ProName", Kind::Text},
                   {"ProData", Kind::Text},
                   {"ProPict", Kind::Blob},
                   {"ProScal", Kind::Flag},
                   {"PrtFG", Kind::Flag},
                   {"ProFN", Kind::Text, 1}}};
    static const char* const links[12] = {"ProScrp1", "ProScrp2", "ProScrp3", "ProScrp4",
                                          "ProPrg1",  "ProPrg2",  "ProPrg3",  "ProPrg4",
                                          "ProParm1", "ProParm2", "ProParm3", "ProParm4"};
    for (const char* l : links)
        pro.fields.push_back({l, Kind::Text, 1});
    t.push_back(pro);
    t.push_back({"ZePrDt",
                 {{"ProNo", Kind::Text},
                  {"ProSubN", Kind::Text},
                  {"ProNote", Kind::Text},
                  {"ProAnd", Kind::Text},
                  {"ProCond", Kind::Text},
                  {"ProEng", Kind::Number},
                  {"ProAGL", Kind::Number, 1},
                  {"ProAGH", Kind::Number, 1},
                  {"ProFlg", Kind::Flag},
                  {"PrtFG", Kind::Flag}}});
    return t;
}

// `width`: characters the target column holds, 0 for no limit.
QVariant converted(const QVariant& v, Kind kind, int width) {
    if (!v.isValid() || v.isNull())
        return kind == Kind::Flag ? QVariant(0) : QVariant();
    switch (kind) {
    case Kind::Text: {
        QString text = v.toString();
        // Numbers kept in text columns of older files (AutoKey) come over as their text.
        if (v.typeId() == QMetaType::Double) {
            const double d = v.toDouble();
            if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15)
                text = QString::number(qint64(d));
        }
        // Older files held texts longer than the columns now allow; they come over cut, as the
        // fixed-width fields of the older program read them.
        if (width > 0 && text.size() > width)
            text.truncate(width);
        return text;
    }
    case Kind::Number:
    case Kind::Date:
        return v.toDouble();
    case Kind::DateOnly: {
        // The whole part is the day on both sides of 1899-12-30.
        return std::trunc(v.toDouble());
    }
    case Kind::Flag:
        if (v.typeId() == QMetaType::QString) {
            const QString s = v.toString().trimmed();
            return s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
                           (s.toLongLong() != 0)
                       ? 1
                       : 0;
        }
        return v.toLongLong() != 0 ? 1 : 0;
    case Kind::Blob:
        return v.toByteArray();
    }
    return v;
}

int fieldIndex(const QSqlRecord& r, const char* name) {
    for (int i = 0; i < r.count(); ++i)
        if (r.fieldName(i).compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool findTable(QSqlDatabase db, const char* name, QString* actual) {
    for (const QString& t : db.tables())
        if (t.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) {
            *actual = t;
            return true;
        }
    return false;
}

bool copyTable(QSqlDatabase from, QSqlDatabase to, const CopyTable& table,
               const DatabaseCheckView& view, QString* error) {
    QString source;
    if (!findTable(from, table.name, &source))
        return true; // nothing of this kind in the older file
    const QString quotedSource = QLatin1Char('"') + QString(source).replace('"', "\"\"") + '"';
    qint64 rows = 0;
    {
        QSqlQuery count(from);
        if (!count.exec(QStringLiteral("SELECT count(*) FROM ") + quotedSource) || !count.next()) {
            *error =
                QString::fromLatin1(table.name) + QStringLiteral(": ") + count.lastError().text();
            return false;
        }
        rows = count.value(0).toLongLong();
    }
    QSqlQuery read(from);
    read.setForwardOnly(true);
    if (!read.exec(QStringLiteral("select * from ") + quotedSource)) {
        *error = QString::fromLatin1(table.name) + QStringLiteral(": ") + read.lastError().text();
        return false;
    }
    // Which fields the older table has; a missing optional group is skipped as a whole.
    const QSqlRecord layout = read.record();
    std::vector<int> sourceIndex;
    QStringList names, marks;
    std::vector<Kind> kinds;
    std::vector<int> widths;
    std::map<int, bool> groupPresent;
    const TableDef* target = nullptr;
    for (const TableDef* t : tablesOf(DatabaseKind::Main))
        if (t->name == QLatin1String(table.name))
            target = t;
    for (const CopyField& f : table.fields) {
        const int at = fieldIndex(layout, f.name);
        if (f.group > 0 && !groupPresent.count(f.group))
            groupPresent[f.group] = at >= 0;
        if (at < 0 || (f.group > 0 && !groupPresent[f.group]))
            continue;
        sourceIndex.push_back(at);
        kinds.push_back(f.kind);
        // A cut patient number could join two patients' records: such a row fails instead.
        const FieldDef* def = target ? target->field(QLatin1String(f.name)) : nullptr;
        const bool keepWhole = QLatin1String(f.name) == QLatin1String("CustNo");
        widths.push_back(def && !keepWhole ? def->width : 0);
        names << QLatin1Char('"') + QLatin1String(f.name) + QLatin1Char('"');
        marks << QStringLiteral("?");
    }
    QSqlQuery insert(to);
    const QString sql = QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
                            .arg(QLatin1String(table.name), names.join(QStringLiteral(", ")),
                                 marks.join(QStringLiteral(", ")));
    if (names.isEmpty() || !insert.prepare(sql)) {
        *error = QString::fromLatin1(table.name) + QStringLiteral(": ") + insert.lastError().text();
        return false;
    }
    qint64 copied = 0;
    int shown = -1;
    emitProgress(view, 0, rows + 1);
    while (read.next()) {
        for (size_t i = 0; i < sourceIndex.size(); ++i)
            insert.bindValue(int(i), converted(read.value(sourceIndex[i]), kinds[i], widths[i]));
        if (!insert.exec()) {
            *error = QString::fromLatin1(table.name) + QStringLiteral(" row ") +
                     QString::number(copied + 1) + QStringLiteral(": ") + insert.lastError().text();
            return false;
        }
        ++copied;
        const int percent = int(copied * 100 / (rows + 1));
        if (percent != shown) {
            shown = percent;
            emitProgress(view, copied, rows + 1);
        }
    }
    if (read.lastError().isValid()) {
        *error = QString::fromLatin1(table.name) + QStringLiteral(": ") + read.lastError().text();
        return false;
    }
    return true;
}

} // namespace

bool DatabaseConnections::open(const QString& folder, QString* error) {
    close();
    if (main.open(file(folder, "viro6.mdb"), error) &&
        reference.open(file(folder, "viroE.mdb"), error) &&
        standard.open(file(folder, "viroZE.mdb"), error))
        return true;
    close();
    return false;
}

void DatabaseConnections::close() {
    main.close();
    reference.close();
    standard.close();
}

bool copyInstallationFiles(const QString& shareFolder, const QString& dataFolder, QString* error) {
    const QDir share(shareFolder);
    if (!share.exists()) {
        if (error)
            *error = QStringLiteral("installation folder not found: ") + shareFolder;
        return false;
    }
    QDir data(dataFolder);
    if (!data.exists() && !QDir().mkpath(dataFolder)) {
        if (error)
            *error = QStringLiteral("cannot create ") + dataFolder;
        return false;
    }
    const QStringList ownFiles{dataFileName(QStringLiteral("ZeSpa_60.mdb")),
                               dataFileName(QStringLiteral("viroE.mdb")),
                               dataFileName(QStringLiteral("viroZE.mdb"))};
    QStringList failed;
    QDirIterator it(shareFolder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString relative = share.relativeFilePath(from);
        const QString to = data.filePath(relative);
        const bool replaceAccess = ownFiles.contains(relative) && isAccessFile(to);
        if (QFileInfo::exists(to) && !replaceAccess)
            continue;
        QDir().mkpath(QFileInfo(to).absolutePath());
        if (!copyFile(from, to))
            failed << relative;
    }
    if (!failed.isEmpty()) {
        if (error)
            *error = QStringLiteral("cannot copy ") + failed.join(QStringLiteral(", "));
        return false;
    }
    return true;
}

bool moveDatabaseFile(const QString& from, const QString& to) {
    if (!QFile::exists(from) || QFile::exists(to))
        return false;
    const bool settled = settle(from);
    // Logs beside a file that does not exist belong to no database; left there, they would be
    // read as the moved file's own.
    for (const char* side : {"-wal", "-shm"})
        QFile::remove(to + QLatin1String(side));
    if (!QFile::rename(from, to))
        return false;
    for (const char* side : {"-wal", "-shm"}) {
        const QString log = from + QLatin1String(side);
        if (!QFile::exists(log))
            continue;
        // A log that may hold committed rows goes with the file; a folded one is dropped.
        if (settled)
            QFile::remove(log);
        else
            QFile::rename(log, to + QLatin1String(side));
    }
    return true;
}

QString backupFileName(const QDate& day) {
    return dataFileName(QStringLiteral("viro_") + day.toString(QStringLiteral("yyyyMMdd")) +
                        QStringLiteral("_BAK.mdb"));
}

bool recomputeLatestMeasurements(QSqlDatabase db, const DatabaseCheckView& view, QString* error) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT min(rowid), max(rowid) FROM ZeCust")) || !q.next()) {
        *error = q.lastError().text();
        return false;
    }
    const qint64 low = q.value(0).toLongLong();
    const qint64 high = q.value(1).toLongLong();
    q.finish();
    if (!q.prepare(QStringLiteral(
            "UPDATE ZeCust SET PREMEA = coalesce((SELECT max(ZeDate) FROM ZeData "
            "WHERE ZeData.CustNo = ZeCust.CustNo), 0) WHERE rowid BETWEEN ? AND ?"))) {
        *error = q.lastError().text();
        return false;
    }
    constexpr qint64 step = 2000;
    for (qint64 from = low; from <= high && high > 0; from += step) {
        q.bindValue(0, from);
        q.bindValue(1, from + step - 1);
        if (!q.exec()) {
            *error = q.lastError().text();
            return false;
        }
        emitProgress(view, from - low + step, high - low + 1);
    }
    return true;
}

bool transferOlderDatabase(const QString& olderPath, Connection& mainDb,
                           const DatabaseCheckView& view, QString* error) {
    settle(olderPath);
    Connection older(ConnectionRole::OlderDatabase);
    if (!older.open(olderPath, error))
        return false;
    QSqlDatabase target = mainDb.database();
    Transaction transaction(target);
    if (!transaction.isActive()) {
        *error = transaction.error();
        return false;
    }
    const std::vector<CopyTable> tables = copyTables();
    for (size_t i = 0; i < tables.size(); ++i) {
        const int lamp = 3 + int(i);
        emitLamp(view, lamp, LampState::On);
        if (!copyTable(older.database(), target, tables[i], view, error))
            return false; // the transaction rolls back: the main database is as before
        emitLamp(view, lamp, LampState::Done);
    }
    emitLamp(view, 7, LampState::On);
    if (!recomputeLatestMeasurements(target, view, error))
        return false;
    if (!transaction.commit(error))
        return false;
    emitLamp(view, 7, LampState::Done);
    emitProgress(view, 1, 1);
    return true;
}

DatabaseCheckResult runDatabaseCheck(const QString& folder, DatabaseConnections& connections,
                                     const DatabaseCheckView& view, const QDate& today) {
    DatabaseCheckResult result;
    auto message = [&](const QString& text) {
        if (view.message)
            view.message(6, text);
    };
    // Every step lamp yellow (those the self-test lit stay lit), the first one for this step.
    for (int lamp = 1; lamp <= 7; ++lamp)
        emitLamp(view, lamp, LampState::On);

    const QString templ = file(folder, "ZeSpa_60.mdb");
    const QString current = file(folder, "viro6.mdb");
    const QString fresh = file(folder, "viro_60.mdb");
    const QString generation4 = file(folder, "viro4.mdb");
    const QString older = file(folder, "viro.mdb");
    // An Access main database found while "viro.mdb" still waits is parked here and taken over
    // after it, each from its own file.
    const QString parked = file(folder, "viro6_access.mdb");

    if (!QFileInfo::exists(templ)) {
        message(QString::fromLatin1(kNotInstalledMessage));
        result.startupFailure = true;
    }
    // File steps; a failed rename or copy is passed over and the steps go on.
    if (QFileInfo::exists(fresh)) {
        if (QFileInfo::exists(current))
            moveDatabaseFile(current, older);
        else if (QFileInfo::exists(generation4))
            moveDatabaseFile(generation4, older);
        moveDatabaseFile(fresh, current);
    } else if (QFileInfo::exists(generation4)) {
        moveDatabaseFile(generation4, older);
    }
    // A main database left as an Access file by an older installation is taken over too.
    if (isAccessFile(current))
        moveDatabaseFile(current, QFileInfo::exists(older) ? parked : older);
    if (!QFileInfo::exists(current) && QFileInfo::exists(templ)) {
        settle(templ);
        copyFile(templ, file(folder, "Viro6.mdb"));
    }
    emitLamp(view, 1, LampState::Done);
    emitLamp(view, 2, LampState::On);

    QString error;
    if (!connections.open(folder, &error)) {
        message(QString::fromLatin1(kStartupErrorMessage));
        result.startupFailure = true;
    }
    emitLamp(view, 2, LampState::Done);

    if (result.startupFailure)
        return result;

    // Copies one older file into the main database, then renames it to its backup name.
    auto takeOver = [&](const QString& source, const QString& backup) {
        if (view.label)
            view.label(QStringLiteral("DBT Prog:"));
        if (view.status)
            view.status(QString::fromLatin1(kTransferStatus));
        if (!transferOlderDatabase(source, connections.main, view, &error)) {
            // Nothing was written; the file stays for the next start.
            result.transferError = error;
            message(QStringLiteral("The older database could not be taken over: ") + error);
            return;
        }
        result.copied = true;
        for (const char* side : {"", "-wal", "-shm"})
            QFile::remove(backup + QLatin1String(side));
        if (!moveDatabaseFile(source, backup)) {
            // Left in place, the rows would be copied a second time at the next start.
            if (!(copyFile(source, backup) && QFile::remove(source)))
                message(
                    QStringLiteral("The older database was taken over but could not be renamed: ") +
                    source);
        }
    };
    if (QFileInfo::exists(older))
        takeOver(older, folder + backupFileName(today));
    if (QFileInfo::exists(parked))
        takeOver(parked, folder + dataFileName(QStringLiteral("viro6_access_") +
                                               today.toString(QStringLiteral("yyyyMMdd")) +
                                               QStringLiteral("_BAK.mdb")));
    return result;
}

} // namespace viro
