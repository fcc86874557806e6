#pragma once

#include "records/connection.h"

#include <QDate>
#include <QString>
#include <QStringList>

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
// files by an older installation are replaced, since the program only reads its own. Each copy
// appears under its name only once complete and on disk, and is made writable by the owner.
// False with a message naming every file that could not be copied; the others are copied.
bool copyInstallationFiles(const QString& shareFolder, const QString& dataFolder, QString* error);

// Copies a file through a temporary file in the target's folder, flushed to disk and renamed over
// the target: an interrupted copy never leaves part of a file under the target's name. Logs of
// an earlier database by the target's name are removed first. The copy is made writable by the
// owner. False with a message naming the files.
bool copyFileAtomically(const QString& from, const QString& to, QString* error);

// Moves a database file to a new name together with what SQLite keeps beside it, after folding
// any pending write-ahead log into the file; a log that could not be folded moves along with
// it, and when it cannot, the file stays where it was. Fails when the target exists. False with
// a message naming the files.
bool moveDatabaseFile(const QString& from, const QString& to, QString* error = nullptr);

// Removes a database file and what SQLite keeps beside it; true when none of them is left.
bool removeDatabaseFile(const QString& path, QString* error);

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

// What a take-over met that the user is told about.
struct TransferSummary {
    // Rows whose patient number is longer than a new one may be; they are kept whole.
    int longPatients = 0;     // in ZeCust
    int longMeasurements = 0; // in ZeData

    int longRows() const { return longPatients + longMeasurements; }
    TransferSummary& operator+=(const TransferSummary& other);
};

// The message after a take-over that kept long patient numbers.
QString longPatientNumbersMessage(const TransferSummary& summary);

struct DatabaseCheckResult {
    bool startupFailure = false;
    bool copied = false;   // an older database was taken over
    QString transferError; // why a take-over did not happen, empty when it did or none was due
    TransferSummary transfer;
    QStringList fileErrors; // file steps that failed (each also shown to the user)
};

// The database part of the start-up check: template present, the file steps, the three
// connections, the take-over of "viro.mdb" with its backup and the last-measurement dates.
// A file step that fails is shown through `view.message`, naming the file, and written to the
// log; the steps go on. An older database takes its backup name once its rows are copied, just
// before they are committed, and gets its own name back when the commit fails: its rows are
// never copied twice, and a take-over that fails is tried again at the next start.
DatabaseCheckResult runDatabaseCheck(const QString& folder, DatabaseConnections& connections,
                                     const DatabaseCheckView& view, const QDate& today);

// Appends every row of the older database at `olderPath` to the main database in one
// transaction and recomputes PREMEA; on failure the main database is as before. `beforeCommit`,
// when given, runs once every row is copied and the older file is closed, just before the
// commit; when it fails nothing is written.
bool transferOlderDatabase(const QString& olderPath, Connection& mainDb,
                           const DatabaseCheckView& view, QString* error,
                           TransferSummary* summary = nullptr,
                           const std::function<bool(QString*)>& beforeCommit = {});

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
