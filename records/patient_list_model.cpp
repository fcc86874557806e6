#include "records/patient_list_model.h"

#include "analysis/jet_date.h"
#include "records/log.h"
#include "records/patient_store.h"
#include "records/schema.h"
#include "records/statements.h"

#include <QLocale>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <cstdlib>

namespace viro {

namespace {

const QString kNumber = QStringLiteral("CustNo");

QString quoted(const QString& name) {
    return QLatin1Char('"') + name + QLatin1Char('"');
}

QString table() {
    return quoted(zeCustTable().name);
}

// A condition with its values, as bound parameters.
struct Condition {
    QString sql;
    QVariantList bindings;
};

// Rows that come before a row holding `value` in `column`, by that column alone. NULL sorts
// before every value (the list says so in its ORDER BY), and a comparison with NULL is never
// true, so NULL is spelt out.
Condition before(const QString& column, const QVariant& value, bool descending) {
    const QString c = quoted(column);
    if (value.isNull())
        return {descending ? c + QStringLiteral(" IS NOT NULL") : QStringLiteral("1 = 0"), {}};
    if (descending)
        return {c + QStringLiteral(" > ?"), {value}};
    return {QStringLiteral("(%1 IS NULL OR %1 < ?)").arg(c), {value}};
}

Condition same(const QString& column, const QVariant& value) {
    const QString c = quoted(column);
    if (value.isNull())
        return {c + QStringLiteral(" IS NULL"), {}};
    return {c + QStringLiteral(" = ?"), {value}};
}

// A LIKE pattern for texts that begin with `text`; its own '%', '_' and '!' stay literal.
QString likePrefix(const QString& text) {
    QString out;
    out.reserve(text.size() + 1);
    for (const QChar c : text) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('!'))
            out += QLatin1Char('!');
        out += c;
    }
    return out + QLatin1Char('%');
}
const QString kLikeEscape = QStringLiteral(" LIKE ? ESCAPE '!'");

// A sort key outside the columns sorts by patient number in its direction.
int listSortKey(int sortKey) {
    const int key = normalisedSortKey(sortKey);
    if (std::abs(key) > kPatientSortColumns)
        return key < 0 ? -1 : 1;
    return key;
}

// Runs a statement of the list; a failure is logged after `what`, saying what could not be done.
bool run(QSqlQuery& q, const QString& sql, const QVariantList& bindings, const char* what) {
    bool ok = q.prepare(sql);
    if (ok) {
        for (const QVariant& v : bindings)
            q.addBindValue(v);
        ok = q.exec();
    }
    if (!ok)
        qCWarning(lcRecords).noquote() << what << q.lastError().text();
    return ok;
}

double currentJetTime() {
    return jetFromDateTime(QDateTime::currentDateTime());
}

} // namespace

PatientListModel::PatientListModel(QSqlDatabase db, QObject* parent)
    : QAbstractTableModel(parent), db_(std::move(db)), now_(currentJetTime) {}

void PatientListModel::setNow(NowFn now) {
    now_ = now ? std::move(now) : NowFn(currentJetTime);
    if (rows_ > 0)
        emit dataChanged(index(0, AgeColumn), index(rows_ - 1, AgeColumn), {Qt::DisplayRole});
}

bool PatientListModel::open(int sortKey, QString* error) {
    beginResetModel();
    sortKey_ = listSortKey(sortKey);
    const FieldDef* field = zeCustTable().field(patientSortField(sortKey_));
    sortField_ = field ? field->name : kNumber;
    descending_ = sortDescending(sortKey_);
    windows_.clear();
    rows_ = 0;
    QSqlQuery q(db_);
    const bool ok = q.exec(QStringLiteral("SELECT COUNT(*) FROM ") + table()) && q.next();
    if (ok) {
        rows_ = q.value(0).toInt();
    } else {
        const QString message = q.lastError().text();
        qCWarning(lcRecords).noquote() << "The patient list cannot be read:" << message;
        if (error)
            *error = message;
    }
    endResetModel();
    return ok;
}

bool PatientListModel::refresh(QString* error) {
    return open(sortKey_, error);
}

bool PatientListModel::searchable(int sortKey) {
    switch (std::abs(listSortKey(sortKey))) {
    case GenderColumn:
    case AgeColumn:
    case LatestColumn:
        return false;
    default:
        return true;
    }
}

// Ties in the sort field go by patient number in the same direction. NULLs are put first
// (ascending) or last (descending) in so many words: that is SQLite's way, but a server may
// differ, and rowsBefore() counts on it.
QString PatientListModel::orderBy() const {
    const QString direction =
        descending_ ? QStringLiteral(" DESC NULLS LAST") : QStringLiteral(" ASC NULLS FIRST");
    QString order = quoted(sortField_) + direction;
    if (sortField_ != kNumber)
        order += QStringLiteral(", ") + quoted(kNumber) + direction;
    return order;
}

std::optional<int> PatientListModel::rowsBefore(const QVariant& sortValue,
                                                const QVariant& number) const {
    Condition c = before(kNumber, number, descending_);
    if (sortField_ != kNumber) {
        const Condition first = before(sortField_, sortValue, descending_);
        const Condition tie = same(sortField_, sortValue);
        c = {QStringLiteral("%1 OR (%2 AND %3)").arg(first.sql, tie.sql, c.sql),
             first.bindings + tie.bindings + c.bindings};
    }
    QSqlQuery q(db_);
    if (!run(q, QStringLiteral("SELECT COUNT(*) FROM %1 WHERE %2").arg(table(), c.sql), c.bindings,
             "The patient list cannot be searched:") ||
        !q.next())
        return std::nullopt;
    return q.value(0).toInt();
}

std::optional<int> PatientListModel::firstRowWhere(const QString& condition,
                                                   const QVariantList& bindings) const {
    QSqlQuery q(db_);
    const QString sql =
        QStringLiteral("SELECT %1, %2 FROM %3 WHERE %4 ORDER BY %5 LIMIT 1")
            .arg(quoted(sortField_), quoted(kNumber), table(), condition, orderBy());
    if (!run(q, sql, bindings, "The patient list cannot be searched:") || !q.next())
        return std::nullopt;
    const QVariant sortValue = q.value(0);
    const QVariant number = q.value(1);
    q.finish();
    const std::optional<int> row = rowsBefore(sortValue, number);
    // A row another program added since the list was read lies beyond its end.
    if (!row || *row >= rows_)
        return std::nullopt;
    return row;
}

std::optional<int> PatientListModel::rowOfNumber(const QString& custNo) const {
    const QString number = custNo.trimmed();
    if (number.isEmpty())
        return std::nullopt;
    // The column compares without regard to letter case.
    const std::optional<int> row =
        firstRowWhere(quoted(kNumber) + QStringLiteral(" = ?"), {number});
    if (!row)
        return std::nullopt;
    // Rows deleted elsewhere since the list was read would shift it.
    if (numberAt(*row).compare(number, Qt::CaseInsensitive) != 0) {
        qCWarning(lcRecords).noquote()
            << "The patient list is out of date: patient" << number << "is not at row" << *row + 1;
        return std::nullopt;
    }
    return row;
}

std::optional<int> PatientListModel::findPrefix(const QString& text) const {
    if (!searchable(sortKey_))
        return std::nullopt;
    if (std::abs(sortKey_) == BirthColumn) {
        const QDate day = QLocale().toDate(text.trimmed(), QLocale::ShortFormat);
        if (!day.isValid())
            return std::nullopt;
        // Birth dates carry no time, but a day is matched whole all the same.
        const double jet = jetFromDate(day);
        const QString c = quoted(sortField_);
        return firstRowWhere(QStringLiteral("%1 >= ? AND %1 < ?").arg(c), {jet, jet + 1});
    }
    return firstRowWhere(quoted(sortField_) + kLikeEscape, {likePrefix(text)});
}

std::optional<int> PatientListModel::findNumberPrefix(const QString& text) const {
    return firstRowWhere(quoted(kNumber) + kLikeEscape, {likePrefix(text)});
}

void PatientListModel::readWindow(Window& window) const {
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    // On failure the rows stay empty until the list is read again, rather than asked for at
    // every repaint.
    if (!run(
            q,
            QStringLiteral("SELECT * FROM %1 ORDER BY %2 LIMIT ? OFFSET ?").arg(table(), orderBy()),
            {kWindowRows, window.start}, "The patient list cannot be read:"))
        return;
    window.rows.reserve(kWindowRows);
    while (q.next())
        window.rows.push_back(patientFromRow(q.record()));
}

const PatientRecord* PatientListModel::rowAt(int row) const {
    if (row < 0 || row >= rows_)
        return nullptr;
    const int start = row - row % kWindowRows;
    auto it = std::find_if(windows_.begin(), windows_.end(),
                           [start](const Window& w) { return w.start == start; });
    if (it == windows_.end()) {
        Window w;
        w.start = start;
        readWindow(w);
        windows_.push_front(std::move(w));
        if (windows_.size() > kCachedWindows)
            windows_.pop_back();
    } else if (it != windows_.begin()) {
        std::rotate(windows_.begin(), it, it + 1);
    }
    const std::vector<PatientRecord>& rows = windows_.front().rows;
    const size_t at = size_t(row - start);
    return at < rows.size() ? &rows[at] : nullptr;
}

PatientRecord PatientListModel::patientAt(int row) const {
    const PatientRecord* p = rowAt(row);
    return p ? *p : PatientRecord{};
}

QString PatientListModel::numberAt(int row) const {
    const PatientRecord* p = rowAt(row);
    return p ? p->custNo : QString();
}

int PatientListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int PatientListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PatientListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_ || index.column() >= ColumnCount)
        return {};
    if (role != Qt::DisplayRole && role != ToneRole)
        return {};
    const int column = index.column();
    if (role == ToneRole && column != GenderColumn)
        return column == LatestColumn ? ButtonFaceTone : PlainTone;
    if (column == IndexColumn)
        return QString::number(index.row() + 1);
    const PatientRecord* p = rowAt(index.row());
    if (!p)
        return {};
    if (role == ToneRole)
        return p->male ? MaleTone : FemaleTone;
    switch (column) {
    case NumberColumn:
        return p->custNo;
    case NameColumn:
        return p->name;
    case GenderColumn:
        return p->male ? QStringLiteral("Male") : QStringLiteral("Female");
    case BirthColumn:
        return isDate(p->birthDate)
                   ? QLocale().toString(jetToDate(p->birthDate), QLocale::ShortFormat)
                   : QString();
    case AgeColumn:
        return isDate(p->birthDate) ? QString::asprintf("%3.1f", (now_() - p->birthDate) / 365.0)
                                    : QString();
    case LatestColumn:
        return isDate(p->premea)
                   ? QLocale().toString(jetToDateTime(p->premea), QLocale::ShortFormat)
                   : QString();
    case TelColumn:
        return p->tel;
    case AddressColumn:
        return p->addr;
    case EMailColumn:
        return p->eMail;
    case MobileColumn:
        return p->tel2;
    case FaxColumn:
        return p->tel3;
    default:
        return {};
    }
}

QVariant PatientListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    static const char* const headers[ColumnCount] = {
        "Index",   "Patient No", "Name",   "Gender",     "D.O.B.", "Age", "Latest Measurement Date",
        "Tel No.", "Address",    "e-mail", "Mobile No.", "Fax No."};
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return {};
    return QString::fromLatin1(headers[section]);
}

} // namespace viro
