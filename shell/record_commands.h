#pragma once

#include <QString>

class QDialog;
class QWidget;

namespace viro {

class MeasurementJournal;
class TZeForm;

// The record windows behind the main window's Recall command and the measurement window's Save,
// Recall and Manual buttons: save, recall and manual entry on the main database the main window
// holds open. A measurement saved, or replaced by one loaded, takes the crash journal with it.
class RecordCommands {
public:
    // Installs the Recall window factory on `form`. Nothing is owned; both must outlive `form`.
    RecordCommands(TZeForm& form, MeasurementJournal& journal);

    // The save window for the current measurement; true when it was saved.
    bool openSave(QWidget* parent);
    // The recall window, as opened from the measurement window (no question before loading);
    // true when a measurement was loaded in place of the current one.
    bool openRecall(QWidget* parent);
    // The manual entry window on the current measurement.
    void openManualEntry(QWidget* parent);

private:
    QDialog* createRecallWindow(QWidget* parent);
    // Mode 1 changes the stored measurement `mkey`, mode 2 adds one for `custNo`; the key saved.
    int openStoredManualEntry(int mode, const QString& custNo, int mkey, QWidget* parent);
    void discardJournal();

    TZeForm& form_;
    MeasurementJournal& journal_;
};

} // namespace viro
