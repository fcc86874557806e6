#include "records/patient_store.h"

#include "records/log.h"
#include "records/raw_trace.h"
#include "records/schema.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>

#include <cmath>

namespace viro {

namespace {

using Kind = StoreError::Kind;

QString pointField(int point) {
    return QStringLiteral("ZE") + QString::number(point);
}

QVariant fieldOf(const QSqlRecord& row, const QString& name) {
    // Field names compare without regard to letter case here.
    const int i = row.indexOf(name);
    return i < 0 ? QVariant() : row.value(i);
}
QString textOf(const QSqlRecord& row, const char* name) {
    return fieldOf(row, QLatin1String(name)).toString();
}
double numberOf(const QSqlRecord& row, const QString& name) {
    bool ok = false;
    const double v = fieldOf(row, name).toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}
double numberOf(const QSqlRecord& row, const char* name) {
    return numberOf(row, QLatin1String(name));
}
bool flagOf(const QSqlRecord& row, const char* name) {
    return fieldOf(row, QLatin1String(name)).toBool();
}

// Empty texts are written as empty texts, not as NULL, so that lists sort them alike.
QVariant textValue(const QString& s) {
    return s.isNull() ? QVariant(QStringLiteral("")) : QVariant(s);
}
QVariant flagValue(bool b) {
    return b ? 1 : 0;
}

bool run(QSqlQuery& q, const QString& sql, const QVariantList& binds = {}) {
    if (!q.prepare(sql))
        return false;
    for (const QVariant& b : binds)
        q.addBindValue(b);
    return q.exec();
}

// "INSERT INTO table (a, b) VALUES (?, ?)" for the fields of `row`; the names are this file's
// own, never input.
bool insertRow(QSqlQuery& q, const QString& table, const QVariantMap& row) {
    QStringList marks;
    for (qsizetype i = 0; i < row.size(); ++i)
        marks << QStringLiteral("?");
    return run(
        q,
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(table, row.keys().join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
        row.values());
}

// "UPDATE table SET a = ?, b = ? WHERE key = ?".
bool updateRows(QSqlQuery& q, const QString& table, const QVariantMap& row, const QString& key,
                const QVariant& keyValue) {
    QStringList sets;
    for (const QString& name : row.keys())
        sets << name + QStringLiteral(" = ?");
    QVariantList binds = row.values();
    binds << keyValue;
    return run(q,
               QStringLiteral("UPDATE %1 SET %2 WHERE %3 = ?")
                   .arg(table, sets.join(QStringLiteral(", ")), key),
               binds);
}

StoreError refusal(Kind kind, const QString& message) {
    return {kind, message};
}

QString noPatientText(const QString& custNo) {
    return QStringLiteral("There is no patient with the number [ %1 ].").arg(custNo);
}
QString noMeasurementText(int mkey) {
    return QStringLiteral("There is no measurement with the key %1.").arg(mkey);
}

// Why the values of `m` cannot be stored, or empty when they can.
QString valueProblem(const MeasurementRecord& m) {
    for (int i = 0; i < kPointCount; ++i) {
        const double v = m.values[i];
        if (!std::isfinite(v))
            return QStringLiteral("Point %1 holds no number.").arg(i + 1);
        if (!PatientStore::isStorableValue(v))
            return QStringLiteral("Point %1 holds %2; values must lie between 0.1 and 200.0 "
                                  "(0 for none).")
                .arg(i + 1)
                .arg(v);
    }
    if (!std::isfinite(m.dateTime))
        return QStringLiteral("The measurement date is no number.");
    return {};
}

// A text of a patient record: blanks around it removed, held to what the editor takes.
QString heldText(const QString& s, int limit) {
    return s.trimmed().left(limit);
}

// The patients whose number matches `custNo` (letter case ignored by the column's collation):
// the one spelt exactly so when there is one, else the first. Files of older programs may hold
// numbers that differ only in letter case.
struct PatientMatch {
    bool found = false;
    QSqlRecord row;
    QString custNo; // as stored
};

bool findPatientRow(const QSqlDatabase& db, const QString& custNo, PatientMatch* match,
                    QSqlError* error) {
    QSqlQuery q(db);
    if (!run(q, QStringLiteral("SELECT * FROM ZeCust WHERE CustNo = ?"), {custNo})) {
        *error = q.lastError();
        return false;
    }
    while (q.next()) {
        const QSqlRecord row = q.record();
        const QString stored = textOf(row, "CustNo");
        if (!match->found || stored == custNo) {
            match->found = true;
            match->row = row;
            match->custNo = stored;
        }
        if (stored == custNo)
            break;
    }
    return true;
}

// PREMEA := the patient's newest remaining measurement, or 0.
bool refreshLatest(const QSqlDatabase& db, const QString& custNo, QSqlError* error) {
    QSqlQuery q(db);
    if (run(q,
            QStringLiteral("UPDATE ZeCust SET PREMEA = coalesce((SELECT max(ZeDate) FROM ZeData "
                           "WHERE CustNo = ?), 0) WHERE CustNo = ?"),
            {custNo, custNo}))
        return true;
    *error = q.lastError();
    return false;
}

bool hasRawTable(const QSqlDatabase& db) {
    return db.tables().contains(zeRawTable().name, Qt::CaseInsensitive);
}

} // namespace

// --- The mapping ---

PatientRecord patientFromRow(const QSqlRecord& row) {
    PatientRecord p;
    p.custNo = textOf(row, "CustNo");
    p.name = textOf(row, "Name");
    // A row without the field is a male patient, as a new record starts.
    const QVariant sex = fieldOf(row, QStringLiteral("Sex"));
    p.male = sex.isNull() || sex.toBool();
    p.birthDate = numberOf(row, "DBirth");
    p.addr = textOf(row, "Addr");
    p.tel = textOf(row, "Tel");
    p.tel2 = textOf(row, "Tel2");
    p.tel3 = textOf(row, "Tel3");
    p.eMail = textOf(row, "EMail");
    p.bType = textOf(row, "BType");
    p.height = numberOf(row, "Height");
    p.weight = numberOf(row, "Weight");
    p.memo = textOf(row, "Memo");
    p.custCat = textOf(row, "CustCat");
    p.custFg = textOf(row, "CustFG");
    p.prtFg = flagOf(row, "PrtFG");
    p.premea = numberOf(row, "PREMEA");
    return p;
}

QVariantMap patientToRow(const PatientRecord& p) {
    return {
        {QStringLiteral("CustNo"), textValue(p.custNo)},
        {QStringLiteral("Name"), textValue(p.name)},
        {QStringLiteral("Sex"), flagValue(p.male)},
        {QStringLiteral("DBirth"), dateOrNone(p.birthDate)},
        {QStringLiteral("Addr"), textValue(p.addr)},
        {QStringLiteral("Tel"), textValue(p.tel)},
        {QStringLiteral("Tel2"), textValue(p.tel2)},
        {QStringLiteral("Tel3"), textValue(p.tel3)},
        {QStringLiteral("EMail"), textValue(p.eMail)},
        {QStringLiteral("BType"), textValue(p.bType)},
        {QStringLiteral("Height"), p.height},
        {QStringLiteral("Weight"), p.weight},
        {QStringLiteral("Memo"), textValue(p.memo)},
        {QStringLiteral("CustCat"), textValue(p.custCat)},
        {QStringLiteral("CustFG"), textValue(p.custFg)},
        {QStringLiteral("PrtFG"), flagValue(p.prtFg)},
        {QStringLiteral("PREMEA"), dateOrNone(p.premea)},
    };
}

QString joinNoteLines(const QStringList& lines) {
    if (lines.isEmpty())
        return QStringLiteral("");
    QString text = lines.join(QStringLiteral("\r\n"));
    // A last empty line needs a break of its own: one break at the end only closes a line.
    if (lines.last().isEmpty())
        text += QStringLiteral("\r\n");
    return text;
}

QStringList splitNoteLines(const QString& text) {
    if (text.isEmpty())
        return {};
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    QString body = text;
    if (body.endsWith(QStringLiteral("\r\n")))
        body.chop(2);
    else if (body.endsWith(QLatin1Char('\n')) || body.endsWith(QLatin1Char('\r')))
        body.chop(1);
    return body.split(lineBreak);
}

MeasurementRecord measurementFromRow(const QSqlRecord& row, QString* custNo) {
    MeasurementRecord m;
    for (int k = 1; k <= kPointCount; ++k)
        m.values[k - 1] = numberOf(row, pointField(k));
    // Rows without STD (typed in by hand, or from files older than the field) score 0.
    const std::array<double, kStdPoints> scores = unpackStd(textOf(row, "STD"));
    std::copy(scores.begin(), scores.end(), m.quality.begin());
    m.dateTime = numberOf(row, "ZeDate");
    m.highPotential = flagOf(row, "ZeVota");
    m.notes = splitNoteLines(textOf(row, "MEMO1"));
    m.key = fieldOf(row, QStringLiteral("MKEY")).toInt();
    if (custNo)
        *custNo = textOf(row, "CustNo");
    return m;
}

QVariantMap measurementToRow(const MeasurementRecord& m, const QString& custNo, bool withQuality) {
    QVariantMap row{
        {QStringLiteral("CustNo"), textValue(custNo)},
        {QStringLiteral("ZeDate"), m.dateTime},
        {QStringLiteral("ZeVota"), flagValue(m.highPotential)},
        {QStringLiteral("MEMO1"), joinNoteLines(m.notes)},
    };
    for (int k = 1; k <= kPointCount; ++k)
        row.insert(pointField(k), m.values[k - 1]);
    if (withQuality) {
        std::array<double, kStdPoints> scores{};
        std::copy(m.quality.begin(), m.quality.end(), scores.begin());
        row.insert(QStringLiteral("STD"), packStd(scores));
    }
    return row;
}

// --- Errors ---

StoreError storeErrorOf(const QSqlError& error, const QString& action, bool writing,
                        const QString& databasePath) {
    bool numeric = false;
    const int code = error.nativeErrorCode().toInt(&numeric);
    // SQLite's extended codes keep the primary code in the low byte.
    const int primary = numeric ? (code & 0xFF) : -1;
    const QString cannot = writing ? QStringLiteral("The patient database cannot be written: ")
                                   : QStringLiteral("The patient database cannot be read: ");
    StoreError e{Kind::Other, {}};
    QString cause;
    switch (primary) {
    case 5: // BUSY
    case 6: // LOCKED
        e.kind = Kind::Busy;
        cause = cannot + QStringLiteral("another program is using it; try again in a moment.");
        break;
    case 3:  // PERM
    case 8:  // READONLY
    case 23: // AUTH
        e.kind = Kind::ReadOnly;
        cause = cannot + QStringLiteral("it is read-only.");
        break;
    case 14: // CANTOPEN: for a write, mostly the journal in a folder that cannot be written
        e.kind = writing ? Kind::ReadOnly : Kind::Other;
        cause = writing ? cannot + QStringLiteral("it or its folder is read-only.")
                        : cannot + QStringLiteral("the file cannot be opened.");
        break;
    case 13: // FULL
        e.kind = Kind::DiskFull;
        cause = cannot + QStringLiteral("the disk is full.");
        break;
    case 10: // IOERR: a write refused for want of room is reported as a plain write error
        if (writing && noRoomToWrite(databasePath)) {
            e.kind = Kind::DiskFull;
            cause = cannot + QStringLiteral("the disk is full.");
        } else {
            cause = cannot + QStringLiteral("the disk reported an error.");
        }
        break;
    case 11: // CORRUPT
    case 26: // NOTADB
        e.kind = Kind::Damaged;
        cause = QStringLiteral("The patient database is damaged.");
        break;
    default:
        cause = cannot + error.text().trimmed();
        break;
    }
    e.message = action.isEmpty() ? cause : action + QLatin1Char(' ') + cause;
    return e;
}

// --- The store ---

PatientStore::PatientStore(QSqlDatabase db) : db_(std::move(db)) {}

QString PatientStore::takenNumberNotice(const QString& holderName) {
    return QStringLiteral("atient number is already taken and is named") + QStringLiteral("\r\n") +
           QStringLiteral(" [ ") + holderName.trimmed() + QStringLiteral(" ] ! ") +
           QStringLiteral("\r\n") + QStringLiteral("Please input a new number.");
}

bool PatientStore::isStorableValue(double value) {
    return value == 0 || (value >= kMinValue && value <= kMaxValue);
}

StoreError PatientStore::fail(const QSqlError& sqlError, const QString& action,
                              bool writing) const {
    return storeErrorOf(sqlError, action, writing, db_.databaseName());
}

namespace {

bool report(const StoreError& result, StoreError* error) {
    if (result)
        qCWarning(lcRecords).noquote() << result.message;
    if (error)
        *error = result;
    return !result;
}

} // namespace

bool PatientStore::write(const QString& action, const std::function<StoreError()>& body,
                         StoreError* error) {
    StoreError result;
    for (int attempt = 0;; ++attempt) {
        {
            Transaction transaction(db_, Transaction::Intent::Write);
            if (!transaction.isActive()) {
                result = fail(transaction.sqlError(), action, true);
            } else {
                result = body();
                if (!result && !transaction.commit())
                    result = fail(transaction.sqlError(), action, true);
            }
            // Anything not committed is rolled back here.
        }
        if (result.kind != Kind::Busy || attempt >= kBusyRetries)
            break;
        qCInfo(lcRecords) << "database busy, trying again:" << action;
        QThread::msleep(kBusyPauseMs);
    }
    return report(result, error);
}

std::optional<PatientRecord> PatientStore::patient(const QString& custNo, StoreError* error) const {
    const QString number = custNo.trimmed();
    PatientMatch match;
    QSqlError sqlError;
    StoreError result;
    if (!findPatientRow(db_, number, &match, &sqlError))
        result = fail(sqlError, QStringLiteral("The patient could not be read."), false);
    else if (!match.found)
        result = refusal(Kind::NotFound, noPatientText(number));
    // A number nobody has is an answer, not a failure of the database.
    if (result.kind == Kind::NotFound) {
        if (error)
            *error = result;
    } else {
        report(result, error);
    }
    if (!match.found)
        return std::nullopt;
    return patientFromRow(match.row);
}

bool PatientStore::addPatient(const PatientRecord& patient, StoreError* error) {
    const QString action = QStringLiteral("The patient was not added.");
    PatientRecord p = patient;
    p.custNo = p.custNo.trimmed();
    if (p.custNo.isEmpty())
        return report(
            refusal(Kind::Invalid, action + QStringLiteral(" It needs a patient number.")), error);
    if (p.custNo.size() > kPatientNumberLimit)
        return report(
            refusal(Kind::Invalid, action + QStringLiteral(" A patient number takes at most %1 "
                                                           "characters.")
                                                .arg(kPatientNumberLimit)),
            error);
    if (!std::isfinite(p.birthDate) || !std::isfinite(p.height) || !std::isfinite(p.weight))
        return report(refusal(Kind::Invalid, action + QStringLiteral(" A number is not valid.")),
                      error);
    p.name = heldText(p.name, kNameLimit);
    p.addr = heldText(p.addr, kAddressLimit);
    p.tel = heldText(p.tel, kPhoneLimit);
    p.tel2 = heldText(p.tel2, kPhoneLimit);
    p.tel3 = heldText(p.tel3, kPhoneLimit);
    p.eMail = heldText(p.eMail, kEMailLimit);
    p.memo = p.memo.trimmed();
    // The date only; the time of day of a birth is not kept.
    p.birthDate = isDate(p.birthDate) ? std::floor(p.birthDate) : kNoDate;
    p.premea = kNoDate;
    return write(
        action,
        [&]() -> StoreError {
            PatientMatch holder;
            QSqlError sqlError;
            if (!findPatientRow(db_, p.custNo, &holder, &sqlError))
                return fail(sqlError, action, true);
            if (holder.found)
                return refusal(Kind::Taken, takenNumberNotice(textOf(holder.row, "Name")));
            QSqlQuery q(db_);
            if (!insertRow(q, zeCustTable().name, patientToRow(p)))
                return fail(q.lastError(), action, true);
            return {};
        },
        error);
}

bool PatientStore::updatePatient(const QString& custNo, const PatientRecord& changed,
                                 StoreError* error) {
    const QString action = QStringLiteral("The patient record was not changed.");
    const QString number = custNo.trimmed();
    const QString newNumber = changed.custNo.trimmed();
    if (newNumber.isEmpty())
        return report(
            refusal(Kind::Invalid, action + QStringLiteral(" It needs a patient number.")), error);
    if (!std::isfinite(changed.birthDate) || !std::isfinite(changed.height) ||
        !std::isfinite(changed.weight))
        return report(refusal(Kind::Invalid, action + QStringLiteral(" A number is not valid.")),
                      error);
    return write(
        action,
        [&]() -> StoreError {
            PatientMatch self;
            QSqlError sqlError;
            if (!findPatientRow(db_, number, &self, &sqlError))
                return fail(sqlError, action, true);
            if (!self.found)
                return refusal(Kind::NotFound, action + QLatin1Char(' ') + noPatientText(number));
            const bool renumber = newNumber != self.custNo;
            if (renumber) {
                // A stored number longer than a new one may be is kept, and may change its
                // letter case; a new number is held to the limit.
                if (newNumber.size() > kPatientNumberLimit &&
                    newNumber.compare(self.custNo, Qt::CaseInsensitive) != 0)
                    return refusal(Kind::Invalid,
                                   action + QStringLiteral(" A patient number takes at most %1 "
                                                           "characters.")
                                                .arg(kPatientNumberLimit));
                QSqlQuery q(db_);
                if (!run(q, QStringLiteral("SELECT CustNo, Name FROM ZeCust WHERE CustNo = ?"),
                         {newNumber}))
                    return fail(q.lastError(), action, true);
                while (q.next())
                    if (q.value(0).toString() != self.custNo)
                        return refusal(Kind::Taken, takenNumberNotice(q.value(1).toString()));
            }
            const PatientRecord stored = patientFromRow(self.row);
            // Texts the editor shows as they are stay as they are, even longer ones from older
            // files; a changed text is held to what the editor takes.
            auto kept = [](const QString& now, const QString& before, int limit) {
                const QString t = now.trimmed();
                return t == before ? before : t.left(limit);
            };
            PatientRecord p = changed;
            p.custNo = newNumber;
            p.name = kept(changed.name, stored.name, kNameLimit);
            p.addr = kept(changed.addr, stored.addr, kAddressLimit);
            p.tel = kept(changed.tel, stored.tel, kPhoneLimit);
            p.tel2 = kept(changed.tel2, stored.tel2, kPhoneLimit);
            p.tel3 = kept(changed.tel3, stored.tel3, kPhoneLimit);
            p.eMail = kept(changed.eMail, stored.eMail, kEMailLimit);
            p.memo = changed.memo.trimmed();
            p.birthDate = isDate(changed.birthDate) ? std::floor(changed.birthDate) : kNoDate;
            QVariantMap row = patientToRow(p);
            // The latest measurement date follows the measurements, not the editor.
            row.remove(QStringLiteral("PREMEA"));
            QSqlQuery q(db_);
            if (!updateRows(q, zeCustTable().name, row, QStringLiteral("CustNo"), self.custNo))
                return fail(q.lastError(), action, true);
            // The traces are keyed by MKEY and so follow the measurements by themselves.
            if (renumber && !run(q, QStringLiteral("UPDATE ZeData SET CustNo = ? WHERE CustNo = ?"),
                                 {newNumber, self.custNo}))
                return fail(q.lastError(), action, true);
            return {};
        },
        error);
}

bool PatientStore::deletePatient(const QString& custNo, StoreError* error) {
    const QString action = QStringLiteral("The patient was not deleted.");
    const QString number = custNo.trimmed();
    return write(
        action,
        [&]() -> StoreError {
            PatientMatch self;
            QSqlError sqlError;
            if (!findPatientRow(db_, number, &self, &sqlError))
                return fail(sqlError, action, true);
            if (!self.found)
                return refusal(Kind::NotFound, action + QLatin1Char(' ') + noPatientText(number));
            QSqlQuery q(db_);
            if (hasRawTable(db_) &&
                !run(q,
                     QStringLiteral("DELETE FROM ZeRaw WHERE MKEY IN "
                                    "(SELECT MKEY FROM ZeData WHERE CustNo = ?)"),
                     {self.custNo}))
                return fail(q.lastError(), action, true);
            if (!run(q, QStringLiteral("DELETE FROM ZeData WHERE CustNo = ?"), {self.custNo}) ||
                !run(q, QStringLiteral("DELETE FROM ZeCust WHERE CustNo = ?"), {self.custNo}))
                return fail(q.lastError(), action, true);
            return {};
        },
        error);
}

std::vector<MeasurementSummary> PatientStore::measurements(const QString& custNo,
                                                           StoreError* error) const {
    std::vector<MeasurementSummary> list;
    QStringList columns{QStringLiteral("MKEY"), QStringLiteral("ZeDate"), QStringLiteral("ZeVota")};
    for (int k = 1; k <= kPointCount; ++k)
        columns << pointField(k);
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    // Newest first; measurements of one moment by the order they were stored, latest first.
    if (!run(q,
             QStringLiteral("SELECT %1 FROM ZeData WHERE CustNo = ? ORDER BY ZeDate DESC, "
                            "MKEY DESC")
                 .arg(columns.join(QStringLiteral(", "))),
             {custNo.trimmed()})) {
        report(fail(q.lastError(), QStringLiteral("The measurements could not be read."), false),
               error);
        return {};
    }
    while (q.next()) {
        MeasurementSummary s;
        s.mkey = q.value(0).toInt();
        s.zeDate = q.value(1).toDouble();
        s.highPotential = q.value(2).toBool();
        double sum = 0;
        for (int i = 0; i < kPointCount; ++i) {
            bool ok = false;
            const double v = q.value(3 + i).toDouble(&ok);
            s.values[i] = ok && std::isfinite(v) ? v : 0.0;
            sum += s.values[i];
        }
        s.average = sum / kPointCount;
        list.push_back(s);
    }
    if (error)
        *error = {};
    return list;
}

std::optional<MeasurementRecord>
PatientStore::measurement(int mkey, bool withTraces, QString* custNo, StoreError* error) const {
    const QString action = QStringLiteral("The measurement could not be read.");
    QSqlQuery q(db_);
    if (!run(q, QStringLiteral("SELECT * FROM ZeData WHERE MKEY = ?"), {mkey})) {
        report(fail(q.lastError(), action, false), error);
        return std::nullopt;
    }
    if (!q.next()) {
        if (error)
            *error = refusal(Kind::NotFound, noMeasurementText(mkey));
        return std::nullopt;
    }
    MeasurementRecord m = measurementFromRow(q.record(), custNo);
    q.finish();
    if (withTraces && hasRawTable(db_)) {
        if (!run(q,
                 QStringLiteral("SELECT PointNo, Averaged, Trace FROM ZeRaw WHERE MKEY = ? "
                                "ORDER BY PointNo"),
                 {mkey})) {
            report(fail(q.lastError(), action, false), error);
            return std::nullopt;
        }
        while (q.next()) {
            const int point = q.value(0).toInt();
            if (point < 1 || point > kPointCount)
                continue;
            QString why;
            std::optional<PointTrace> trace = unpackTrace(q.value(2).toByteArray(), &why);
            if (!trace) {
                // The values are whole without it: the measurement still loads.
                qCWarning(lcRecords).noquote()
                    << QStringLiteral("Measurement %1, point %2: trace skipped: %3")
                           .arg(mkey)
                           .arg(point)
                           .arg(why);
                continue;
            }
            m.traces[point - 1] = std::move(*trace);
            m.samples[point - 1] = q.value(1).toInt();
        }
    }
    if (error)
        *error = {};
    return m;
}

StoreError PatientStore::insertMeasurement(const QString& custNo, const MeasurementRecord& m,
                                           bool asMeasured, const QString& action, int* mkey) {
    PatientMatch owner;
    QSqlError sqlError;
    if (!findPatientRow(db_, custNo.trimmed(), &owner, &sqlError))
        return fail(sqlError, action, true);
    if (!owner.found)
        return refusal(Kind::NotFound, action + QLatin1Char(' ') + noPatientText(custNo.trimmed()));
    QSqlQuery q(db_);
    // Stored under the number as the patient row spells it, so the link is exact.
    if (!insertRow(q, zeDataTable().name, measurementToRow(m, owner.custNo, asMeasured)))
        return fail(q.lastError(), action, true);
    QVariant key;
    if (db_.driver()->hasFeature(QSqlDriver::LastInsertId))
        key = q.lastInsertId();
    if (!key.isValid() || key.toInt() <= 0) {
        // A driver that cannot tell the new key: the patient's highest one is it, as this
        // transaction holds the write lock.
        if (!run(q, QStringLiteral("SELECT max(MKEY) FROM ZeData WHERE CustNo = ?"),
                 {owner.custNo}) ||
            !q.next())
            return fail(q.lastError(), action, true);
        key = q.value(0);
    }
    *mkey = key.toInt();
    if (asMeasured) {
        bool anyTrace = false;
        for (const PointTrace& t : m.traces)
            anyTrace = anyTrace || !t.empty();
        if (anyTrace && !hasRawTable(db_)) {
            qCWarning(lcRecords) << "the database has no ZeRaw table: the traces of measurement"
                                 << *mkey << "are not stored";
        } else if (anyTrace) {
            QSqlQuery raw(db_);
            // Rows under this key are left from a file whose key counter was reset: they are
            // not this measurement's.
            if (!run(raw, QStringLiteral("DELETE FROM ZeRaw WHERE MKEY = ?"), {*mkey}))
                return fail(raw.lastError(), action, true);
            if (!raw.prepare(QStringLiteral("INSERT INTO ZeRaw (MKEY, PointNo, Readings, "
                                            "Averaged, Trace) VALUES (?, ?, ?, ?, ?)")))
                return fail(raw.lastError(), action, true);
            for (int i = 0; i < kPointCount; ++i) {
                const PointTrace& trace = m.traces[i];
                if (trace.empty())
                    continue;
                raw.addBindValue(*mkey);
                raw.addBindValue(i + 1);
                raw.addBindValue(static_cast<qlonglong>(trace.size()));
                raw.addBindValue(std::max(0, m.samples[i]));
                raw.addBindValue(packTrace(trace));
                if (!raw.exec())
                    return fail(raw.lastError(), action, true);
            }
        }
        if (!run(q,
                 QStringLiteral("UPDATE ZeCust SET PREMEA = ? WHERE CustNo = ? AND "
                                "(PREMEA IS NULL OR PREMEA < ?)"),
                 {m.dateTime, owner.custNo, m.dateTime}))
            return fail(q.lastError(), action, true);
    } else if (!refreshLatest(db_, owner.custNo, &sqlError)) {
        return fail(sqlError, action, true);
    }
    return {};
}

std::optional<int> PatientStore::saveMeasurement(const QString& custNo, const MeasurementRecord& m,
                                                 StoreError* error) {
    const QString action = QStringLiteral("The measurement was not saved.");
    if (const QString why = valueProblem(m); !why.isEmpty()) {
        report(refusal(Kind::Invalid, action + QLatin1Char(' ') + why), error);
        return std::nullopt;
    }
    int mkey = 0;
    if (!write(
            action, [&]() { return insertMeasurement(custNo, m, true, action, &mkey); }, error))
        return std::nullopt;
    return mkey;
}

std::optional<int> PatientStore::addManualMeasurement(const QString& custNo,
                                                      const MeasurementRecord& m,
                                                      StoreError* error) {
    const QString action = QStringLiteral("The measurement was not added.");
    if (const QString why = valueProblem(m); !why.isEmpty()) {
        report(refusal(Kind::Invalid, action + QLatin1Char(' ') + why), error);
        return std::nullopt;
    }
    int mkey = 0;
    if (!write(
            action, [&]() { return insertMeasurement(custNo, m, false, action, &mkey); }, error))
        return std::nullopt;
    return mkey;
}

bool PatientStore::updateMeasurementValues(int mkey, const MeasurementRecord& m,
                                           StoreError* error) {
    const QString action = QStringLiteral("The measurement was not changed.");
    if (const QString why = valueProblem(m); !why.isEmpty())
        return report(refusal(Kind::Invalid, action + QLatin1Char(' ') + why), error);
    return write(
        action,
        [&]() -> StoreError {
            QSqlQuery q(db_);
            if (!run(q, QStringLiteral("SELECT CustNo FROM ZeData WHERE MKEY = ?"), {mkey}))
                return fail(q.lastError(), action, true);
            if (!q.next())
                return refusal(Kind::NotFound, action + QLatin1Char(' ') + noMeasurementText(mkey));
            const QString owner = q.value(0).toString();
            QVariantMap row = measurementToRow(m, owner, false);
            // The owner stays, and so do the quality scores and the traces.
            row.remove(QStringLiteral("CustNo"));
            QSqlError sqlError;
            if (!updateRows(q, zeDataTable().name, row, QStringLiteral("MKEY"), mkey))
                return fail(q.lastError(), action, true);
            if (!refreshLatest(db_, owner, &sqlError))
                return fail(sqlError, action, true);
            return {};
        },
        error);
}

bool PatientStore::deleteMeasurement(int mkey, StoreError* error) {
    const QString action = QStringLiteral("The measurement was not deleted.");
    return write(
        action,
        [&]() -> StoreError {
            QSqlQuery q(db_);
            if (!run(q, QStringLiteral("SELECT CustNo FROM ZeData WHERE MKEY = ?"), {mkey}))
                return fail(q.lastError(), action, true);
            if (!q.next())
                return refusal(Kind::NotFound, action + QLatin1Char(' ') + noMeasurementText(mkey));
            const QString owner = q.value(0).toString();
            if (hasRawTable(db_) &&
                !run(q, QStringLiteral("DELETE FROM ZeRaw WHERE MKEY = ?"), {mkey}))
                return fail(q.lastError(), action, true);
            if (!run(q, QStringLiteral("DELETE FROM ZeData WHERE MKEY = ?"), {mkey}))
                return fail(q.lastError(), action, true);
            QSqlError sqlError;
            if (!refreshLatest(db_, owner, &sqlError))
                return fail(sqlError, action, true);
            return {};
        },
        error);
}

} // namespace viro
