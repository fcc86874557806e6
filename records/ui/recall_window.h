#pragma once

#include "core/patient_record.h"
#include "records/patient_list_model.h"
#include "records/patient_store.h"

#include <QColor>
#include <QDialog>
#include <QSqlDatabase>

#include <functional>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTableView;
class QTableWidget;

namespace viro {

class ApplicationState;
class MeasurementListModel;
class PatientListView;
class ProbeControl;
struct Settings;

// The recall window: the patient list above, the chosen patient's measurements (newest first)
// below, with a detail grid of the chosen measurement and a panel of the notes. A measurement is
// loaded (with its patient) into the application state by a double-click or Recall, and the
// window closes; from the main window a double-click asks first. Patients are added, edited,
// renumbered and deleted (with all their measurements), measurements deleted, and typed in or
// changed through the manual entry window. The tool buttons act on the list that last had the
// keyboard focus; its header is drawn orange. Every write is one store transaction: a failure
// is shown, nothing is half done, and the window stays as it was.
class TZeread : public QDialog {
    Q_OBJECT
public:
    // The windows of higher layers opened from here. An empty opener is a function not in this
    // version.
    struct Services {
        // Opens the manual entry window modally: mode 1 changes the stored measurement `mkey`,
        // mode 2 adds a measurement for the patient `custNo`. Returns the key of the measurement
        // saved, 0 when none was. This window hides meanwhile and reads its lists again after.
        std::function<int(int mode, const QString& custNo, int mkey)> openManualEntry;
    };
    static constexpr int kManualEdit = 1;
    static constexpr int kManualAdd = 2;

    enum class ActiveList { Patients, Measurements };

    // Header gradients: the list the buttons act on, and the other one.
    static const QColor kActiveTop;
    static const QColor kActiveBottom;
    static const QColor kInactiveTop;
    static const QColor kInactiveBottom;
    // Detail grid column widths with and without the notes panel on show.
    static constexpr int kDetailWidthWithMemo = 57;
    static constexpr int kDetailWidthAlone = 75;

    // `db` is the main database; the patient list follows and sets `state.patientSortColumn`,
    // `state.recallFromMainWindow` says whether a double-click asks before loading. The detail
    // grid follows the meridian order of `settings`. `probe` (may be null) plays the sounds
    // before the delete questions and the taken-number notice.
    TZeread(QSqlDatabase db, ApplicationState& state, const Settings& settings, ProbeControl* probe,
            Services services = {}, QWidget* parent = nullptr);
    ~TZeread() override;

    // The clock for the ages and the date example of the patient list (tests fix it).
    void setNow(PatientListModel::NowFn now);

    ActiveList activeList() const { return active_; }
    PatientListView* patientList() const { return patients_; }
    QTableView* measurementGrid() const { return measurementGrid_; }
    MeasurementListModel* measurementModel() const { return measurementModel_; }
    QTableWidget* detailGrid() const { return detail_; }
    // "%6.0d" patients, then "  -  [ ", the chosen patient's measurements, " ]".
    QString statusText() const;
    // The measurement loaded, 0 when none was.
    int loadedKey() const { return loadedKey_; }

    // Hidden while the manual entry window is up; that hiding does not end exec().
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* buildToolBar();
    QWidget* buildMeasurementPanel();
    QWidget* buildDetailGrid();
    QWidget* buildMemoPanel();

    void prepare();
    void setActive(ActiveList list);
    void paintHeaders();
    void updateButtons();
    void writeStatus();

    void patientChanged(const PatientRecord& patient);
    void openMeasurements(int selectKey = 0);
    void measurementChanged();
    void fillDetail();
    void fillMemos();
    std::optional<int> currentKey() const;
    // Reads the patient list again and makes the patient with this number current (else the
    // first row), then reads his measurements.
    void reopenAt(const QString& custNo, int selectKey = 0);

    void loadMeasurement();
    void deletePatient();
    void deleteMeasurement();
    void manualEntry(int mode);
    void editPatient();
    void newPatient();
    void toggleDetail();
    void toggleMemo();

    ApplicationState& state_;
    const Settings& settings_;
    ProbeControl* probe_;
    Services services_;
    PatientStore store_;
    std::optional<PatientRecord> patient_; // the current row of the patient list
    ActiveList active_ = ActiveList::Patients;
    bool prepared_ = false;
    bool childOpen_ = false;
    int loadedKey_ = 0;

    PatientListView* patients_ = nullptr;
    MeasurementListModel* measurementModel_ = nullptr;
    QTableView* measurementGrid_ = nullptr;
    QTableWidget* detail_ = nullptr;
    QWidget* memoPanel_ = nullptr;
    QPlainTextEdit* patientMemo_ = nullptr;
    QPlainTextEdit* measurementMemo_ = nullptr;
    QLabel* status_ = nullptr;
    QStatusBar* statusBar_ = nullptr;

    QPushButton* recall_ = nullptr;
    QPushButton* newPatient_ = nullptr;
    QPushButton* editPatient_ = nullptr;
    QPushButton* deletePatient_ = nullptr;
    QPushButton* newValue_ = nullptr;
    QPushButton* editValue_ = nullptr;
    QPushButton* deleteValue_ = nullptr;
    QPushButton* display_ = nullptr;
    QPushButton* memo_ = nullptr;
    QPushButton* exit_ = nullptr;
};

} // namespace viro
