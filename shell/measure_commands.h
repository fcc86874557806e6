#pragma once

#include "measure/measurement_journal.h"

#include <optional>

class QDialog;

namespace viro {

class ProbeLink;
class RecordCommands;
class TickClock;
class TZeForm;

// The measurement window behind the main window's Measure command, with the journal that keeps
// its run safe, and the offer to restore a run that a crash interrupted.
class MeasureCommands {
public:
    // Installs the Measure window factory on `form`; the window's Save, Recall and Manual open
    // the windows of `records`. Nothing is owned; all must outlive `form`.
    MeasureCommands(TZeForm& form, ProbeLink& probe, TickClock& clock, MeasurementJournal& journal,
                    RecordCommands& records);

    // Run once the start-up check has passed: when the journal holds an interrupted run, asks
    // whether to restore its points. Yes opens the measurement window with them, going on at
    // the next position (or with them waiting for the next Measure while the probe is
    // off-line); no removes the journal. A journal of which nothing can be read is reported and
    // moved aside, so the question does not come at every start.
    void offerInterruptedRun();

    // The interrupted run waiting to be restored when the measurement window next opens.
    bool restorePending() const { return pending_.has_value(); }

    // The question asked for `contents`.
    static QString restoreQuestion(const JournalContents& contents);

private:
    QDialog* createWindow();

    TZeForm& form_;
    ProbeLink& probe_;
    TickClock& clock_;
    MeasurementJournal& journal_;
    RecordCommands& records_;
    std::optional<JournalContents> pending_;
};

} // namespace viro
