#include "records/connection.h"

#include "core/data_folder.h"
#include "records/access_file.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

namespace viro {

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
    if (ro)
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    if (!db.open())
        return failWith(db.lastError().text());
    QSqlQuery q(db);
    // A file that is no SQLite database fails here rather than at the first read.
    if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
        return failWith(path + QStringLiteral(": ") + q.lastError().text());
    if (!ro) {
        if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
            !q.exec(QStringLiteral("PRAGMA synchronous=FULL")))
            return failWith(path + QStringLiteral(": ") + q.lastError().text());
    }
    q.exec(QStringLiteral("PRAGMA busy_timeout=5000"));
    q.finish();
    path_ = path;
    return true;
}

Transaction::Transaction(QSqlDatabase db) : db_(std::move(db)) {
    active_ = db_.transaction();
    if (!active_)
        error_ = db_.lastError().text();
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
    if (!db_.commit()) {
        error_ = db_.lastError().text();
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
