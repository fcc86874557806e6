#pragma once

#include "core/patient_record.h"

#include <QDate>
#include <QDialog>

class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QStatusBar;

namespace viro {

class ApplicationState;
class PatientStore;
class ProbeControl;

enum class PatientEditorMode {
    Edit = 1,          // the recall window's current patient
    AddFromRecall = 2, // a new patient from the recall window
    AddFromSave = 3,   // a new patient from the save window
};

// The patient editor: number, name, birth date (a tick box says whether one is given), gender,
// telephone, address, e-mail, mobile, fax and notes of one patient. Save writes through the
// store; a number another patient has (letter case ignored) is refused with the notice naming
// that patient, any other failure is shown, and the editor stays open with nothing written.
// Exit writes nothing.
class TZeREdit : public QDialog {
    Q_OBJECT
public:
    // Edit works on `row`, the patient as stored; the add modes start empty, with the gender of
    // the application's current patient. `probe` (may be null) sounds the taken-number notice.
    TZeREdit(PatientEditorMode mode, PatientStore& store, const ApplicationState& state,
             ProbeControl* probe, PatientRecord row = {}, QWidget* parent = nullptr);
    ~TZeREdit() override;

    PatientEditorMode mode() const { return mode_; }
    // Whether this run added a patient (the add modes, after a successful Save).
    bool patientAdded() const { return added_; }
    // Whether Save wrote the patient.
    bool saved() const { return saved_; }
    // The patient as written: the number to look for afterwards (a renumbered patient's new
    // one). The row given for Edit before a Save.
    const PatientRecord& patient() const { return patient_; }

    // The date the picker shows when no birth date is given (tests fix it).
    void setToday(const QDate& today);

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fill();
    void setBirthGiven(bool given);
    void save();
    PatientRecord entered() const;

    PatientEditorMode mode_;
    PatientStore& store_;
    ProbeControl* probe_;
    PatientRecord patient_;
    bool added_ = false;
    bool saved_ = false;
    // The picker's value when the editor opened without a birth date: Enter leaves the patient
    // without one while the picker still shows it.
    QDate initialDate_;

    QLineEdit* number_ = nullptr;
    QLabel* required_ = nullptr;
    QLineEdit* name_ = nullptr;
    QCheckBox* birthGiven_ = nullptr;
    QDateEdit* birth_ = nullptr;
    QRadioButton* male_ = nullptr;
    QRadioButton* female_ = nullptr;
    QLineEdit* tel_ = nullptr;
    QLineEdit* address_ = nullptr;
    QLineEdit* eMail_ = nullptr;
    QLineEdit* mobile_ = nullptr;
    QLineEdit* fax_ = nullptr;
    QPlainTextEdit* memo_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* exit_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
};

} // namespace viro
