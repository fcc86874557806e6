#include "cli/analysis_args.h"
#include "cli/cli_support.h"
#include "cli/commands.h"
#include "cli/measurement_json.h"
#include "cli/patient_database.h"

#include "analysis/jet_date.h"
#include "records/patient_list_model.h"
#include "records/patient_store.h"
#include "records/schema.h"

#include <QDateTime>
#include <QJsonArray>
#include <QSet>

#include <cmath>

namespace viro::cli {

namespace {

const char* const kPatientsUsage = "db patients [--sort [-]COLUMN] [--find TEXT] [--db FILE]";
const char* const kAddUsage =
    "db add-patient --no CUSTNO --name NAME [--sex male|female] [--birth DATE]\n"
    "               [--addr TEXT] [--tel TEXT] [--mobile TEXT] [--fax TEXT]\n"
    "               [--email TEXT] [--db FILE]";
const char* const kEditUsage =
    "db edit-patient CUSTNO [--name NAME] [--sex male|female] [--birth DATE]\n"
    "                [--addr TEXT] [--tel TEXT] [--mobile TEXT] [--fax TEXT]\n"
    "                [--email TEXT] [--renumber NEWNO] [--db FILE]";
const char* const kDeletePatientUsage = "db delete-patient CUSTNO [--db FILE]";
const char* const kSaveUsage =
    "db save --patient CUSTNO --values v1,...,v24 [--quality q1,...,q24]\n"
    "        [--date DATETIME] [--potential nrm|hi] [--notes TEXT] [--db FILE]";
const char* const kMeasurementsUsage = "db measurements CUSTNO [--db FILE]";
const char* const kShowUsage = "db show MKEY [--traces] [--db FILE]";
const char* const kDeleteMeasurementUsage = "db delete-measurement MKEY [--db FILE]";

QString usage() {
    return QStringList{kPatientsUsage, kAddUsage,          kEditUsage, kDeletePatientUsage,
                       kSaveUsage,     kMeasurementsUsage, kShowUsage, kDeleteMeasurementUsage}
        .join('\n');
}

// The options that take a value, of every sub-command: the sub-command is the first argument
// that is neither an option nor such an option's value.
const QSet<QString>& valueOptions() {
    static const QSet<QString> names{"db",      "sort",  "find",      "no",      "name",
                                     "sex",     "birth", "addr",      "tel",     "mobile",
                                     "fax",     "email", "renumber",  "patient", "values",
                                     "quality", "date",  "potential", "notes"};
    return names;
}

std::optional<int> subCommandIndex(const QStringList& args) {
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--"))
            return i + 1 < args.size() ? std::optional<int>(i + 1) : std::nullopt;
        if (a.size() > 1 && a.startsWith('-')) {
            QString name = a;
            while (name.startsWith('-'))
                name.remove(0, 1);
            if (!name.contains('=') && valueOptions().contains(name))
                ++i;
            continue;
        }
        return i;
    }
    return std::nullopt;
}

void addDbOption(CommandLine& line) {
    line.addOption("db", "FILE", "the patient database (default the data folder's)");
}

// Parses the line; a status to return at once, or nothing to go on. `positionals` is how many
// arguments beside the options the sub-command takes.
std::optional<int> begin(CommandLine& line, const QStringList& args, int positionals,
                         const char* positionalName) {
    if (const std::optional<int> status = line.parse(args))
        return *status;
    const QStringList rest = line.positional();
    if (rest.size() < positionals)
        return line.fail(QStringLiteral("missing %1").arg(positionalName));
    if (rest.size() > positionals)
        return line.fail("unexpected argument " + rest[positionals]);
    return std::nullopt;
}

std::optional<int> openDatabase(const CommandLine& line, PatientDatabase& db) {
    QString error;
    if (!db.open(line.value("db"), &error))
        return line.fail(error, kFailure);
    return std::nullopt;
}

// --- Patients ---

// The ZeCust fields the patient list sorts by, and its sort key for each.
struct SortColumn {
    const char* field;
    int key;
};
constexpr SortColumn kSortColumns[] = {
    {"CustNo", 1}, {"Name", 2}, {"Sex", 3},   {"DBirth", 4}, {"PREMEA", 6},
    {"Tel", 7},    {"Addr", 8}, {"EMail", 9}, {"Tel2", 10},  {"Tel3", 11},
};

QString fieldOfKey(int column) {
    for (const SortColumn& c : kSortColumns)
        if (c.key == column)
            return QString::fromLatin1(c.field);
    return {};
}

QString sortColumnNames() {
    QStringList names;
    for (const SortColumn& c : kSortColumns)
        names << QString::fromLatin1(c.field);
    return names.join(", ");
}

std::optional<int> sortKeyOf(const QString& text, QString* error) {
    const bool descending = text.startsWith('-');
    const QString field = descending ? text.mid(1) : text;
    for (const SortColumn& c : kSortColumns)
        if (field.compare(QLatin1String(c.field), Qt::CaseInsensitive) == 0)
            return descending ? -c.key : c.key;
    *error = QStringLiteral("--sort must be one of the patient list's columns %1, with a leading "
                            "- to reverse it, not %2")
                 .arg(sortColumnNames(), text);
    return std::nullopt;
}

// The text of the sort field that --find searches; nothing for the date of birth.
QString sortText(const PatientRecord& p, int column) {
    switch (column) {
    case 1:
        return p.custNo;
    case 2:
        return p.name;
    case 7:
        return p.tel;
    case 8:
        return p.addr;
    case 9:
        return p.eMail;
    case 10:
        return p.tel2;
    case 11:
        return p.tel3;
    default:
        return {};
    }
}

// Letter case is ignored as the list's search ignores it: for the letters A-Z.
QString foldAscii(QString s) {
    for (QChar& c : s)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + ('a' - 'A'));
    return s;
}

int runPatients(const QStringList& args) {
    CommandLine line(QStringLiteral("db patients"), QString::fromLatin1(kPatientsUsage));
    line.addOption("sort", "[-]COLUMN",
                   "the ZeCust field to sort by: " + sortColumnNames() +
                       "; a leading - reverses (default CustNo)");
    line.addOption("find", "TEXT",
                   "only the patients whose sort field begins with TEXT, letter case ignored "
                   "(DBirth: born on the DATE)");
    addDbOption(line);
    PatientDatabase db;
    if (const std::optional<int> status = begin(line, args, 0, ""))
        return *status;

    QString error;
    int sortKey = 1;
    if (const std::optional<QString> v = line.value("sort")) {
        const std::optional<int> key = sortKeyOf(*v, &error);
        if (!key)
            return line.fail(error);
        sortKey = *key;
    }
    const int column = std::abs(sortKey);
    const std::optional<QString> find = line.value("find");
    std::optional<double> birthDay;
    if (find && !PatientListModel::searchable(sortKey))
        return line.fail(QStringLiteral("--find cannot search the %1 column; sort by one of "
                                        "CustNo, Name, DBirth, Tel, Addr, EMail, Tel2, Tel3")
                             .arg(fieldOfKey(column)));
    if (find && column == 4) {
        birthDay = parseJetDate(*find);
        if (!birthDay)
            return line.fail("--find is not a date (YYYY-MM-DD or a day number): '" + *find + "'");
        birthDay = std::floor(*birthDay);
    }
    if (const std::optional<int> status = openDatabase(line, db))
        return *status;

    PatientListModel list(db.database());
    if (!list.open(sortKey, &error))
        return line.fail(error, kFailure);
    int start = 0;
    if (find && !birthDay) {
        const std::optional<int> first = list.findPrefix(*find);
        start = first.value_or(list.rowCount());
    }
    const QString prefix = find ? foldAscii(*find) : QString();
    const auto matches = [&](const PatientRecord& p) {
        if (!find)
            return true;
        if (birthDay)
            return std::floor(p.birthDate) == *birthDay;
        return foldAscii(sortText(p, column)).startsWith(prefix);
    };

    // The list is in the order of the sort field, so the patients found follow one another.
    QJsonArray out;
    for (int row = start; row < list.rowCount(); ++row) {
        const PatientRecord p = list.patientAt(row);
        if (p.custNo.isEmpty())
            return line.fail(QStringLiteral("the patient list cannot be read"), kFailure);
        if (matches(p))
            out.append(patientJson(p));
        else if (!out.isEmpty() || !birthDay)
            break;
    }
    printJson(QJsonDocument(out));
    return 0;
}

void addPatientOptions(CommandLine& line) {
    line.addOption(
        "name", "NAME",
        QStringLiteral("the patient's name (at most %1 characters)").arg(PatientStore::kNameLimit));
    line.addOption("sex", "male|female", "the patient's sex (a new patient: male)");
    line.addOption("birth", "DATE", "date of birth: YYYY-MM-DD or a day number (0 none)");
    line.addOption(
        "addr", "TEXT",
        QStringLiteral("address (at most %1 characters)").arg(PatientStore::kAddressLimit));
    line.addOption(
        "tel", "TEXT",
        QStringLiteral("telephone number (at most %1 characters)").arg(PatientStore::kPhoneLimit));
    line.addOption("mobile", "TEXT",
                   QStringLiteral("mobile telephone number (at most %1 characters)")
                       .arg(PatientStore::kPhoneLimit));
    line.addOption(
        "fax", "TEXT",
        QStringLiteral("fax number (at most %1 characters)").arg(PatientStore::kPhoneLimit));
    line.addOption(
        "email", "TEXT",
        QStringLiteral("e-mail address (at most %1 characters)").arg(PatientStore::kEMailLimit));
}

// A patient number as the editor takes it: 1 to 15 characters once the blanks around it are
// removed.
std::optional<QString> patientNumber(const QString& option, const QString& text, QString* error) {
    const QString number = text.trimmed();
    if (number.isEmpty() || number.size() > PatientStore::kPatientNumberLimit) {
        *error = QStringLiteral("%1 must be a patient number of 1 to %2 characters, not '%3'")
                     .arg(option)
                     .arg(PatientStore::kPatientNumberLimit)
                     .arg(text);
        return std::nullopt;
    }
    return number;
}

// Applies the patient options given to `p`. Texts longer than the editor takes are refused
// rather than cut.
bool readPatientOptions(const CommandLine& line, PatientRecord& p, QString* error) {
    struct Text {
        const char* option;
        QString PatientRecord::*field;
        int limit;
    };
    const Text texts[] = {
        {"name", &PatientRecord::name, PatientStore::kNameLimit},
        {"addr", &PatientRecord::addr, PatientStore::kAddressLimit},
        {"tel", &PatientRecord::tel, PatientStore::kPhoneLimit},
        {"mobile", &PatientRecord::tel2, PatientStore::kPhoneLimit},
        {"fax", &PatientRecord::tel3, PatientStore::kPhoneLimit},
        {"email", &PatientRecord::eMail, PatientStore::kEMailLimit},
    };
    for (const Text& t : texts) {
        const std::optional<QString> v = line.value(t.option);
        if (!v)
            continue;
        const QString text = v->trimmed();
        if (text.size() > t.limit) {
            *error = QStringLiteral("--%1 takes at most %2 characters, got %3")
                         .arg(t.option)
                         .arg(t.limit)
                         .arg(text.size());
            return false;
        }
        p.*t.field = text;
    }
    if (const std::optional<QString> v = line.value("sex")) {
        if (*v != QLatin1String("male") && *v != QLatin1String("female")) {
            *error = "--sex must be male or female, not " + *v;
            return false;
        }
        p.male = *v == QLatin1String("male");
    }
    if (const std::optional<QString> v = line.value("birth")) {
        const std::optional<double> birth = parseJetDate(*v);
        if (!birth) {
            *error = "--birth is not a date (YYYY-MM-DD or a day number): '" + *v + "'";
            return false;
        }
        // A date of birth is a day; anything up to day 4000 is none.
        p.birthDate = dateOrNone(std::floor(*birth));
    }
    return true;
}

// The patient `custNo`; a status to return when there is none or it cannot be read.
std::optional<int> findPatient(const CommandLine& line, PatientStore& store, const QString& custNo,
                               PatientRecord* patient) {
    StoreError error;
    const std::optional<PatientRecord> p = store.patient(custNo, &error);
    if (p) {
        *patient = *p;
        return std::nullopt;
    }
    if (error && error.kind != StoreError::Kind::NotFound)
        return storeFailure(line, error);
    return line.fail("no patient with the number " + custNo.trimmed(), kFailure);
}

// Prints the patient as stored now.
int printPatient(const CommandLine& line, PatientStore& store, const QString& custNo) {
    PatientRecord p;
    if (const std::optional<int> status = findPatient(line, store, custNo, &p))
        return *status;
    printJson(QJsonDocument(patientJson(p)));
    return 0;
}

int runAddPatient(const QStringList& args) {
    CommandLine line(QStringLiteral("db add-patient"), QString::fromLatin1(kAddUsage));
    line.addOption("no", "CUSTNO",
                   QStringLiteral("the new patient's number, 1 to %1 characters (required)")
                       .arg(PatientStore::kPatientNumberLimit));
    addPatientOptions(line);
    addDbOption(line);
    PatientDatabase db;
    if (const std::optional<int> status = begin(line, args, 0, ""))
        return *status;
    for (const char* required : {"no", "name"})
        if (!line.isSet(required))
            return line.fail(QStringLiteral("--%1 is required").arg(required));
    QString error;
    PatientRecord p;
    const std::optional<QString> number = patientNumber("--no", *line.value("no"), &error);
    if (!number || !readPatientOptions(line, p, &error))
        return line.fail(error);
    p.custNo = *number;
    if (const std::optional<int> status = openDatabase(line, db))
        return *status;

    StoreError why;
    if (!db.store().addPatient(p, &why))
        return storeFailure(line, why);
    return printPatient(line, db.store(), p.custNo);
}

int runEditPatient(const QStringList& args) {
    CommandLine line(QStringLiteral("db edit-patient"), QString::fromLatin1(kEditUsage));
    addPatientOptions(line);
    line.addOption("renumber", "NEWNO",
                   "give the patient this number; the measurements follow (letter case of the "
                   "same number may change)");
    addDbOption(line);
    PatientDatabase db;
    if (const std::optional<int> status = begin(line, args, 1, "CUSTNO"))
        return *status;
    const QString custNo = line.positional().first();
    QString error;
    std::optional<QString> renumber;
    if (const std::optional<QString> v = line.value("renumber")) {
        renumber = patientNumber("--renumber", *v, &error);
        if (!renumber)
            return line.fail(error);
    }
    if (const std::optional<int> status = openDatabase(line, db))
        return *status;

    PatientRecord p;
    if (const std::optional<int> status = findPatient(line, db.store(), custNo, &p))
        return *status;
    const QString stored = p.custNo;
    if (!readPatientOptions(line, p, &error))
        return line.fail(error);
    if (renumber)
        p.custNo = *renumber;
    StoreError why;
    if (!db.store().updatePatient(stored, p, &why))
        return storeFailure(line, why);
    return printPatient(line, db.store(), p.custNo);
}

int runDeletePatient(const QStringList& args) {
    CommandLine line(QStringLiteral("db delete-patient"), QString::fromLatin1(kDeletePatientUsage));
    addDbOption(line);
    PatientDatabase db;
    if (const std::optional<int> status = begin(line, args, 1, "CUSTNO"))
        return *status;
    if (const std::optional<int> status = openDatabase(line, db))
        return *status;
    PatientRecord p;
    if (const std::optional<int> status =
            findPatient(line, db.store(), line.positional().first(), &p))
        return *status;
    StoreError why;
    if (!db.store().deletePatient(p.custNo, &why))
        return storeFailure(line, why);
    return 0;
}

// --- Measurements ---

// A measurement key as typed: a whole number above 0.
std::optional<int> measurementKey(const CommandLine& line, int* status) {
    const QString text = line.positional().first();
    bool ok = false;
    const int key = text.trimmed().toInt(&ok);
    if (!ok || key < 1) {
        *status = line.fail("MKEY must be a whole number above 0, not '" + text + "'");
        return std::nullopt;
    }
    return key;
}

// The measurement `mkey` with its owner; a status to return when there is none.
std::optional<int> findMeasurement(const CommandLine& line, PatientStore& store, int mkey,
                                   bool withTraces, MeasurementRecord* m, QString* custNo) {
    StoreError error;
    const std::optional<MeasurementRecord> found =
        store.measurement(mkey, withTraces, custNo, &error);
    if (found) {
        *m = *found;
        return std::nullopt;
    }
    if (error && error.kind != StoreError::Kind::NotFound)
        return storeFailure(line, error);
    return line.fail(QStringLiteral("no measurement with the key %1").arg(mkey), kFailure);
}

int runSave(const QStringList& args) {
    CommandLine line(QStringLiteral("db save"), QString::fromLatin1(kSaveUsage));
    line.addOption("patient", "CUSTNO", "the patient the measurement belongs to (required)");
    line.addOption("values", "v1,...,v24",
                   "the 24 point values in µA by point index, each 0 (none) or 0.1 to 200.0 "
                   "(required)");
    line.addOption("quality", "q1,...,q24",
                   "the 24 quality scores, 0 to 100 (without: stored as typed in by hand, with "
                   "no scores)");
    line.addOption("date", "DATETIME",
                   "measured at: YYYY-MM-DDTHH:MM:SS or a day number (default now)");
    line.addOption("potential", "nrm|hi", "measuring potential (default nrm)");
    line.addOption("notes", "TEXT", "the measurement's notes; a line break starts a new line");
    addDbOption(line);
    PatientDatabase db;
    if (const std::optional<int> status = begin(line, args, 0, ""))
        return *status;
    for (const char* required : {"patient", "values"})
        if (!line.isSet(required))
            return line.fail(QStringLiteral("--%1 is required").arg(required));

    QString error;
    MeasurementRecord m;
    const std::optional<std::vector<double>> values =
        parseReals("values", *line.value("values"), kPointCount, &error);
    if (!values)
        return line.fail(error);
    for (int k = 0; k < kPointCount; ++k) {
        const double v = (*values)[size_t(k)];
        if (!PatientStore::isStorableValue(v))
            return line.fail(QStringLiteral("--values item %1 must be 0 (none) or from 0.1 to "
                                            "200.0, not %2")
                                 .arg(k + 1)
                                 .arg(v));
        m.values[size_t(k)] = v;
    }
    const std::optional<QString> qualityText = line.value("quality");
    if (qualityText) {
        const std::optional<std::vector<double>> quality =
            parseReals("quality", *qualityText, kPointCount, &error);
        if (!quality)
            return line.fail(error);
        for (int k = 0; k < kPointCount; ++k) {
            const double q = (*quality)[size_t(k)];
            if (q < 0 || q > 100)
                return line.fail(QStringLiteral("--quality item %1 must lie from 0 to 100, not %2")
                                     .arg(k + 1)
                                     .arg(q));
            m.quality[size_t(k)] = q;
        }
    }
    if (const std::optional<QString> v = line.value("date")) {
        const std::optional<double> date = parseJetDateTime(*v);
        if (!date)
            return line.fail("--date is not a date-time (YYYY-MM-DDTHH:MM:SS or a day number): '" +
                             *v + "'");
        m.dateTime = *date;
    } else {
        m.dateTime = jetFromDateTime(QDateTime::currentDateTime());
    }
    if (const std::optional<QString> v = line.value("potential")) {
        if (*v != QLatin1String("nrm") && *v != QLatin1String("hi"))
            return line.fail("--potential must be nrm or hi, not " + *v);
        m.highPotential = *v == QLatin1String("hi");
    }
    if (const std::optional<QString> v = line.value("notes"))
        m.notes = splitNoteLines(*v);
    if (const std::optional<int> status = openDatabase(line, db))
        return *status;

    PatientRecord p;
    if (const std::optional<int> status = findPatient(line, db.store(), *line.value("patient"), &p))
        return *status;
    StoreError why;
    const std::optional<int> key = qualityText ? db.store().saveMeasurement(p.custNo, m, &why)
                                               : db.store().addManualMeasurement(p.custNo, m, &why);
    if (!key)
        return storeFailure(line, why);
    printJson(QJsonDocument(QJsonObject{{"MKEY", *key}}));
    return 0;
}

int runMeasurements(const QStringList& args) {
    CommandLine line(QStringLiteral("db measurements"), QString::fromLatin1(kMeasurementsUsage));
    addDbOption(line);
    PatientDatabase db;
    if (const std::optional<int> status = begin(line, args, 1, "CUSTNO"))
        return *status;
    if (const std::optional<int> status = openDatabase(line, db))
        return *status;
    PatientRecord p;
    if (const std::optional<int> status =
            findPatient(line, db.store(), line.positional().first(), &p))
        return *status;
    StoreError why;
    const std::vector<MeasurementSummary> list = db.store().measurements(p.custNo, &why);
    if (why)
        return storeFailure(line, why);
    QJsonArray out;
    for (const MeasurementSummary& s : list)
        out.append(QJsonObject{{"MKEY", s.mkey},
                               {"ZeDate", s.zeDate},
                               {"ZeVota", s.highPotential},
                               {"Average", s.average}});
    printJson(QJsonDocument(out));
    return 0;
}

int runShow(const QStringList& args) {
    CommandLine line(QStringLiteral("db show"), QString::fromLatin1(kShowUsage));
    line.addFlag("traces", "also print every reading of each point as it was measured");
    addDbOption(line);
    PatientDatabase db;
    if (const std::optional<int> status = begin(line, args, 1, "MKEY"))
        return *status;
    int status = 0;
    const std::optional<int> mkey = measurementKey(line, &status);
    if (!mkey)
        return status;
    if (const std::optional<int> failed = openDatabase(line, db))
        return *failed;
    const bool traces = line.isSet("traces");
    MeasurementRecord m;
    QString custNo;
    if (const std::optional<int> failed =
            findMeasurement(line, db.store(), *mkey, traces, &m, &custNo))
        return *failed;

    const QJsonObject shown = measurementJson(m, traces);
    QJsonObject o{
        {"MKEY", m.key > 0 ? m.key : *mkey},
        {"CustNo", custNo},
        {"ZeDate", m.dateTime},
        {"ZeVota", m.highPotential},
        {"values", shown.value("values")},
        {"quality", shown.value("quality")},
        {"notes", m.notes.join('\n')},
    };
    if (traces)
        o.insert("traces", shown.value("traces"));
    printJson(QJsonDocument(o));
    return 0;
}

int runDeleteMeasurement(const QStringList& args) {
    CommandLine line(QStringLiteral("db delete-measurement"),
                     QString::fromLatin1(kDeleteMeasurementUsage));
    addDbOption(line);
    PatientDatabase db;
    if (const std::optional<int> status = begin(line, args, 1, "MKEY"))
        return *status;
    int status = 0;
    const std::optional<int> mkey = measurementKey(line, &status);
    if (!mkey)
        return status;
    if (const std::optional<int> failed = openDatabase(line, db))
        return *failed;
    MeasurementRecord m;
    QString custNo;
    if (const std::optional<int> failed =
            findMeasurement(line, db.store(), *mkey, false, &m, &custNo))
        return *failed;
    StoreError why;
    if (!db.store().deleteMeasurement(*mkey, &why))
        return storeFailure(line, why);
    return 0;
}

int runDb(const QStringList& args) {
    static const std::pair<const char*, CommandFn> subCommands[] = {
        {"patients", runPatients},
        {"add-patient", runAddPatient},
        {"edit-patient", runEditPatient},
        {"delete-patient", runDeletePatient},
        {"save", runSave},
        {"measurements", runMeasurements},
        {"show", runShow},
        {"delete-measurement", runDeleteMeasurement},
    };
    const std::optional<int> at = subCommandIndex(args);
    if (!at) {
        CommandLine line(QStringLiteral("db"), usage());
        addDbOption(line);
        if (const std::optional<int> status = line.parse(args))
            return *status;
        return line.fail("missing sub-command (try viro-cli db --help)");
    }
    const QString name = args[*at];
    QStringList rest = args;
    rest.removeAt(*at);
    for (const auto& [sub, run] : subCommands)
        if (name == QLatin1String(sub))
            return run(rest);
    return fail("db: unknown sub-command " + name + " (try viro-cli db --help)");
}

const CommandRegistration registration("db", usage, runDb);

} // namespace

} // namespace viro::cli
