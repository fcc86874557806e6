#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

#include <functional>
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

// How long a statement waits for another program's write to the same file before it gives up.
inline constexpr int kDatabaseBusyWaitMs = 5000;

// Whether a file system type (statfs f_type) is a network one (NFS, SMB/CIFS), on which SQLite's
// write-ahead log must not be used: its shared memory does not reach the other computers.
bool isNetworkFileSystemType(qint64 fsType);
// Whether `path` (a file or folder) lies on a network file system. Linux only; elsewhere false.
bool isOnNetworkFileSystem(const QString& path);
// For tests: replaces the file system check that Connection::open makes (an empty function
// restores the real one), since no test machine has a network folder at hand.
void setNetworkFolderCheckForTesting(std::function<bool(const QString&)> check);
// What the program says once when a database lies on a network file system.
QString networkFolderNotice();
// Whether a write that failed with an I/O error may have failed for want of room: the disk
// holding `databasePath` is (almost) full, or one of its files has reached the process's file
// size limit.
bool noRoomToWrite(const QString& databasePath);

// One open database file. Writable files run in WAL mode with full sync, so a post is durable
// when it returns; on a network file system they use the rollback journal instead. Every
// connection waits up to kDatabaseBusyWaitMs for another program's write. An Access file met
// where one is accepted is converted into a temporary SQLite copy first and opened read-only.
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
    // True when the file lies on a network file system and so was opened without the
    // write-ahead log (see networkFolderNotice()).
    bool onNetworkFolder() const { return onNetwork_; }
    QSqlDatabase database() const;

private:
    ConnectionRole role_;
    QString name_;
    QString path_;
    std::unique_ptr<QTemporaryDir> converted_;
    bool registered_ = false; // added to the SQL module's connection list
    bool onNetwork_ = false;
};

// Brings an open main database made by an earlier build up to this build's layout: such files
// still hold patient numbers to the 15 characters a window takes, which would refuse the longer
// numbers of older files, and lack the tables added since (ZeRaw); the patient list's indexes
// of an earlier form are made anew. Rows, keys and indexes are kept, in one transaction. True when
// nothing was due or the upgrade succeeded; on failure the file is as before.
bool upgradeMainDatabase(Connection& main, QString* error);

// A transaction that rolls back unless committed: writes that belong together either all
// happen or none do.
class Transaction {
public:
    enum class Intent {
        Any,
        // Takes the write lock when it starts (SQLite: BEGIN IMMEDIATE), so it waits for
        // another program's write at the start instead of failing at its first write after a read.
        Write,
    };
    explicit Transaction(QSqlDatabase db, Intent intent = Intent::Any);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool isActive() const { return active_; }
    bool commit(QString* error = nullptr);
    void rollback();
    // The message when the transaction could not start.
    const QString& error() const { return error_; }
    // The database's error when the transaction could not start or commit.
    const QSqlError& sqlError() const { return sqlError_; }

private:
    QSqlDatabase db_;
    bool active_ = false;
    QString error_;
    QSqlError sqlError_;
};

} // namespace viro
