#pragma once

#include "core/patient_record.h"
#include "records/patient_list_model.h"

#include <QSqlDatabase>
#include <QWidget>

#include <optional>

class QLabel;
class QLineEdit;
class QTableView;
class QToolButton;

namespace viro {

class PatientListColours;

// The patient list of the save, recall and comparison windows: a search row (the search box,
// the search button "SpeedButton1", the search state picture and, when sorting by date of
// birth, a date example) above the grid of every patient. A click on a column header sorts by
// that column (the same column again turns the direction round, the "Index" column sorts by
// number); the order is the application's sort key, which the view writes at every click, so
// the next list opens the same way. The search finds the first row whose sort column begins
// with the text; gender, age and latest measurement date cannot be searched.
class PatientListView : public QWidget {
    Q_OBJECT
public:
    enum class SearchState { NotPossible, Ready, Found, NotFound };

    // `sortKey` is the application-wide key; it must outlive the view.
    PatientListView(QSqlDatabase db, int& sortKey, QWidget* parent = nullptr);
    ~PatientListView() override;

    // The clock for the ages and the date example (tests fix it); a Jet date value.
    void setNow(PatientListModel::NowFn now);

    // Clears the search box and reads the list in the order of the sort key (0 is made -1
    // there). No row is current afterwards. False, with the reason, when the database cannot
    // be read.
    bool open(QString* error = nullptr);
    // Reads the list again in the same order (after a patient was added, changed or deleted)
    // and returns to the patient that was current, if still there.
    bool refresh(QString* error = nullptr);
    // Makes the patient with this number (letter case ignored) the current row. False, with
    // the current row unchanged, when the list has no such patient.
    bool selectNumber(const QString& custNo);
    // Runs the search box's search; false when nothing was found (or nothing can be searched).
    bool search();

    int count() const;      // the patients in the list, for "Total Records:"
    int currentRow() const; // -1 for none
    std::optional<PatientRecord> currentPatient() const;
    SearchState searchState() const { return state_; }

    PatientListModel* model() const { return model_; }
    QTableView* grid() const { return grid_; }
    QLineEdit* searchBox() const { return searchBox_; }

signals:
    // The current row moved to this patient (by the user, a search or a new order).
    void currentPatientChanged(const viro::PatientRecord& patient);
    void patientDoubleClicked(const viro::PatientRecord& patient);
    // A search ran; the current row is the patient found, or as it was.
    void searched(bool found);
    // The list was read (again); `rows` patients.
    void countChanged(int rows);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void sortByColumn(int column);
    void prepareSearch();
    void updateDateExample();
    void markSortColumn();
    void setSearchState(SearchState state);
    void updateSearchButton();
    void drawPictures();
    void setCurrentRow(int row);

    int& sortKey_;
    PatientListModel* model_;
    PatientListColours* colours_;
    PatientListModel::NowFn now_;
    QLineEdit* searchBox_;
    QToolButton* searchButton_;
    QLabel* statePicture_;
    QLabel* dateExample_;
    QTableView* grid_;
    SearchState state_ = SearchState::Ready;
};

} // namespace viro
