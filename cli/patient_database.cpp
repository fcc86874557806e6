#include "cli/patient_database.h"

#include "core/data_folder.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace viro::cli {

QString defaultPatientDatabasePath() {
    return dataFolder() + connectionInfo(ConnectionRole::Main).fileName;
}

PatientDatabase::PatientDatabase() = default;
PatientDatabase::~PatientDatabase() = default;

bool PatientDatabase::open(const std::optional<QString>& path, QString* error) {
    const QString file = path.value_or(defaultPatientDatabasePath());
    if (!QFileInfo(file).isFile()) {
        *error = path ? QStringLiteral("no patient database %1").arg(file)
                      : QStringLiteral("no patient database in the data folder (%1); start viro "
                                       "once to create it, or name one with --db FILE")
                            .arg(file);
        return false;
    }
    QString why;
    if (!connection_.open(file, &why) || !upgradeMainDatabase(connection_, &why)) {
        *error = QStringLiteral("cannot open the patient database %1: %2").arg(file, why);
        return false;
    }
    store_ = std::make_unique<PatientStore>(connection_.database());
    return true;
}

int storeFailure(const CommandLine& line, const StoreError& error) {
    // The windows' texts on the tool's one error line.
    static const QRegularExpression lineBreaks(QStringLiteral("\\s*[\\r\\n]+\\s*"));
    QString text = error.message;
    text.replace(lineBreaks, QStringLiteral(" "));
    return line.fail(text.trimmed(),
                     error.kind == StoreError::Kind::Invalid ? kUsageError : kFailure);
}

QJsonObject patientJson(const PatientRecord& p) {
    return QJsonObject{
        {"CustNo", p.custNo}, {"Name", p.name},       {"Sex", p.male},      {"DBirth", p.birthDate},
        {"Addr", p.addr},     {"Tel", p.tel},         {"Tel2", p.tel2},     {"Tel3", p.tel3},
        {"EMail", p.eMail},   {"BType", p.bType},     {"Height", p.height}, {"Weight", p.weight},
        {"Memo", p.memo},     {"CustCat", p.custCat}, {"CustFG", p.custFg}, {"PrtFG", p.prtFg},
        {"PREMEA", p.premea},
    };
}

} // namespace viro::cli
