#pragma once

#include <QSqlDatabase>
#include <QString>

#include <memory>

class QTemporaryDir;

namespace viro {

// The five database connections of the program and how each shares its file.
enum class ConnectionRole {
    Main,              // "viro6.mdb": read and written, others may read and write too
    ReferenceTexts,    // "viroE.mdb": read only
    StandardProtocols, // "viroZE.mdb": read only
    OlderDatabase,     // "viro.mdb" being taken over: read only
    ExchangeFile,      // "ZeTran.mdb": read and written
};

struct ConnectionInfo {
    QString fileName; // as stored in the data folder (lower case on case-sensitive systems)
    bool readOnly = false;
    bool acceptsAccess = false; // an Access file is read through the converter
};

ConnectionInfo connectionInfo(ConnectionRole role);

// One open database file. Writable files run in WAL mode with full sync, so a post is durable
// when it returns. An Access file met where one is accepted is converted into a temporary
// SQLite copy first and opened read-only.
class Connection {
public:
    explicit Connection(ConnectionRole role);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Fails with a message when the file is missing or is no database this program reads.
    bool open(const QString& path, QString* error);
    void close();
    bool isOpen() const;

    ConnectionRole role() const { return role_; }
    const QString& path() const { return path_; }
    bool readOnly() const;
    // True when the file was an Access database converted on open.
    bool convertedFromAccess() const { return converted_ != nullptr; }
    QSqlDatabase database() const;

private:
    ConnectionRole role_;
    QString name_;
    QString path_;
    std::unique_ptr<QTemporaryDir> converted_;
    bool registered_ = false; // added to the SQL module's connection list
};

// Brings an open main database made by an earlier build up to this build's layout: such files
// still hold patient numbers to the 15 characters a window takes, which would refuse the longer
// numbers of older files, and lack the tables added since (ZeRaw). Rows, keys and indexes are
// kept, in one transaction. True when nothing was due or the upgrade succeeded; on failure the
// file is as before.
bool upgradeMainDatabase(Connection& main, QString* error);

// A transaction that rolls back unless committed: writes that belong together either all
// happen or none do.
class Transaction {
public:
    explicit Transaction(QSqlDatabase db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool isActive() const { return active_; }
    bool commit(QString* error = nullptr);
    void rollback();
    // The message when the transaction could not start.
    const QString& error() const { return error_; }

private:
    QSqlDatabase db_;
    bool active_ = false;
    QString error_;
};

} // namespace viro
