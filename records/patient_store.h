#pragma once

#include "analysis/measurement_record.h"
#include "core/patient_record.h"
#include "records/connection.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <optional>
#include <vector>

class QSqlError;
class QSqlRecord;

namespace viro {

// The one mapping between table rows and the records the program works with. Field names are
// those of ZeCust and ZeData; reading takes a row as the database returns it (names in any
// letter case, fields an older file lacks read as absent).
PatientRecord patientFromRow(const QSqlRecord& row);
QVariantMap patientToRow(const PatientRecord& patient);
// ZE1-ZE24, STD (unpacked), ZeDate, ZeVota, MEMO1 (split into note lines), MKEY; the patient's
// number goes to `custNo` when given. Traces are not part of the row.
MeasurementRecord measurementFromRow(const QSqlRecord& row, QString* custNo = nullptr);
// The ZeData fields of `m` for patient `custNo`; STD only when `withQuality` (rows typed in by
// hand carry none). MKEY is left to the database.
QVariantMap measurementToRow(const MeasurementRecord& m, const QString& custNo, bool withQuality);

// MEMO1 holds the note lines joined by CR LF, as the exchanged files do. Reading splits at CR LF,
// LF or a lone CR; one line break at the very end closes the last line rather than opening an
// empty one, so that notes written with a break after every line read back as they were.
QString joinNoteLines(const QStringList& lines);
QStringList splitNoteLines(const QString& text);

// Why a read or write of the patient database failed, in words a practitioner understands.
struct StoreError {
    enum class Kind {
        None,
        NotFound, // no such patient or measurement
        Taken,    // a patient number that another patient has (letter case ignored)
        Invalid,  // a value the program does not take (empty number, value out of range)
        ReadOnly, // the file or its folder cannot be written
        DiskFull, // the disk (or the user's file size limit) is full
        Busy,     // another program holds the database for longer than the wait allows
        Damaged,  // the file is not a sound database
        Other,
    };
    Kind kind = Kind::None;
    QString message; // names the cause; what was being done comes first

    explicit operator bool() const { return kind != Kind::None; }
};

// The kind and the plain-words cause of a database error; `action` says what was being done
// ("The measurement was not saved."). `databasePath` helps to tell a full disk from other write
// errors.
StoreError storeErrorOf(const QSqlError& error, const QString& action, bool writing,
                        const QString& databasePath = {});

// One row of a patient's measurement list (newest first).
struct MeasurementSummary {
    int mkey = 0;
    double zeDate = 0;
    bool highPotential = false;
    double average = 0; // the mean of ZE1-ZE24
    std::array<double, kPointCount> values{};

    friend bool operator==(const MeasurementSummary&, const MeasurementSummary&) = default;
};

// Patients and their measurements in the main database, read and written as wholes: every
// change that touches several rows (a measurement with its traces and the patient's latest
// measurement date; a renumbering with all its measurements; a patient deleted with its
// measurements) is one transaction, so a failure leaves the file as it was. Values reach SQL only
// as bound parameters. Waits for another program's write up to `kBusyWaitMs`, then reports Busy.
class PatientStore {
public:
    static constexpr int kBusyWaitMs = kDatabaseBusyWaitMs;
    // A write that still found the database busy after the wait is tried this many more times,
    // after a short pause each, before Busy is reported.
    static constexpr int kBusyRetries = 2;
    static constexpr int kBusyPauseMs = 200;
    static constexpr int kPatientNumberLimit = 15; // characters a new or changed number takes
    static constexpr int kNameLimit = 20;
    static constexpr int kAddressLimit = 50;
    static constexpr int kPhoneLimit = 30;
    static constexpr int kEMailLimit = 50;
    static constexpr double kMinValue = 0.1; // µA a stored value may hold, 0 for none
    static constexpr double kMaxValue = 200.0;

    explicit PatientStore(QSqlDatabase db);

    // --- Patients ---
    // The patient with this number, letter case ignored (blanks around it removed); none, with
    // NotFound, when nobody has it.
    std::optional<PatientRecord> patient(const QString& custNo, StoreError* error = nullptr) const;
    // Adds a patient (texts trimmed and held to their limits; PREMEA 0). Refuses an empty or
    // taken number (Taken; the message is the notice the windows show).
    bool addPatient(const PatientRecord& patient, StoreError* error = nullptr);
    // Writes the fields of `changed` to the patient `custNo`. When the number changes, every
    // measurement (and its traces) follows to the new number; a taken new number is refused.
    bool updatePatient(const QString& custNo, const PatientRecord& changed,
                       StoreError* error = nullptr);
    // Deletes the patient with all measurements and their traces.
    bool deletePatient(const QString& custNo, StoreError* error = nullptr);

    // --- Measurements ---
    // The patient's measurements, newest first (ties: the later stored first); empty for a number
    // nobody has.
    std::vector<MeasurementSummary> measurements(const QString& custNo,
                                                 StoreError* error = nullptr) const;
    // One stored measurement (its key set), with its traces when asked; the owner's number goes
    // to `custNo`.
    std::optional<MeasurementRecord> measurement(int mkey, bool withTraces,
                                                 QString* custNo = nullptr,
                                                 StoreError* error = nullptr) const;
    // Appends `m` for the patient as measured: the ZeData row with its quality scores, a ZeRaw
    // row for every point that has a trace, and PREMEA raised when `m` is later. Returns the new
    // MKEY. Values outside 0.1-200.0 (other than 0) are refused (Invalid).
    std::optional<int> saveMeasurement(const QString& custNo, const MeasurementRecord& m,
                                       StoreError* error = nullptr);
    // A measurement typed in by hand for the patient: no quality scores, no traces; PREMEA set
    // to the patient's newest measurement afterwards.
    std::optional<int> addManualMeasurement(const QString& custNo, const MeasurementRecord& m,
                                            StoreError* error = nullptr);
    // Changes a stored measurement by hand: its date, potential, notes and values; its quality
    // scores and traces stay. PREMEA follows.
    bool updateMeasurementValues(int mkey, const MeasurementRecord& m, StoreError* error = nullptr);
    // Deletes a measurement with its traces; PREMEA becomes the newest remaining one's, or 0.
    bool deleteMeasurement(int mkey, StoreError* error = nullptr);

    // The notice for a taken patient number, naming the patient that has it.
    static QString takenNumberNotice(const QString& holderName);
    // Whether a point value may be stored: 0 (none) or 0.1-200.0.
    static bool isStorableValue(double value);

private:
    // Runs `body` in one write transaction, again when the database was busy; a failure rolls
    // everything back. `body` returns the reason it refused or failed (None to commit).
    bool write(const QString& action, const std::function<StoreError()>& body, StoreError* error);
    StoreError fail(const QSqlError& sqlError, const QString& action, bool writing) const;
    StoreError insertMeasurement(const QString& custNo, const MeasurementRecord& m, bool asMeasured,
                                 const QString& action, int* mkey);

    QSqlDatabase db_;
};

} // namespace viro
