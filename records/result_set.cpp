#include "records/result_set.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>

#include <algorithm>
#include <unordered_set>

namespace viro {

namespace {

constexpr int kBlockRows = 1000;
constexpr int kCachedBlocks = 16;

QString quoted(const QString& name) {
    return QLatin1Char('"') + name + QLatin1Char('"');
}

bool validOrder(const QString& order) {
    static const QRegularExpression re(
        QStringLiteral(R"(^\s*[A-Za-z_][A-Za-z0-9_]*(\s+(ASC|DESC))?)"
                       R"((\s*,\s*[A-Za-z_][A-Za-z0-9_]*(\s+(ASC|DESC))?)*\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    return re.match(order).hasMatch();
}

void bindAll(QSqlQuery& q, const QVariantList& values) {
    for (const QVariant& v : values)
        q.addBindValue(v);
}

// Bound values as SQLite stores them: flags as 0/1.
QVariant storable(const QVariant& v) {
    if (v.typeId() == QMetaType::Bool)
        return QVariant(v.toBool() ? 1 : 0);
    return v;
}

} // namespace

QString Selection::statement() const {
    QString s = QStringLiteral("SELECT rowid FROM ") + quoted(table);
    if (!filter.isEmpty())
        s += QStringLiteral(" WHERE ") + filter;
    if (!order.isEmpty())
        s += QStringLiteral(" ORDER BY ") + order;
    return s;
}

ResultSet::ResultSet(const QSqlDatabase& db, QObject* parent) : QObject(parent), db_(db) {}

ResultSet::~ResultSet() = default;

bool ResultSet::fail(const QString& message, QString* error) {
    lastError_ = message;
    if (error)
        *error = message;
    return false;
}

bool ResultSet::open(const Selection& selection, QString* error) {
    close();
    if (!db_.isOpen())
        return fail(QStringLiteral("the database is not open"), error);
    const QSqlRecord columns = db_.record(selection.table);
    if (columns.isEmpty())
        return fail(QStringLiteral("no table ") + selection.table, error);
    if (!selection.order.isEmpty() && !validOrder(selection.order))
        return fail(QStringLiteral("invalid sort text: ") + selection.order, error);
    selection_ = selection;
    columns_ = columns;
    columns_.clearValues();
    state_ = State::Browse;
    if (master_)
        linkValue_ = master_->atEnd() ? QVariant() : master_->value(linkField_);
    if (!load(error)) {
        state_ = State::Closed;
        return false;
    }
    setCurrent(rowids_.empty() ? -1 : 0);
    return true;
}

bool ResultSet::openTable(const QString& table, const QString& order, QString* error) {
    Selection s;
    s.table = table;
    s.order = order;
    return open(s, error);
}

void ResultSet::close() {
    state_ = State::Closed;
    rowids_.clear();
    dropCache();
    current_ = -1;
    buffer_ = QSqlRecord();
    changed_.clear();
}

QString ResultSet::effectiveFilter() const {
    if (!master_)
        return selection_.filter;
    QStringList parts;
    if (!selection_.filter.isEmpty())
        parts << QLatin1Char('(') + selection_.filter + QLatin1Char(')');
    // No master row: the detail shows nothing.
    if (linkValue_.isValid() && !linkValue_.isNull())
        parts << quoted(linkField_) + QStringLiteral(" = ?");
    else
        parts << QStringLiteral("0 = 1");
    return parts.join(QStringLiteral(" AND "));
}

QVariantList ResultSet::effectiveBindings() const {
    QVariantList b = selection_.bindings;
    if (master_ && linkValue_.isValid() && !linkValue_.isNull())
        b << linkValue_;
    return b;
}

bool ResultSet::load(QString* error) {
    rowids_.clear();
    dropCache();
    Selection rows = selection_;
    rows.filter = effectiveFilter();
    rows.bindings = effectiveBindings();
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.prepare(rows.statement()))
        return fail(q.lastError().text(), error);
    bindAll(q, rows.bindings);
    if (!q.exec())
        return fail(q.lastError().text(), error);
    while (q.next())
        rowids_.push_back(q.value(0).toLongLong());
    if (q.lastError().isValid())
        return fail(q.lastError().text(), error);
    return true;
}

void ResultSet::dropCache() const {
    blocks_.clear();
}

bool ResultSet::fetchBlock(int block) const {
    if (blocks_.count(block))
        return true;
    if (int(blocks_.size()) >= kCachedBlocks)
        blocks_.clear();
    const int begin = block * kBlockRows;
    const int end = std::min<int>(begin + kBlockRows, int(rowids_.size()));
    if (begin >= end)
        return false;
    QStringList marks;
    for (int i = begin; i < end; ++i)
        marks << QStringLiteral("?");
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT rowid, * FROM ") + quoted(selection_.table) +
                   QStringLiteral(" WHERE rowid IN (") + marks.join(QLatin1Char(',')) +
                   QLatin1Char(')'))) {
        lastError_ = q.lastError().text();
        return false;
    }
    for (int i = begin; i < end; ++i)
        q.addBindValue(rowids_[i]);
    if (!q.exec()) {
        lastError_ = q.lastError().text();
        return false;
    }
    std::unordered_map<qint64, QSqlRecord> byId;
    while (q.next()) {
        QSqlRecord r = q.record();
        const qint64 id = r.value(0).toLongLong();
        r.remove(0);
        byId.emplace(id, std::move(r));
    }
    if (q.lastError().isValid()) {
        // Rows cut short by a read error would pass for rows deleted meanwhile.
        lastError_ = q.lastError().text();
        return false;
    }
    std::vector<QSqlRecord> rows;
    rows.reserve(end - begin);
    for (int i = begin; i < end; ++i) {
        auto it = byId.find(rowids_[i]);
        rows.push_back(it != byId.end() ? it->second : columns_); // gone: reads as empty
    }
    blocks_.emplace(block, std::move(rows));
    return true;
}

const QSqlRecord* ResultSet::currentRecord() const {
    if (state_ == State::Closed || atEnd())
        return nullptr;
    const int block = current_ / kBlockRows;
    if (!fetchBlock(block))
        return nullptr;
    return &blocks_.at(block)[current_ % kBlockRows];
}

bool ResultSet::setCurrent(int index) {
    // Moving away writes the pending change first; when it cannot be written the row stays.
    if ((state_ == State::Edit || state_ == State::Insert) && !post())
        return false;
    current_ = index;
    emit currentRowChanged();
    return !atEnd();
}

bool ResultSet::first() {
    return isOpen() && setCurrent(rowids_.empty() ? -1 : 0);
}
bool ResultSet::last() {
    return isOpen() && setCurrent(int(rowids_.size()) - 1);
}

bool ResultSet::next() {
    if (!isOpen() || atEnd())
        return false;
    return setCurrent(current_ + 1);
}

bool ResultSet::prior() {
    if (!isOpen() || current_ <= 0)
        return false;
    return setCurrent(current_ - 1);
}

bool ResultSet::moveTo(int rowNumber) {
    if (!isOpen() || rowNumber < 1 || rowNumber > rowCount())
        return false;
    return setCurrent(rowNumber - 1);
}

QStringList ResultSet::fieldNames() const {
    QStringList names;
    for (int i = 0; i < columns_.count(); ++i)
        names << columns_.fieldName(i);
    return names;
}

QString ResultSet::canonicalField(const QString& name) const {
    for (int i = 0; i < columns_.count(); ++i)
        if (columns_.fieldName(i).compare(name, Qt::CaseInsensitive) == 0)
            return columns_.fieldName(i);
    return {};
}

bool ResultSet::hasField(const QString& name) const {
    return !canonicalField(name).isEmpty();
}

QVariant ResultSet::value(const QString& name) const {
    const QString field = canonicalField(name);
    if (field.isEmpty())
        return {};
    if (state_ == State::Edit || state_ == State::Insert)
        return buffer_.value(field);
    const QSqlRecord* r = currentRecord();
    return r ? r->value(field) : QVariant();
}

QString ResultSet::text(const QString& name) const {
    return value(name).toString();
}
double ResultSet::number(const QString& name) const {
    return value(name).toDouble();
}
qint64 ResultSet::integer(const QString& name) const {
    return value(name).toLongLong();
}
QByteArray ResultSet::bytes(const QString& name) const {
    return value(name).toByteArray();
}

bool ResultSet::flag(const QString& name) const {
    const QVariant v = value(name);
    if (v.typeId() == QMetaType::QString)
        return v.toString() == QLatin1String("1") ||
               v.toString().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
    return v.toLongLong() != 0;
}

bool ResultSet::append() {
    if (!isOpen())
        return false;
    if (state_ != State::Browse && !post())
        return false;
    buffer_ = columns_;
    changed_.clear();
    state_ = State::Insert;
    // A new detail row belongs to the master's current row.
    if (master_ && linkValue_.isValid() && !linkValue_.isNull()) {
        const QString link = canonicalField(linkField_);
        if (!link.isEmpty()) {
            buffer_.setValue(link, linkValue_);
            changed_ << link;
        }
    }
    return true;
}

bool ResultSet::edit() {
    if (!isOpen() || atEnd())
        return false;
    if (state_ == State::Edit)
        return true;
    if (state_ == State::Insert && !post())
        return false;
    const QSqlRecord* r = currentRecord();
    if (!r)
        return false;
    buffer_ = *r;
    changed_.clear();
    state_ = State::Edit;
    return true;
}

bool ResultSet::setValue(const QString& name, const QVariant& value) {
    if (state_ != State::Edit && state_ != State::Insert)
        return fail(QStringLiteral("not editing"), nullptr);
    const QString field = canonicalField(name);
    if (field.isEmpty())
        return fail(QStringLiteral("no field ") + name, nullptr);
    buffer_.setValue(field, storable(value));
    if (!changed_.contains(field))
        changed_ << field;
    return true;
}

bool ResultSet::post(QString* error) {
    if (state_ == State::Browse)
        return true;
    if (state_ == State::Closed)
        return fail(QStringLiteral("the result set is closed"), error);
    QSqlQuery q(db_);
    QVariantList values;
    for (const QString& f : changed_)
        values << buffer_.value(f);
    if (state_ == State::Insert) {
        QString sql = QStringLiteral("INSERT INTO ") + quoted(selection_.table);
        if (changed_.isEmpty()) {
            sql += QStringLiteral(" DEFAULT VALUES");
        } else {
            QStringList names, marks;
            for (const QString& f : changed_) {
                names << quoted(f);
                marks << QStringLiteral("?");
            }
            sql += QStringLiteral(" (") + names.join(QStringLiteral(", ")) +
                   QStringLiteral(") VALUES (") + marks.join(QStringLiteral(", ")) +
                   QLatin1Char(')');
        }
        if (!q.prepare(sql))
            return fail(q.lastError().text(), error);
        bindAll(q, values);
        if (!q.exec())
            return fail(q.lastError().text(), error);
        const qint64 id = q.lastInsertId().toLongLong();
        rowids_.push_back(id);
        blocks_.erase(int(rowids_.size() - 1) / kBlockRows);
        state_ = State::Browse;
        buffer_ = QSqlRecord();
        changed_.clear();
        current_ = int(rowids_.size()) - 1;
        emit currentRowChanged();
        return true;
    }
    // Edit
    if (!changed_.isEmpty()) {
        QStringList sets;
        for (const QString& f : changed_)
            sets << quoted(f) + QStringLiteral(" = ?");
        if (!q.prepare(QStringLiteral("UPDATE ") + quoted(selection_.table) +
                       QStringLiteral(" SET ") + sets.join(QStringLiteral(", ")) +
                       QStringLiteral(" WHERE rowid = ?")))
            return fail(q.lastError().text(), error);
        bindAll(q, values);
        q.addBindValue(rowids_[current_]);
        if (!q.exec())
            return fail(q.lastError().text(), error);
        if (q.numRowsAffected() != 1)
            return fail(QStringLiteral("the row was deleted meanwhile"), error);
        blocks_.erase(current_ / kBlockRows);
    }
    state_ = State::Browse;
    buffer_ = QSqlRecord();
    changed_.clear();
    emit currentRowChanged();
    return true;
}

void ResultSet::cancel() {
    if (state_ == State::Edit || state_ == State::Insert)
        state_ = State::Browse;
    buffer_ = QSqlRecord();
    changed_.clear();
}

bool ResultSet::remove(QString* error) {
    if (state_ == State::Insert) {
        // The row being appended is the one removed; the rows already written stay.
        cancel();
        return true;
    }
    if (!isOpen() || atEnd())
        return fail(QStringLiteral("no current row"), error);
    cancel(); // the changes of a row being deleted go with it
    QSqlQuery q(db_);
    if (!q.prepare(QStringLiteral("DELETE FROM ") + quoted(selection_.table) +
                   QStringLiteral(" WHERE rowid = ?")))
        return fail(q.lastError().text(), error);
    q.addBindValue(rowids_[current_]);
    if (!q.exec())
        return fail(q.lastError().text(), error);
    rowids_.erase(rowids_.begin() + current_);
    dropCache();
    // The next row becomes current; after the last row, the one before it.
    setCurrent(std::min(current_, int(rowids_.size()) - 1));
    return true;
}

bool ResultSet::locate(const QString& name, const QVariant& value, LocateMode mode) {
    const QString field = canonicalField(name);
    if (!isOpen() || field.isEmpty() || rowids_.empty() || !value.isValid() || value.isNull())
        return false;
    QString cond;
    QVariantList binds = effectiveBindings();
    const bool isText = value.typeId() == QMetaType::QString;
    if (isText && mode == LocateMode::Prefix) {
        // A range on the case-folded order, so an index on the field serves the search.
        cond = quoted(field) + QStringLiteral(" >= ? COLLATE NOCASE AND ") + quoted(field) +
               QStringLiteral(" < ? COLLATE NOCASE");
        binds << value.toString() << value.toString() + QString::fromUcs4(U"\U0010FFFF", 1);
    } else if (isText) {
        cond = quoted(field) + QStringLiteral(" = ? COLLATE NOCASE");
        binds << value;
    } else {
        cond = quoted(field) + QStringLiteral(" = ?");
        binds << storable(value);
    }
    QString sql =
        QStringLiteral("SELECT rowid FROM ") + quoted(selection_.table) + QStringLiteral(" WHERE ");
    const QString filter = effectiveFilter();
    if (!filter.isEmpty())
        sql += QLatin1Char('(') + filter + QStringLiteral(") AND ");
    sql += QLatin1Char('(') + cond + QLatin1Char(')');
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        return false;
    bindAll(q, binds);
    if (!q.exec())
        return false;
    std::unordered_set<qint64> hits;
    while (q.next())
        hits.insert(q.value(0).toLongLong());
    if (hits.empty())
        return false;
    for (int i = 0; i < int(rowids_.size()); ++i) {
        if (hits.count(rowids_[i]))
            return setCurrent(i);
    }
    return false;
}

ResultSet::Bookmark ResultSet::bookmark() const {
    return atEnd() ? 0 : rowids_[current_];
}

bool ResultSet::gotoBookmark(Bookmark mark) {
    if (!isOpen() || mark == 0)
        return false;
    const auto it = std::find(rowids_.begin(), rowids_.end(), mark);
    if (it == rowids_.end())
        return false;
    return setCurrent(int(it - rowids_.begin()));
}

bool ResultSet::refresh(QString* error) {
    if (!isOpen())
        return fail(QStringLiteral("the result set is closed"), error);
    if (!post(error))
        return false;
    const Bookmark mark = bookmark();
    const int index = current_;
    if (!load(error))
        return false;
    if (!gotoBookmark(mark))
        setCurrent(std::min(index, int(rowids_.size()) - 1));
    return true;
}

bool ResultSet::setFilter(const QString& filter, const QVariantList& bindings, QString* error) {
    Selection s = selection_;
    s.filter = filter;
    s.bindings = bindings;
    return open(s, error);
}

void ResultSet::setMaster(ResultSet* master, const QString& linkField) {
    if (masterConnection_)
        disconnect(masterConnection_);
    master_ = master;
    linkField_ = linkField;
    linkValue_ = QVariant();
    if (master)
        masterConnection_ =
            connect(master, &ResultSet::currentRowChanged, this, &ResultSet::followMaster);
    if (isOpen())
        open(selection_);
}

void ResultSet::followMaster() {
    if (!master_ || !isOpen())
        return;
    const QVariant v = master_->atEnd() ? QVariant() : master_->value(linkField_);
    if (v == linkValue_ && v.isValid())
        return;
    // The pending change is written before the rows are replaced; when it cannot be, it stays
    // (with the error in lastError) and the rows follow at the master's next move.
    if (!post())
        return;
    linkValue_ = v;
    if (load(nullptr))
        setCurrent(rowids_.empty() ? -1 : 0);
}

QVariant ResultSet::displayValue(const QString& name) const {
    if (!display_ || atEnd())
        return {};
    return display_(*this).value(name);
}

} // namespace viro
