#pragma once

#include "cli/cli_support.h"

#include "core/patient_record.h"
#include "records/connection.h"
#include "records/patient_store.h"

#include <QJsonObject>
#include <QString>

#include <memory>
#include <optional>

namespace viro::cli {

// The patient database of the data folder, the one the program uses.
QString defaultPatientDatabasePath();

// The patient database a command reads and writes, through the same store as the windows.
class PatientDatabase {
public:
    PatientDatabase();
    ~PatientDatabase();
    PatientDatabase(const PatientDatabase&) = delete;
    PatientDatabase& operator=(const PatientDatabase&) = delete;

    // Opens `path`, or the data folder's database when none is given, and brings a file of an
    // earlier build up to this build's layout. A missing file is an error: a command never makes
    // an empty database where the user expected his patients.
    bool open(const std::optional<QString>& path, QString* error);

    QSqlDatabase database() const { return connection_.database(); }
    PatientStore& store() { return *store_; }

private:
    Connection connection_{ConnectionRole::Main};
    std::unique_ptr<PatientStore> store_;
};

// A store failure on the command's error line: exit status 2 for a value the store does not
// take, 1 for everything else (no such patient or measurement, a taken number, the file).
int storeFailure(const CommandLine& line, const StoreError& error);

// A patient with the ZeCust field names as keys; dates as Jet date values (0 for none).
QJsonObject patientJson(const PatientRecord& patient);

} // namespace viro::cli
