#include "records/database_check.h"

#include "core/data_folder.h"
#include "core/user_prompts.h"
#include "records/access_file.h"
#include "records/log.h"
#include "records/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace viro {

namespace {

QString file(const QString& folder, const char* name) {
    return folder + dataFileName(QString::fromLatin1(name));
}

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// What SQLite keeps beside a database file.
const char* const kSideFiles[] = {"-wal", "-shm", "-journal"};

bool removeIfPresent(const QString& path, QString* error) {
    QFile f(path);
    if (!f.exists() || f.remove())
        return true;
    if (error)
        *error = QStringLiteral("Could not remove %1 (%2).").arg(native(path), f.errorString());
    return false;
}

// Renames in one step. QFile::rename copies when renaming fails, and a copy cut short would
// leave part of a database under the new name.
bool renameFile(const QString& from, const QString& to, QString* error) {
    std::error_code code;
    std::filesystem::rename(std::filesystem::path(from.toStdU16String()),
                            std::filesystem::path(to.toStdU16String()), code);
    if (!code)
        return true;
    if (error)
        *error = QStringLiteral("Could not rename %1 to %2 (%3).")
                     .arg(native(from), native(to), QString::fromLocal8Bit(code.message()));
    return false;
}

// Logs by a name that holds no database belong to no database; left there, they would be read
// as the next file's own.
bool removeStaleSideFiles(const QString& path, QString* error) {
    for (const char* side : kSideFiles)
        if (!removeIfPresent(path + QLatin1String(side), error))
            return false;
    return true;
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

// `longRows` counts the rows holding a text longer than a window takes for a new value.
bool copyTable(QSqlDatabase from, QSqlDatabase to, const CopyTable& table,
               const DatabaseCheckView& view, QString* error, int* longRows) {
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
    std::vector<int> inputLimits; // >0: counted when longer
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
        const FieldDef* def = target ? target->field(QLatin1String(f.name)) : nullptr;
        const int width = def ? def->width : 0;
        const int limit = def ? def->inputLimit() : 0;
        widths.push_back(width);
        // Columns that store more than a window takes (patient numbers) keep such texts whole.
        inputLimits.push_back(limit > 0 && (width == 0 || width > limit) ? limit : 0);
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
        bool isLong = false;
        for (size_t i = 0; i < sourceIndex.size(); ++i) {
            const QVariant value = converted(read.value(sourceIndex[i]), kinds[i], widths[i]);
            if (inputLimits[i] > 0 && value.toString().size() > inputLimits[i])
                isLong = true;
            insert.bindValue(int(i), value);
        }
        if (!insert.exec()) {
            *error = QString::fromLatin1(table.name) + QStringLiteral(" row ") +
                     QString::number(copied + 1) + QStringLiteral(": ") + insert.lastError().text();
            return false;
        }
        ++copied;
        if (isLong && longRows)
            ++*longRows;
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

bool copyFileAtomically(const QString& from, const QString& to, QString* error) {
    auto failWith = [&](const QString& reason) {
        if (error)
            *error = QStringLiteral("Could not copy %1 to %2 (%3).")
                         .arg(native(from), native(to), reason);
        return false;
    };
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return failWith(in.errorString());
    QString message;
    if (!removeStaleSideFiles(to, &message)) {
        if (error)
            *error = message;
        return false;
    }
    QSaveFile out(to);
    // Unbuffered, so that a write that fails (a full disk) shows at once rather than in a final
    // flush. Until commit() the bytes go to a temporary file beside the target.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failWith(out.errorString());
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n < 0) {
            out.cancelWriting();
            return failWith(in.errorString());
        }
        if (n == 0)
            break;
        if (out.write(buffer.constData(), n) != n) {
            // A short write without an error is a disk that filled up.
            const QString reason = out.error() == QFileDevice::NoError
                                       ? QStringLiteral("the disk is full or the file too large")
                                       : out.errorString();
            out.cancelWriting();
            return failWith(reason);
        }
    }
    if (!out.commit())
        return failWith(out.errorString());
    if (!QFile::setPermissions(to, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return failWith(QStringLiteral("the copy could not be made writable"));
    return true;
}

bool copyInstallationFiles(const QString& shareFolder, const QString& dataFolder, QString* error) {
    auto failWith = [&](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    const QDir share(shareFolder);
    if (!QFileInfo(shareFolder).isDir())
        return failWith(
            QStringLiteral("The installation folder %1 was not found.").arg(native(shareFolder)));
    QString message;
    if (!ensureDataFolder(dataFolder, &message))
        return failWith(message);
    const QDir data(dataFolder);
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
        const QString folder = QFileInfo(to).absolutePath();
        if (!QDir().mkpath(folder)) {
            failed << QStringLiteral("Could not create the folder %1 for %2.")
                          .arg(native(folder), relative);
            continue;
        }
        if (!copyFileAtomically(from, to, &message))
            failed << message;
    }
    if (!failed.isEmpty())
        return failWith(QStringLiteral("Installation files could not be copied into the data "
                                       "folder %1. ")
                            .arg(native(dataFolder)) +
                        failed.join(QLatin1Char(' ')));
    return true;
}

bool moveDatabaseFile(const QString& from, const QString& to, QString* error) {
    auto failWith = [&](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    if (!QFile::exists(from))
        return failWith(
            QStringLiteral("Could not rename %1: the file does not exist.").arg(native(from)));
    if (QFile::exists(to))
        return failWith(QStringLiteral("Could not rename %1 to %2: that name is taken.")
                            .arg(native(from), native(to)));
    const bool settled = settle(from);
    QString message;
    if (!removeStaleSideFiles(to, &message))
        return failWith(message);
    // A folded log holds nothing more; removed first, it never stays behind the moved file.
    if (settled) {
        for (const char* side : {"-wal", "-shm"})
            if (!removeIfPresent(from + QLatin1String(side), &message))
                return failWith(message);
    }
    if (!renameFile(from, to, &message))
        return failWith(message);
    if (settled)
        return true;
    // A log that may hold committed rows goes with the file; the file would lack those rows
    // without it, so when it cannot follow, everything goes back.
    QStringList moved;
    for (const char* side : {"-wal", "-shm"}) {
        const QString suffix = QLatin1String(side);
        if (!QFile::exists(from + suffix))
            continue;
        if (renameFile(from + suffix, to + suffix, &message)) {
            moved.prepend(suffix);
            continue;
        }
        QString ignored;
        bool restored = true;
        for (const QString& back : std::as_const(moved))
            restored = renameFile(to + back, from + back, &ignored) && restored;
        restored = renameFile(to, from, &ignored) && restored;
        if (!restored)
            message += QStringLiteral(" %1 and its logs could not all be renamed back to %2.")
                           .arg(native(to), native(from));
        return failWith(message);
    }
    return true;
}

bool removeDatabaseFile(const QString& path, QString* error) {
    return removeIfPresent(path, error) && removeStaleSideFiles(path, error);
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

TransferSummary& TransferSummary::operator+=(const TransferSummary& other) {
    longPatients += other.longPatients;
    longMeasurements += other.longMeasurements;
    return *this;
}

QString longPatientNumbersMessage(const TransferSummary& summary) {
    const int limit = zeCustTable().field(QStringLiteral("CustNo"))->inputLimit();
    return QStringLiteral("The older database was taken over. Rows with a patient number longer "
                          "than %1 characters: %2 (%3 patients, %4 measurements). These numbers "
                          "were kept whole; new patient numbers take at most %1 characters.")
        .arg(limit)
        .arg(summary.longRows())
        .arg(summary.longPatients)
        .arg(summary.longMeasurements);
}

bool transferOlderDatabase(const QString& olderPath, Connection& mainDb,
                           const DatabaseCheckView& view, QString* error,
                           TransferSummary* summary,
                           const std::function<bool(QString*)>& beforeCommit) {
    if (!settle(olderPath))
        qCWarning(lcRecords).noquote()
            << "The write-ahead log of" << olderPath << "could not be folded; it is read as it is";
    Connection older(ConnectionRole::OlderDatabase);
    if (!older.open(olderPath, error))
        return false;
    QSqlDatabase target = mainDb.database();
    Transaction transaction(target);
    if (!transaction.isActive()) {
        *error = transaction.error();
        return false;
    }
    TransferSummary counted;
    const std::vector<CopyTable> tables = copyTables();
    for (size_t i = 0; i < tables.size(); ++i) {
        const int lamp = 3 + int(i);
        emitLamp(view, lamp, LampState::On);
        int* longRows = nullptr;
        if (QLatin1String(tables[i].name) == QLatin1String("ZeCust"))
            longRows = &counted.longPatients;
        else if (QLatin1String(tables[i].name) == QLatin1String("ZeData"))
            longRows = &counted.longMeasurements;
        if (!copyTable(older.database(), target, tables[i], view, error, longRows))
            return false; // the transaction rolls back: the main database is as before
        emitLamp(view, lamp, LampState::Done);
    }
    emitLamp(view, 7, LampState::On);
    if (!recomputeLatestMeasurements(target, view, error))
        return false;
    older.close();
    if (beforeCommit && !beforeCommit(error))
        return false;
    if (!transaction.commit(error))
        return false;
    emitLamp(view, 7, LampState::Done);
    emitProgress(view, 1, 1);
    if (summary)
        *summary = counted;
    return true;
}

DatabaseCheckResult runDatabaseCheck(const QString& folder, DatabaseConnections& connections,
                                     const DatabaseCheckView& view, const QDate& today) {
    DatabaseCheckResult result;
    auto message = [&](int type, const QString& text) {
        if (view.message)
            view.message(type, text);
    };
    auto failure = [&](const QString& text) {
        qCWarning(lcRecords).noquote() << text;
        message(kImportantOk, text);
    };
    // A file step that failed is shown and the steps go on.
    auto fileFailure = [&](const QString& text) {
        result.fileErrors << text;
        failure(text);
    };
    auto move = [&](const QString& from, const QString& to) {
        QString e;
        if (!moveDatabaseFile(from, to, &e))
            fileFailure(e);
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
    auto exists = [](const QString& path) { return QFileInfo::exists(path); };

    if (!exists(templ)) {
        qCWarning(lcRecords).noquote() << "The template" << templ << "is missing";
        message(kImportantOk, QString::fromLatin1(kNotInstalledMessage));
        result.startupFailure = true;
    }
    // File steps. A database that would become "viro.mdb" while an older one still waits there
    // stays for the next start, and a newly installed one waits while the current one stays.
    if (exists(fresh)) {
        const QString aside = exists(current)       ? current
                              : exists(generation4) ? generation4
                                                    : QString();
        if (!aside.isEmpty() && !exists(older))
            move(aside, older);
        if (!exists(current))
            move(fresh, current);
    } else if (exists(generation4) && !exists(older)) {
        move(generation4, older);
    }
    // A main database left as an Access file by an older installation is taken over too.
    if (isAccessFile(current))
        move(current, exists(older) ? parked : older);
    if (!exists(current) && exists(templ)) {
        if (!settle(templ))
            qCWarning(lcRecords).noquote()
                << "The write-ahead log of" << templ << "could not be folded before the copy";
        QString e;
        if (!copyFileAtomically(templ, file(folder, "Viro6.mdb"), &e))
            fileFailure(e);
    }
    emitLamp(view, 1, LampState::Done);
    emitLamp(view, 2, LampState::On);

    QString error;
    if (!connections.open(folder, &error)) {
        qCWarning(lcRecords).noquote() << "The databases could not be opened:" << error;
        message(kImportantOk, QString::fromLatin1(kStartupErrorMessage));
        result.startupFailure = true;
    }
    emitLamp(view, 2, LampState::Done);

    if (result.startupFailure)
        return result;

    if (!upgradeMainDatabase(connections.main, &error))
        failure(QStringLiteral("The patient database could not be brought up to date (%1). It "
                               "is used as it is: patient numbers longer than %2 characters "
                               "cannot be taken over, and measurement traces are not kept.")
                    .arg(error)
                    .arg(zeCustTable().field(QStringLiteral("CustNo"))->inputLimit()));

    // Copies one older file into the main database under its backup name.
    auto takeOver = [&](const QString& source, const QString& backup) {
        if (view.label)
            view.label(QStringLiteral("DBT Prog:"));
        if (view.status)
            view.status(QString::fromLatin1(kTransferStatus));
        // A backup left from earlier today makes way first.
        if (!removeDatabaseFile(backup, &error)) {
            result.transferError = error;
            fileFailure(
                QStringLiteral("The older database %1 was not taken over. ").arg(native(source)) +
                error);
            return;
        }
        // The file takes its backup name only once its rows are copied, right before they are
        // committed: a take-over that fails or is cut short leaves it under its own name to be
        // tried again, and committed rows are never copied a second time.
        bool renamed = false;
        const auto rename = [&](QString* e) { return renamed = moveDatabaseFile(source, backup, e); };
        TransferSummary summary;
        if (!transferOlderDatabase(source, connections.main, view, &error, &summary, rename)) {
            result.transferError = error;
            QString text = QStringLiteral("The older database %1 could not be taken over: ")
                               .arg(native(source)) +
                           error;
            QString back;
            if (renamed && !moveDatabaseFile(backup, source, &back))
                text += QStringLiteral(" It is kept as %1. ").arg(native(backup)) + back;
            failure(text);
            return;
        }
        result.copied = true;
        result.transfer += summary;
    };
    if (exists(older))
        takeOver(older, folder + backupFileName(today));
    if (exists(parked))
        takeOver(parked, folder + dataFileName(QStringLiteral("viro6_access_") +
                                               today.toString(QStringLiteral("yyyyMMdd")) +
                                               QStringLiteral("_BAK.mdb")));
    if (result.transfer.longRows() > 0) {
        const QString text = longPatientNumbersMessage(result.transfer);
        qCInfo(lcRecords).noquote() << text;
        message(kInfoOk, text);
    }
    return result;
}

} // namespace viro
