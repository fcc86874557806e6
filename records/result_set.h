#pragma once

#include <QObject>
#include <QPointer>
#include <QSqlDatabase>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <map>
#include <vector>

namespace viro {

// What a result set shows: the rows of one table, optionally filtered and sorted. Values reach
// SQL only as bound parameters; `filter` and `order` are program texts, never user input.
struct Selection {
    QString table;
    QString filter;        // condition with "?" placeholders, empty for every row
    QVariantList bindings; // values for the placeholders, in order
    QString order;         // "ZeDate DESC", "CustNo ASC"; empty for the table's own order

    // The statement a result set runs to find its rows, in order, with the placeholders kept:
    // "SELECT rowid FROM "table" [WHERE filter] [ORDER BY order]". The rows' fields are then
    // read by rowid, a block at a time.
    QString statement() const;
};

// The rows of a selection with a current row, read ahead in blocks and written back through
// append/edit/post/cancel/remove. Row numbers are 1-based; 0 means no current row.
class ResultSet : public QObject {
    Q_OBJECT

public:
    enum class State { Closed, Browse, Edit, Insert };
    enum class LocateMode { ExactIgnoreCase, Prefix };
    using Bookmark = qint64; // the row's rowid; 0 is no row
    using DisplayValues = std::function<QVariantMap(const ResultSet&)>;

    explicit ResultSet(const QSqlDatabase& db, QObject* parent = nullptr);
    ~ResultSet() override;

    bool open(const Selection& selection, QString* error = nullptr);
    bool openTable(const QString& table, const QString& order = {}, QString* error = nullptr);
    void close();
    bool isOpen() const { return state_ != State::Closed; }
    State state() const { return state_; }
    const Selection& selection() const { return selection_; }

    // Posts a pending change, then reads the rows again, staying on the current row when it
    // still exists.
    bool refresh(QString* error = nullptr);
    // Replaces the filter (and its bindings) and reopens on the first row.
    bool setFilter(const QString& filter, const QVariantList& bindings, QString* error = nullptr);
    // The rows of this set follow the current row of `master`: only rows whose `linkField`
    // equals the master's are shown. Null master removes the link.
    void setMaster(ResultSet* master, const QString& linkField);

    // Navigation. Each returns whether a current row exists afterwards. A pending edit or new row
    // is posted first; when that fails the current row stays, the edit stays pending and the
    // call returns false with the reason in lastError().
    bool first();
    bool next();
    bool prior();
    bool last();
    bool moveTo(int rowNumber);
    bool atEnd() const { return current_ < 0 || current_ >= int(rowids_.size()); }
    bool isEmpty() const { return rowids_.empty(); }
    int rowCount() const { return int(rowids_.size()); }
    int rowNumber() const { return atEnd() ? 0 : current_ + 1; }

    // Fields of the current row (or of the row being edited or appended). Names are not
    // case-sensitive. A field the table lacks reads as an invalid value; ask hasField first.
    QStringList fieldNames() const;
    bool hasField(const QString& name) const;
    QVariant value(const QString& name) const;
    QString text(const QString& name) const;
    double number(const QString& name) const;
    bool flag(const QString& name) const;
    qint64 integer(const QString& name) const;
    QByteArray bytes(const QString& name) const;

    // Editing. append() starts a new row, edit() changes the current one; setValue() fills
    // fields; post() writes (the new row becomes current, its AutoNumber readable); cancel()
    // drops the changes. append() and edit() post a pending change first. Under a master,
    // append() fills the link field with the master's value.
    bool append();
    bool edit();
    bool setValue(const QString& name, const QVariant& value);
    bool post(QString* error = nullptr);
    void cancel();
    // Deletes the current row; the next row becomes current. While a new row is being appended,
    // that unwritten row is what is dropped.
    bool remove(QString* error = nullptr);

    // Moves to the first row (in this set's order) whose field matches; false leaves the
    // current row unchanged.
    bool locate(const QString& field, const QVariant& value, LocateMode mode);

    Bookmark bookmark() const;
    bool gotoBookmark(Bookmark mark);

    // Display-only values computed for the current row (row number texts, ages, gender).
    void setDisplayValues(DisplayValues fn) { display_ = std::move(fn); }
    QVariant displayValue(const QString& name) const;

    QString lastError() const { return lastError_; }

signals:
    void currentRowChanged();

private:
    bool fail(const QString& message, QString* error);
    bool load(QString* error);
    bool setCurrent(int index);
    const QSqlRecord* currentRecord() const;
    bool fetchBlock(int block) const;
    void dropCache() const;
    QString effectiveFilter() const;
    QVariantList effectiveBindings() const;
    QString canonicalField(const QString& name) const;
    void followMaster();

    QSqlDatabase db_;
    Selection selection_;
    State state_ = State::Closed;
    QSqlRecord columns_; // the table's fields, without values
    std::vector<qint64> rowids_;
    int current_ = -1;
    mutable std::map<int, std::vector<QSqlRecord>> blocks_;
    QSqlRecord buffer_; // values of the row being edited or appended
    QStringList changed_;
    QPointer<ResultSet> master_;
    QString linkField_;
    QVariant linkValue_;
    QMetaObject::Connection masterConnection_;
    DisplayValues display_;
    mutable QString lastError_;
};

} // namespace viro
