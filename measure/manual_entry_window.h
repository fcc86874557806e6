#pragma once

#include "analysis/measurement_record.h"
#include "measure/manual_entry.h"

#include <QColor>
#include <QDialog>
#include <QString>

#include <functional>

class QCheckBox;
class QDateEdit;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTimeEdit;

namespace viro {

class ApplicationState;
class EntryGrid;
class PatientStore;
struct Settings;

// The manual entry window: the 24 point values of a measurement typed by hand, with its date,
// time, potential and notes. It works on a copy and stores nothing until Save: a stored
// measurement changed in place (its quality scores and traces stay), a new stored measurement
// of a patient (without quality scores or traces), or the current measurement of the
// measurement window (its quality scores stay). A cell whose text is no number is kept and
// marked, the status bar names it, and nothing is saved while one is left; a save that fails
// shows why and the window stays open with everything as typed.
class TZemnu : public QDialog {
    Q_OBJECT
public:
    using NowFn = std::function<double()>; // the current time as a Jet date value

    static const QColor kWrongCellBackground;

    // `store` serves ModifyStored (the measurement `mkey`) and AddStored (for the patient
    // `custNo`); EditCurrent works on `state`'s measurement and needs neither.
    TZemnu(ManualEntryMode mode, ApplicationState& state, const Settings& settings,
           PatientStore* store = nullptr, int mkey = 0, QString custNo = {},
           QWidget* parent = nullptr);
    ~TZemnu() override;

    ManualEntryMode mode() const { return mode_; }
    // Fixes the time the pickers take for "now" (tests).
    void setNow(NowFn now);
    // The key of the measurement saved (AddStored: the new one); 0 before a save.
    int savedKey() const { return savedKey_; }

    const ManualEntrySheet& sheet() const { return sheet_; }

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    QWidget* buildToolBar();
    QWidget* buildDatePanel();
    void buildGrid();
    void setTabOrders();

    bool load(QString* error);
    void showEntry();
    void showCell(int position);
    void cellLeft(int row, int column);
    // The mode's text, or what is wrong with `wrongPosition` (else the first wrong cell).
    void showStatus(int wrongPosition = 0);
    void showPotential();
    void setDated(bool dated);
    void setPickers(double jet);
    MeasurementRecord entered() const;

    void saveClicked();
    void clearClicked();
    bool store(const MeasurementRecord& m);

    double now() const;

    ManualEntryMode mode_;
    ApplicationState& state_;
    const Settings& settings_;
    PatientStore* store_;
    int mkey_;
    QString custNo_;
    NowFn now_;
    ManualEntrySheet sheet_;
    double loadedDate_ = 0;
    bool highPotential_ = false;
    int savedKey_ = 0;
    bool opened_ = false;
    bool filling_ = false; // the grid is being written by the window, not typed in

    EntryGrid* grid_ = nullptr;
    QLabel* title_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* exit_ = nullptr;
    QCheckBox* dated_ = nullptr;
    QDateEdit* date_ = nullptr;
    QTimeEdit* time_ = nullptr;
    QPushButton* potential_ = nullptr;
    QLabel* potentialShown_ = nullptr;
    QPlainTextEdit* notes_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    QLabel* status_ = nullptr;
};

} // namespace viro
