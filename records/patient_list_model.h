#pragma once

#include "core/patient_record.h"

#include <QAbstractTableModel>
#include <QSqlDatabase>
#include <QString>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace viro {

// The patient list the save, recall and comparison windows share: every ZeCust row, in the
// order of the application-wide sort key (its absolute value the column, its sign the
// direction), with the columns "Index", "Patient No", "Name", "Gender", "D.O.B.", "Age",
// "Latest Measurement Date", "Tel No.", "Address", "e-mail", "Mobile No.", "Fax No.". It reads
// only the rows on show, a window at a time, so it opens and scrolls as fast with 100,000
// patients as with ten; ties in the sort field are broken by the patient number, so the order
// is the same at every read.
class PatientListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column {
        IndexColumn,
        NumberColumn,
        NameColumn,
        GenderColumn,
        BirthColumn,
        AgeColumn,
        LatestColumn,
        TelColumn,
        AddressColumn,
        EMailColumn,
        MobileColumn,
        FaxColumn,
        ColumnCount
    };
    // Rows read at a time.
    static constexpr int kWindowRows = 200;

    // How a cell is drawn beyond its text (data() of ToneRole, an int). The view turns it into
    // colours, so that this layer needs no toolkit of the screen: the gender green for "Male" and
    // red for "Female", the latest measurement date on the button face.
    static constexpr int ToneRole = Qt::UserRole + 1;
    enum Tone { PlainTone, MaleTone, FemaleTone, ButtonFaceTone };

    using NowFn = std::function<double()>; // the current time as a Jet date value (ages)

    explicit PatientListModel(QSqlDatabase db, QObject* parent = nullptr);

    void setNow(NowFn now);

    // Reads the list again in the order of `sortKey` (0 counts as -1). False, with the reason,
    // when the database cannot be read; the list is then empty.
    bool open(int sortKey, QString* error = nullptr);
    // Reads again in the same order (after rows were added, changed or deleted elsewhere).
    bool refresh(QString* error = nullptr);
    int sortKey() const { return sortKey_; }

    // (The sort key after a header click is sortKeyAfterClick() of records/statements.h.)
    // The columns a search box can search in (patient number, name, date of birth and the
    // texts); gender, age and latest measurement date cannot be searched.
    static bool searchable(int sortKey);

    // The first row (0-based) whose patient number equals `custNo`, letter case ignored.
    std::optional<int> rowOfNumber(const QString& custNo) const;
    // The first row, in the list's order, whose sort field begins with `text` (a date of birth
    // is read in the short date format; a text that is no date finds nothing).
    std::optional<int> findPrefix(const QString& text) const;
    // The first row, in the list's order, whose patient number begins with `text` (letter case
    // ignored), whatever the sort column.
    std::optional<int> findNumberPrefix(const QString& text) const;

    PatientRecord patientAt(int row) const;
    QString numberAt(int row) const;

    // QAbstractItemModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    // kWindowRows rows from a multiple of kWindowRows on, as read.
    struct Window {
        int start = 0;
        std::vector<PatientRecord> rows;
    };
    // Windows kept: a screen that straddles two windows, and the one scrolled away from.
    static constexpr size_t kCachedWindows = 3;

    const PatientRecord* rowAt(int row) const;
    void readWindow(Window& window) const;
    QString orderBy() const;
    // The first row, in the list's order, that meets `condition`.
    std::optional<int> firstRowWhere(const QString& condition, const QVariantList& bindings) const;
    // How many rows come before a row holding `sortValue` in the sort field and `number` as the
    // patient number.
    std::optional<int> rowsBefore(const QVariant& sortValue, const QVariant& number) const;

    QSqlDatabase db_;
    NowFn now_;
    int sortKey_ = 1;
    QString sortField_ = QStringLiteral("CustNo"); // as the table spells it
    bool descending_ = false;
    int rows_ = 0;
    mutable std::deque<Window> windows_; // the window read or used last first
};

} // namespace viro
