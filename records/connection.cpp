#include "records/connection.h"

#include "core/data_folder.h"
#include "records/access_file.h"
#include "records/log.h"
#include "records/schema.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUuid>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#endif

namespace viro {

bool isNetworkFileSystemType(qint64 fsType) {
    // statfs reports f_type as a signed word on some targets: compare the low 32 bits.
    switch (static_cast<quint32>(fsType)) {
    case 0x6969u:     // NFS
    case 0x517Bu:     // SMB
    case 0xFF534D42u: // CIFS
    case 0xFE534D42u: // SMB2
        return true;
    default:
        return false;
    }
}

bool isOnNetworkFileSystem(const QString& path) {
#ifdef Q_OS_LINUX
    struct statfs fs {};
    if (statfs(QFile::encodeName(path).constData(), &fs) != 0)
        return false;
    return isNetworkFileSystemType(static_cast<qint64>(fs.f_type));
#else
    Q_UNUSED(path);
    return false;
#endif
}

namespace {
std::function<bool(const QString&)>& networkFolderCheck() {
    static std::function<bool(const QString&)> check;
    return check;
}
} // namespace

void setNetworkFolderCheckForTesting(std::function<bool(const QString&)> check) {
    networkFolderCheck() = std::move(check);
}

QString networkFolderNotice() {
    return QStringLiteral("The data folder is on a network drive. Several computers should share "
                          "a server database, not a folder.");
}

bool noRoomToWrite(const QString& databasePath) {
#ifdef Q_OS_LINUX
    // A page or two of room left counts as none: SQLite writes whole pages and log frames.
    constexpr qint64 kMargin = 64 * 1024;
    const QFileInfo info(databasePath);
    struct statvfs vfs {};
    if (statvfs(QFile::encodeName(info.absolutePath()).constData(), &vfs) == 0 &&
        static_cast<qint64>(vfs.f_bavail) * static_cast<qint64>(vfs.f_frsize) < kMargin)
        return true;
    struct rlimit limit {};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return false;
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-journal")}) {
        const QFileInfo file(databasePath + suffix);
        if (file.exists() && file.size() + kMargin >= static_cast<qint64>(limit.rlim_cur))
            return true;
    }
    return false;
#else
    Q_UNUSED(databasePath);
    return false;
#endif
}

ConnectionInfo connectionInfo(ConnectionRole role) {
    switch (role) {
    case ConnectionRole::Main:
        return {dataFileName(QStringLiteral("viro6.mdb")), false, false};
    case ConnectionRole::ReferenceTexts:
        return {dataFileName(QStringLiteral("viroE.mdb")), true, false};
    case ConnectionRole::StandardProtocols:
        return {dataFileName(QStringLiteral("viroZE.mdb")), true, false};
    case ConnectionRole::OlderDatabase:
        return {dataFileName(QStringLiteral("viro.mdb")), true, true};
    case ConnectionRole::ExchangeFile:
        return {dataFileName(QStringLiteral("ZeTran.mdb")), false, true};
    }
    return {};
}

Connection::Connection(ConnectionRole role)
    : role_(role),
      name_(QStringLiteral("viro-") + QUuid::createUuid().toString(QUuid::WithoutBraces)) {}

Connection::~Connection() {
    close();
}

bool Connection::readOnly() const {
    return converted_ || connectionInfo(role_).readOnly;
}

bool Connection::isOpen() const {
    return QSqlDatabase::contains(name_) && QSqlDatabase::database(name_, false).isOpen();
}

QSqlDatabase Connection::database() const {
    return QSqlDatabase::database(name_, false);
}

void Connection::close() {
    // Only a connection that registered itself asks the SQL module: a closed one may be
    // destroyed after the module's own state is gone (a static at program exit).
    if (registered_ && QSqlDatabase::contains(name_)) {
        {
            QSqlDatabase db = QSqlDatabase::database(name_, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name_);
    }
    registered_ = false;
    converted_.reset();
    path_.clear();
}

bool Connection::open(const QString& path, QString* error) {
    close();
    auto failWith = [&](const QString& message) {
        close();
        if (error)
            *error = message;
        return false;
    };
    const QFileInfo info(path);
    if (!info.isFile())
        return failWith(QStringLiteral("file not found: ") + path);
    const ConnectionInfo ci = connectionInfo(role_);
    QString file = path;
    if (isAccessFile(path)) {
        if (!ci.acceptsAccess)
            return failWith(path + QStringLiteral(" is an Access database; it must be taken over"));
        auto dir = std::make_unique<QTemporaryDir>();
        if (!dir->isValid())
            return failWith(QStringLiteral("no temporary folder for ") + path);
        const QString copy = dir->filePath(QStringLiteral("converted.sqlite"));
        QString message;
        if (!convertAccessFile(path, copy, &message))
            return failWith(message);
        converted_ = std::move(dir);
        file = copy;
    }
    const bool ro = converted_ || ci.readOnly;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
    registered_ = true;
    db.setDatabaseName(file);
    // The wait applies from the first statement on, the reads of the set-up included.
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kDatabaseBusyWaitMs);
    if (ro)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    db.setConnectOptions(options);
    if (!db.open())
        return failWith(db.lastError().text());
    QSqlQuery q(db);
    // A file that is no SQLite database fails here rather than at the first read.
    if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
        return failWith(path + QStringLiteral(": ") + q.lastError().text());
    if (!ro) {
        // The write-ahead log keeps its index in shared memory, which the computers that share
        // a network folder do not share: there it would corrupt the file. The rollback journal
        // works there, if slowly.
        const auto& check = networkFolderCheck();
        onNetwork_ = check ? check(info.absolutePath()) : isOnNetworkFileSystem(info.absolutePath());
        if (onNetwork_) {
            static bool told = false;
            if (!told)
                qCWarning(lcRecords).noquote() << networkFolderNotice() << "(" << path << ")";
            told = true;
        }
        const QString mode = onNetwork_ ? QStringLiteral("delete") : QStringLiteral("wal");
        if (!q.exec(QStringLiteral("PRAGMA journal_mode=") + mode))
            return failWith(path + QStringLiteral(": ") + q.lastError().text());
        // The mode stays as it was while another program has the file open.
        if (q.next() && q.value(0).toString().compare(mode, Qt::CaseInsensitive) != 0) {
            if (onNetwork_)
                return failWith(path + QStringLiteral(": the write-ahead log cannot be switched "
                                                      "off while another program uses the file"));
            qCWarning(lcRecords) << path << "stays in journal mode" << q.value(0).toString();
        }
        if (!q.exec(QStringLiteral("PRAGMA synchronous=FULL")))
            return failWith(path + QStringLiteral(": ") + q.lastError().text());
    }
    q.finish();
    path_ = path;
    return true;
}

namespace {

QString quoted(const QString& name) {
    return QLatin1Char('"') + name + QLatin1Char('"');
}

// The CREATE TABLE text the file keeps for `table`; empty when it has no such table.
QString storedLayout(const QSqlDatabase& db, const QString& table) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?"));
    q.addBindValue(table);
    if (q.exec() && q.next())
        return q.value(0).toString();
    return {};
}

// Whether the stored table still holds a column to what a window takes where this build
// stores more.
bool holdsToInputWidth(const QString& layout, const TableDef& table) {
    for (const FieldDef& f : table.fields) {
        const int limit = f.inputLimit();
        if (limit > 0 && limit != f.width && layout.contains(widthCheck(f.name, limit)))
            return true;
    }
    return false;
}

// Rebuilds one table with this build's layout: a new table, the rows copied with their keys,
// the old one dropped and the new one renamed, then the indexes and the AutoNumber counter.
bool rebuildTable(QSqlDatabase& db, const TableDef& table, QString* error) {
    QSqlQuery q(db);
    auto run = [&](const QString& sql) {
        if (q.exec(sql))
            return true;
        *error = table.name + QStringLiteral(": ") + q.lastError().text();
        return false;
    };
    const QSqlRecord stored = db.record(table.name);
    QStringList columns;
    for (int i = 0; i < stored.count(); ++i) {
        // A column this build does not know would be lost: such a file is left as it is.
        const FieldDef* f = table.field(stored.fieldName(i));
        if (!f) {
            *error = table.name + QStringLiteral(": unknown column ") + stored.fieldName(i);
            return false;
        }
        columns << quoted(f->name);
    }
    bool counted = false;
    qint64 counter = 0;
    for (const FieldDef& f : table.fields)
        counted = counted || f.type == FieldType::AutoNumber;
    if (counted) {
        q.prepare(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?"));
        q.addBindValue(table.name);
        if (!q.exec()) {
            *error = table.name + QStringLiteral(": ") + q.lastError().text();
            return false;
        }
        if (q.next())
            counter = q.value(0).toLongLong();
    }
    TableDef rebuilt = table;
    rebuilt.name = table.name + QStringLiteral("_upgrade");
    const QString list = columns.join(QStringLiteral(", "));
    QStringList statements{createTableStatement(rebuilt),
                           QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3")
                               .arg(quoted(rebuilt.name), list, quoted(table.name)),
                           QStringLiteral("DROP TABLE ") + quoted(table.name),
                           QStringLiteral("ALTER TABLE %1 RENAME TO %2")
                               .arg(quoted(rebuilt.name), quoted(table.name))};
    statements += createIndexStatements(table);
    for (const QString& sql : std::as_const(statements))
        if (!run(sql))
            return false;
    if (counted && counter > 0) {
        // Keys of deleted rows above the highest kept one are never given out again.
        const QString sql =
            QStringLiteral("UPDATE sqlite_sequence SET seq = ? WHERE name = ? AND seq < ?");
        bool ok = q.prepare(sql);
        q.addBindValue(counter);
        q.addBindValue(table.name);
        q.addBindValue(counter);
        ok = ok && q.exec();
        if (ok && q.numRowsAffected() == 0) {
            // An empty table leaves no counter behind; one that is already higher is kept.
            ok = q.prepare(QStringLiteral("INSERT INTO sqlite_sequence (name, seq) SELECT ?, ? "
                                          "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence "
                                          "WHERE name = ?)"));
            q.addBindValue(table.name);
            q.addBindValue(counter);
            q.addBindValue(table.name);
            ok = ok && q.exec();
        }
        if (!ok) {
            *error = table.name + QStringLiteral(": ") + q.lastError().text();
            return false;
        }
    }
    q.finish();
    return true;
}

// The indexes of `table` that the file lacks or keeps in an earlier form (the patient list's
// indexes gained the patient number as their last column), each as its name and statement.
std::vector<std::pair<QString, QString>> outdatedIndexes(const QSqlDatabase& db,
                                                         const TableDef& table) {
    std::vector<std::pair<QString, QString>> out;
    const QStringList statements = createIndexStatements(table);
    QSqlQuery q(db);
    for (size_t i = 0; i < table.indexes.size(); ++i) {
        q.prepare(
            QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'index' AND name = ?"));
        q.addBindValue(table.indexes[i].name);
        const QString stored = q.exec() && q.next() ? q.value(0).toString() : QString();
        if (stored != statements[int(i)])
            out.emplace_back(table.indexes[i].name, statements[int(i)]);
    }
    return out;
}

bool replaceIndex(QSqlDatabase& db, const std::pair<QString, QString>& index, QString* error) {
    QSqlQuery q(db);
    for (const QString& sql :
         {QStringLiteral("DROP INDEX IF EXISTS ") + quoted(index.first), index.second}) {
        if (!q.exec(sql)) {
            *error = index.first + QStringLiteral(": ") + q.lastError().text();
            return false;
        }
    }
    return true;
}

// Adds a table an earlier build did not make, with its indexes.
bool addTable(QSqlDatabase& db, const TableDef& table, QString* error) {
    QSqlQuery q(db);
    for (const QString& sql :
         QStringList{createTableStatement(table)} + createIndexStatements(table)) {
        if (!q.exec(sql)) {
            *error = table.name + QStringLiteral(": ") + q.lastError().text();
            return false;
        }
    }
    q.finish();
    return true;
}

} // namespace

bool upgradeMainDatabase(Connection& main, QString* error) {
    QSqlDatabase db = main.database();
    std::vector<const TableDef*> due, missing;
    std::vector<std::pair<QString, QString>> indexes;
    for (const TableDef* table : tablesOf(DatabaseKind::Main)) {
        const QString layout = storedLayout(db, table->name);
        if (layout.isEmpty()) {
            missing.push_back(table);
        } else if (holdsToInputWidth(layout, *table)) {
            due.push_back(table);
        } else {
            const auto outdated = outdatedIndexes(db, *table);
            indexes.insert(indexes.end(), outdated.begin(), outdated.end());
        }
    }
    if (due.empty() && missing.empty() && indexes.empty())
        return true;
    QString message;
    bool ok = false;
    {
        // On any failure the transaction rolls back: the file is as before.
        Transaction transaction(db);
        ok = transaction.isActive();
        if (!ok)
            message = transaction.error();
        for (size_t i = 0; ok && i < due.size(); ++i)
            ok = rebuildTable(db, *due[i], &message);
        for (size_t i = 0; ok && i < missing.size(); ++i)
            ok = addTable(db, *missing[i], &message);
        for (size_t i = 0; ok && i < indexes.size(); ++i)
            ok = replaceIndex(db, indexes[i], &message);
        ok = ok && transaction.commit(&message);
    }
    if (!ok && error)
        *error = message;
    return ok;
}

Transaction::Transaction(QSqlDatabase db, Intent intent) : db_(std::move(db)) {
    if (intent == Intent::Write && db_.driverName() == QLatin1String("QSQLITE")) {
        // A plain BEGIN takes the write lock only at the first write; in WAL mode a transaction
        // that has read by then and finds another program's newer commit fails at once
        // instead of waiting. Servers lock rows and need no such start.
        QSqlQuery begin(db_);
        active_ = begin.exec(QStringLiteral("BEGIN IMMEDIATE"));
        if (!active_)
            sqlError_ = begin.lastError();
    } else {
        active_ = db_.transaction();
        if (!active_)
            sqlError_ = db_.lastError();
    }
    if (!active_)
        error_ = sqlError_.text();
}

Transaction::~Transaction() {
    rollback();
}

bool Transaction::commit(QString* error) {
    if (!active_) {
        if (error)
            *error = error_.isEmpty() ? QStringLiteral("no transaction") : error_;
        return false;
    }
    bool committed = false;
    if (db_.driverName() == QLatin1String("QSQLITE")) {
        // The driver's own commit drops SQLite's error code, which tells a full disk from a
        // locked file.
        QSqlQuery commit(db_);
        committed = commit.exec(QStringLiteral("COMMIT"));
        if (!committed)
            sqlError_ = commit.lastError();
    } else {
        committed = db_.commit();
        if (!committed)
            sqlError_ = db_.lastError();
    }
    if (!committed) {
        error_ = sqlError_.text();
        if (error)
            *error = error_;
        rollback();
        return false;
    }
    active_ = false;
    return true;
}

void Transaction::rollback() {
    if (active_) {
        db_.rollback();
        active_ = false;
    }
}

} // namespace viro
