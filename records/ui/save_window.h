#pragma once

#include "core/patient_record.h"
#include "records/patient_list_model.h"
#include "records/patient_store.h"

#include <QDialog>
#include <QSqlDatabase>

#include <optional>

class QLabel;
class QPushButton;
class QStatusBar;

namespace viro {

class ApplicationState;
class PatientListView;
class ProbeControl;

// The save window: the current measurement of `state` is stored under the patient the operator
// picks in the patient list, or under a new patient made with the patient editor. Save Value
// saves to the chosen patient at once; a double-click on a row, and the end of a new patient's
// entry, ask first. A save writes the measurement, its traces and the patient's latest date in
// one go; then the chosen patient becomes the current one, the measurement takes the new key,
// measurementSaved() tells the caller (whose crash journal may go) and the window closes. A
// save that fails shows why and changes nothing, neither in the file nor in `state`, and the
// window stays open for another try. Exit writes nothing.
class TZesave : public QDialog {
    Q_OBJECT
public:
    // `db` is the main database; the list follows and sets `state.patientSortColumn`. `probe`
    // (may be null) plays the sound before the question after a new patient.
    TZesave(QSqlDatabase db, ApplicationState& state, ProbeControl* probe,
            QWidget* parent = nullptr);
    ~TZesave() override;

    // The clock for the ages and the date example of the list (tests fix it).
    void setNow(PatientListModel::NowFn now);

    PatientListView* patientList() const { return list_; }
    // The patient the measurement would be saved to; none before one is chosen.
    const std::optional<PatientRecord>& selectedPatient() const { return selected_; }
    // MKEY of the saved measurement, 0 before a save succeeded.
    int savedKey() const { return savedKey_; }

signals:
    void measurementSaved(int mkey);

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    QWidget* buildToolBar();
    QWidget* buildPatientPanel();
    void prepare();
    void choose(const PatientRecord& patient);
    void showSelected();
    void showCount(int rows);
    bool save();
    void doubleClicked(const PatientRecord& patient);
    void newPatient();
    void exitClicked();

    ApplicationState& state_;
    ProbeControl* probe_;
    PatientStore store_;
    std::optional<PatientRecord> selected_;
    int savedKey_ = 0;
    bool prepared_ = false;

    PatientListView* list_ = nullptr;
    QPushButton* newPatient_ = nullptr;
    QPushButton* saveValue_ = nullptr;
    QPushButton* exit_ = nullptr;
    QLabel* number_ = nullptr;
    QLabel* name_ = nullptr;
    QLabel* birth_ = nullptr;
    QLabel* sex_ = nullptr;
    QLabel* total_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    QLabel* statusText_ = nullptr;
};

} // namespace viro
