#pragma once

#include "analysis/measurement_record.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace viro {

class ApplicationState;
class MeasurementJournal;
class ProbeLink;
class TickClock;
struct JournalContents;
struct Settings;

enum class MeasuringMethod { Manual = 0, Automatic = 1 };

// The options of a measurement run, as the window's controls show them and settings lines 6,
// 19 and 22-26 keep them; the potential is kept with the current measurement.
struct MeasuringOptions {
    static constexpr int kDefaultMeasuringMs = 2000;
    static constexpr int kDefaultFinalWindowMs = 500;

    double sensitivity = 1.0; // contact threshold in µA, 0.1 to 5.0
    bool highPotential = false;
    MeasuringMethod method = MeasuringMethod::Automatic;
    int channel = 0; // 0 the hand probe (C.P.D.M.), 1-4 the electrode channels
    bool userProcedure = false;
    int userMeasuringMs = kDefaultMeasuringMs;      // 500 to 10000 in steps of 100
    int userFinalWindowMs = kDefaultFinalWindowMs; // 100 to 10000 in steps of 100
    int soundMode = 1;                             // 1 standard, 2 single, 0 mute

    // W, F and T = W + F of a point: the defaults unless the procedure is user defined.
    int measuringMs() const;
    int finalWindowMs() const;
    int totalMs() const { return measuringMs() + finalWindowMs(); }

    // False, with the reason, when any option is outside its range.
    bool isValid(QString* why = nullptr) const;

    // Lines 6, 19 and 22-26 of the settings, and the potential of the current measurement.
    static MeasuringOptions fromSettings(const Settings& settings, bool highPotential);
    void writeTo(Settings& settings) const;
};

enum class MeasurementLamp { Off, GreenBlinking, RedSteady, Green };
enum class QualityColour { Green, Yellow, Red };

// Green up to a standard deviation of 20 counts, yellow up to 40, red above.
QualityColour qualityColourFor(double sigmaCounts);

// Everything the measurement window shows of a run, kept up to date by the engine as it goes.
// The window reads it when it repaints, at its own pace, so drawing never slows the sampling.
struct MeasurementDisplay {
    bool running = false;
    int position = 0; // 1-24 during a run, 0 when idle
    int point = 0;    // point index of `position`, 0 when idle
    QString status;   // status bar text
    MeasurementLamp lamp = MeasurementLamp::Off;
    double value = 0;       // µA, the "Meridian Value:" display
    double compensated = 0; // µA, the "Compensated Value:" display
    std::optional<double> remainingSeconds; // empty shows "off"
    int progressPercent = 0;
    int valueBar = 0;       // per cent of 200 µA
    int compensatedBar = 0; // per cent of 200 µA
    double quality = 0;     // 100 - σ, 0 when that is not above 0
    int qualityBar = 0;
    QualityColour qualityColour = QualityColour::Green;
    int samplingRate = 0;         // readings averaged so far in the final window
    bool countdownVisible = false; // the release / pause countdown label
    QString countdownText;         // "3.2 Sec"
    bool gridChoiceAllowed = false;
    bool pointStartEnabled = false; // the manual method's point Start button
    int totalMs = 2500;             // T of the run, for the graph's time axis
};

// One step of the stability curve of the point being measured: during the first 300 ms the
// start ramp, afterwards the deviation of the reading from the reference, in µA.
struct CurveSample {
    int elapsedMs = 0;
    double progressPercent = 0;
    double deviationMicroamps = 0;
    bool ramp = false;
};

// The measurement run: guides and samples the 24 points with the probe, scores each and stores
// it into the current measurement. Plain logic, no widgets: the measurement window and viro-cli
// both drive it. Waits run on the tick clock and keep processing events, so Stop, the point
// Start, grid choices and option changes take effect during a run; questions go through the
// prompt seam.
class MeasurementEngine : public QObject {
    Q_OBJECT
public:
    enum class RunEnd {
        NotStarted, // probe off-line at Start, or the high potential not confirmed
        Completed,  // position 24 done
        Stopped,    // Stop, or "no" to the release time-out question
        ProbeLost,  // the probe went off-line during the run; completed points are kept
    };
    Q_ENUM(RunEnd)

    // The current time as a Jet date value (tests fix it).
    using NowFn = std::function<double()>;

    MeasurementEngine(ProbeLink& probe, TickClock& clock, ApplicationState& state,
                      const Settings& settings, QObject* parent = nullptr);
    ~MeasurementEngine() override;

    void setNow(NowFn now);
    // The journal every completed point is written to before it shows as complete (not owned;
    // null for none).
    void setJournal(MeasurementJournal* journal);
    // Whether a run that ends normally (completed or stopped) keeps its journal until the
    // measurement is saved, cleared or replaced (discardJournal()), so that a measurement taken
    // but not yet saved survives a crash too. Off: the journal goes when the run ends.
    void setJournalKeptUntilSaved(bool kept) { journalKeptUntilSaved_ = kept; }
    // Removes the journal: the measurement it mirrors was saved or is no longer the current one.
    void discardJournal();

    const MeasuringOptions& options() const { return options_; }
    // Takes the options when idle; false (and nothing taken) for options out of range. The
    // procedure and the potential cannot change during a run; the other options take effect at
    // once. A channel or method change during a run sends its commands at the run's next wait
    // for contact, release or the manual pause: never inside another command's wait, and not
    // in the middle of a point's measuring, which would mix two inputs into one value.
    bool setOptions(const MeasuringOptions& options);
    // Each ignores a value out of range.
    void setSensitivity(double sensitivity);
    void setChannel(int channel);
    void setMethod(MeasuringMethod method);
    void setSoundMode(int mode);
    bool setHighPotential(bool high);

    // Starts a run at `fromPosition` (1-24) and returns when it ends, questions and waits
    // included. runStarted() and runFinished() come only for a run that began. The journal is
    // begun with every point the measurement already holds (or, after restore(), continued),
    // and removed when the run ends Completed or Stopped; it stays after ProbeLost.
    RunEnd start(int fromPosition = 1);
    // Puts the points of an interrupted run back into the current measurement (a point taken
    // twice counts as taken last), with its patient number and name, key and potential; the
    // options take the run's potential and channel, and the journal is continued. The run is
    // then started at contents.nextPosition(). False with `error` when the journal cannot be
    // continued: the points are back all the same, and the next run begins a new journal.
    bool restore(const JournalContents& contents, QString* error);

    // Ends the run after the current step: a point being measured is completed first.
    void requestStop();
    // Ends the run as requestStop() does, but keeps its journal so that the run can be resumed:
    // a command-line run interrupted by a signal loses everything but the journal.
    void requestSuspend();
    // The manual method's point Start; ignored unless display().pointStartEnabled.
    void requestPointStart();
    // A grid cell clicked while waiting for contact: the run goes on at `position`. False when
    // grid choice is not allowed now.
    bool choosePosition(int position);

    // Clear: asks first; on yes clears the values, the patient and the journal.
    bool clear();
    // Called after the analysis window closed: increments the probe's usage counter when more
    // than 11 points were measured since the last increment, and resets that count.
    void analysisShown();

    bool running() const { return display_.running; }
    const MeasurementDisplay& display() const { return display_; }
    // The curve of the point being measured, since its last restart.
    const std::vector<CurveSample>& curve() const { return curve_; }
    // Counts the restarts of the curve, so a view that draws it a piece at a time knows when to
    // begin again.
    quint64 curveGeneration() const { return curveGeneration_; }

    // The calibration constant and the counts per µA (Q) of the selected potential and input.
    int calibrationConstant() const;
    double countsPerMicroamp() const;

signals:
    void runStarted();
    void runFinished(MeasurementEngine::RunEnd end);
    // A new position is being measured: the guide picture and the selected cell follow it.
    void positionChanged(int position, int point);
    // A point was stored into the current measurement (after its journal record was synced).
    void pointCompleted(int position, int point);
    // The stability curve was restarted (its background is to be redrawn).
    void curveRestarted();
    // The display changed; emitted often, so a window should only mark itself for repainting.
    void displayChanged();
    // The values were cleared.
    void measurementCleared();

private:
    class Run;
    friend class Run;

    // Clears the curve and tells the views.
    void restartCurve();

    // The calibration constant of `channel` at the given potential.
    int calibrationConstantFor(int channel, bool highPotential) const;
    // Appends every point the current measurement holds, so the journal mirrors it.
    bool journalHeldPoints(QString* error);
    void removeJournal();

    bool journalKeptUntilSaved_ = false;
    ProbeLink& probe_;
    TickClock& clock_;
    ApplicationState& state_;
    const Settings& settings_;
    MeasurementJournal* journal_ = nullptr;
    NowFn now_;
    MeasuringOptions options_;
    MeasurementDisplay display_;
    std::vector<CurveSample> curve_;
    quint64 curveGeneration_ = 0;
    Run* run_ = nullptr; // the run in progress, null when idle
    bool stopRequested_ = false;
    bool keepJournal_ = false; // the run was suspended rather than stopped
    bool pointStartRequested_ = false;
    std::optional<int> chosenPosition_;
    bool probeLost_ = false;
    // restore() continued the journal: the next run goes on appending to it.
    bool journalResumed_ = false;
};

} // namespace viro
