#pragma once

#include "records/connection.h"

#include <QDate>
#include <QString>

#include <functional>

namespace viro {

// The three connections the main window holds for the whole run.
class DatabaseConnections {
public:
    Connection main{ConnectionRole::Main};
    Connection reference{ConnectionRole::ReferenceTexts};
    Connection standard{ConnectionRole::StandardProtocols};

    // Opens "viro6.mdb", "viroE.mdb" and "viroZE.mdb" of `folder`; on failure none stays open.
    bool open(const QString& folder, QString* error);
    void close();
    bool isOpen() const { return main.isOpen() && reference.isOpen() && standard.isOpen(); }
};

// Copies the installation files (template, reference texts, standard protocols, the "Data"
// pictures) that `dataFolder` lacks. Reference and protocol files or a template left as Access
// files by an older installation are replaced, since the program only reads its own. Copies are
// made writable by the owner. False with a message when a file could not be copied.
bool copyInstallationFiles(const QString& shareFolder, const QString& dataFolder, QString* error);

// Moves a database file to a new name together with what SQLite keeps beside it, after folding
// any pending write-ahead log into the file; a log that could not be folded moves along with
// it. Fails when the target exists.
bool moveDatabaseFile(const QString& from, const QString& to);

// "viro_" + yyyymmdd + "_BAK.mdb" for the day of the take-over.
QString backupFileName(const QDate& day);

enum class LampState { Off, On, Done };

// What the status window shows while the check runs.
struct DatabaseCheckView {
    std::function<void(int lamp, LampState state)> lamp;        // lamps 1 to 7
    std::function<void(int value, int maximum)> progress;       // progress bar
    std::function<void(const QString& text)> status;            // status bar
    std::function<void(const QString& text)> label;             // "USB Status:" / "DBT Prog:"
    std::function<void(int type, const QString& text)> message; // the program's message box
};

struct DatabaseCheckResult {
    bool startupFailure = false;
    bool copied = false;   // an older database was taken over
    QString transferError; // why a take-over did not happen, empty when it did or none was due
};

// The database part of the start-up check: template present, the file steps, the three
// connections, the take-over of "viro.mdb" with its backup and the last-measurement dates.
DatabaseCheckResult runDatabaseCheck(const QString& folder, DatabaseConnections& connections,
                                     const DatabaseCheckView& view, const QDate& today);

// Appends every row of the older database at `olderPath` to the main database in one
// transaction and recomputes PREMEA; on failure the main database is as before.
bool transferOlderDatabase(const QString& olderPath, Connection& mainDb,
                           const DatabaseCheckView& view, QString* error);

// Sets PREMEA of every patient to its latest ZeDate, 0 for none (inside the caller's transaction
// when there is one).
bool recomputeLatestMeasurements(QSqlDatabase db, const DatabaseCheckView& view, QString* error);

inline constexpr const char* kNotInstalledMessage =
    "VIRO is not installed completely! Please reinstall.";
inline constexpr const char* kStartupErrorMessage =
    "V.I.R.O. start-up error! If you are using VIRO under Windows 98 or NT 4.0, please exit and "
    "install Microsoft ADO Driver.";
inline constexpr const char* kTransferStatus =
    "V.I.R.O. database is being transferred. Please wait..";

} // namespace viro
