#include "measure/measurement_engine.h"

#include "analysis/jet_date.h"
#include "core/application_state.h"
#include "core/settings.h"
#include "core/user_prompts.h"
#include "device/probe_link.h"
#include "device/tick_clock.h"
#include "measure/log.h"
#include "measure/measurement_journal.h"

#include <QCoreApplication>
#include <QDateTime>

#include <algorithm>
#include <array>
#include <cmath>

namespace viro {

namespace {

constexpr int kPositions = 24;
constexpr int kRingSize = 20;
constexpr int kCountdownStepMs = 625;
constexpr int kRampMs = 300; // the start ramp of the curve
constexpr int kFreshReferenceMs = 200;
constexpr quint32 kReleaseTimeoutMs = 5000;
constexpr quint32 kManualPauseMs = 1500;
constexpr quint32 kIdleWaitMs = 50; // a wait that only watches for requests
constexpr double kFullScaleMicroamps = 200.0;

constexpr double kMinSensitivity = 0.1;
constexpr double kMaxSensitivity = 5.0;
constexpr double kSensitivitySlack = 1e-9; // 0.1 and 5.0 as typed or computed from steps
constexpr int kTimeStepMs = 100;
constexpr int kMinMeasuringMs = 500;
constexpr int kMinFinalWindowMs = 100;
constexpr int kMaxUserMs = 10000;

const char* const kOffline = "V.I.R.O. is off-line! Please reconnect the device.";
const char* const kClearFirst = "Do you want to clear the values first?";
const char* const kConfirmHigh = "You have selected High Potential Measurement. Please confirm!";
const char* const kTimeOut = "Time out! Do you wish to continue measurements?";
const char* const kClearTable = "Are you sure you want to clear the table values?\r\n"
                                "This action will not affect saved measurements.";

const char* const kWaitAuto = "Begin measurement with the measurement point shown in the graph. "
                              "Or choose your own starting point.";
const char* const kWaitManual = "Press [Start] to measurement.";
const char* const kMeasuringAuto = "Keep the probe stable while taking measurements.";
const char* const kMeasuringManual = "Taking measurements, Please wait..";
const char* const kCompleteAuto = "Measurement complete. Proceed to the next point.";
const char* const kCompleteManual = "Measurement complete. Please wait..";

bool validUserTime(int ms, int minimum) {
    return ms >= minimum && ms <= kMaxUserMs && ms % kTimeStepMs == 0;
}

bool validSensitivity(double s) {
    return std::isfinite(s) && s >= kMinSensitivity - kSensitivitySlack &&
           s <= kMaxSensitivity + kSensitivitySlack;
}

// Per cent of 200 µA, as the bars show it.
int barPercent(double microamps) {
    return std::clamp(int(std::nearbyint(microamps / kFullScaleMicroamps * 100)), 0, 100);
}

QString inputCommand(int channel) {
    return QStringLiteral("K%1").arg(channel + 1, 4, 10, QLatin1Char('0'));
}

QString routingCommand(int channel) {
    return channel == 0 ? QStringLiteral("I0000") : QStringLiteral("I00FF");
}

QString secondsText(double ms) {
    return QString::asprintf("%1.1f", std::max(ms, 0.0) / 1000.0) + QStringLiteral(" Sec");
}

double wallClockNow() {
    return jetFromDateTime(QDateTime::currentDateTime());
}

} // namespace

// --- Options -----------------------------------------------------------------------------------

int MeasuringOptions::measuringMs() const {
    return userProcedure ? userMeasuringMs : kDefaultMeasuringMs;
}

int MeasuringOptions::finalWindowMs() const {
    return userProcedure ? userFinalWindowMs : kDefaultFinalWindowMs;
}

bool MeasuringOptions::isValid(QString* why) const {
    QString reason;
    if (!validSensitivity(sensitivity))
        reason = QStringLiteral("The sensitivity must lie between 0.1 and 5.0.");
    else if (channel < 0 || channel > 4)
        reason = QStringLiteral("The channel must be 0 (C.P.D.M.) or 1 to 4.");
    else if (method != MeasuringMethod::Manual && method != MeasuringMethod::Automatic)
        reason = QStringLiteral("The measuring method must be automatic or manual.");
    else if (!validUserTime(userMeasuringMs, kMinMeasuringMs))
        reason = QStringLiteral("The measuring time must be 0.5 to 10.0 seconds in steps of 0.1.");
    else if (!validUserTime(userFinalWindowMs, kMinFinalWindowMs))
        reason = QStringLiteral("The final window must be 0.1 to 10.0 seconds in steps of 0.1.");
    else if (soundMode < 0 || soundMode > 2)
        reason = QStringLiteral("The sound mode must be 0 (mute), 1 (standard) or 2 (single).");
    if (why)
        *why = reason;
    return reason.isEmpty();
}

MeasuringOptions MeasuringOptions::fromSettings(const Settings& settings, bool highPotential) {
    MeasuringOptions o;
    o.highPotential = highPotential;
    // A hand-edited or damaged line falls back to its default; the others are kept.
    auto refuse = [](int line, double value) {
        qCWarning(lcMeasure) << "Settings line" << line << "holds" << value
                             << "- the default is used";
    };
    if (validSensitivity(settings.sensitivity))
        o.sensitivity = settings.sensitivity;
    else
        refuse(6, settings.sensitivity);
    if (settings.soundMode >= 0 && settings.soundMode <= 2)
        o.soundMode = settings.soundMode;
    else
        refuse(19, settings.soundMode);
    if (settings.measurementMethod == 0 || settings.measurementMethod == 1)
        o.method = MeasuringMethod(settings.measurementMethod);
    else
        refuse(22, settings.measurementMethod);
    if (settings.measurementChannel >= 0 && settings.measurementChannel <= 4)
        o.channel = settings.measurementChannel;
    else
        refuse(23, settings.measurementChannel);
    if (settings.measurementProcedure == 0 || settings.measurementProcedure == 1)
        o.userProcedure = settings.measurementProcedure == 1;
    else
        refuse(24, settings.measurementProcedure);
    if (validUserTime(settings.userMeasuringTime, kMinMeasuringMs))
        o.userMeasuringMs = settings.userMeasuringTime;
    else
        refuse(25, settings.userMeasuringTime);
    if (validUserTime(settings.userAveragingWindow, kMinFinalWindowMs))
        o.userFinalWindowMs = settings.userAveragingWindow;
    else
        refuse(26, settings.userAveragingWindow);
    return o;
}

void MeasuringOptions::writeTo(Settings& settings) const {
    settings.sensitivity = sensitivity;
    settings.soundMode = soundMode;
    settings.measurementMethod = int(method);
    settings.measurementChannel = channel;
    settings.measurementProcedure = userProcedure ? 1 : 0;
    settings.userMeasuringTime = userMeasuringMs;
    settings.userAveragingWindow = userFinalWindowMs;
}

QualityColour qualityColourFor(double sigmaCounts) {
    if (sigmaCounts <= 20)
        return QualityColour::Green;
    if (sigmaCounts <= 40)
        return QualityColour::Yellow;
    return QualityColour::Red;
}

// --- The run ------------------------------------------------------------------------------------

// One measurement run from Start to its end: the positions, the waits and the probe commands.
// Lives on the stack of start(); the engine forwards option changes to it.
class MeasurementEngine::Run {
public:
    explicit Run(MeasurementEngine& engine)
        : e_(engine), w_(engine.options_.measuringMs()), t_(engine.options_.totalMs()),
          method_(engine.options_.method), channel_(engine.options_.channel),
          q_(engine.countsPerMicroamp()) {
        trace_.reserve(size_t(t_) + 64);
    }

    // `continueJournal`: the journal was resumed by restore() and already holds the points.
    RunEnd execute(int fromPosition, bool continueJournal);

    // A channel or method change: its commands go out at the next wait that may send them,
    // never inside another command's wait, and not in the middle of a point's measuring, where
    // a switched input would mix two inputs' readings into one value.
    void optionsChanged() { optionsPending_ = true; }

private:
    enum class PointEnd { Completed, Restart, Moved, Stopped, ProbeLost };

    PointEnd measurePosition(int position);
    // Leaves `u` at the reading contact was found with.
    PointEnd waitForContact(double factor, double& u);
    PointEnd complete(int position, int point, double factor, double sigma, double sum, int n);
    PointEnd waitForRelease(int position);
    PointEnd pauseAfterPoint();

    // One "D0000": nothing when no reply came (a lost reply is no reading of 0 µA) or when the
    // probe went away.
    std::optional<int> read();
    double threshold() const { return e_.options_.sensitivity * q_; }
    bool automatic() const { return method_ == MeasuringMethod::Automatic; }
    bool lost() const { return e_.probeLost_ || !e_.probe_.isOnline(); }
    void send(const QString& command) { e_.probe_.sendCommand(command); }
    void sound(int effect) { e_.probe_.soundEffect(effect); }
    void applyOptionChanges();
    // Ends a pass of a wait loop: events are handled, and a pass that took no time at all (a
    // link that answers at once) lets the clock move on, so no loop spins without time passing.
    void endPass(quint32 passStart);
    void resetQualityDisplay();
    void changed() { emit e_.displayChanged(); }
    void startJournal();
    void journal(const JournalPoint& point);
    void journalFailed(const QString& error);
    void finish();

    MeasurementEngine& e_;
    MeasurementDisplay& d_ = e_.display_;
    const int w_; // measuring time W
    const int t_; // W plus the final window
    MeasuringMethod method_;
    int channel_;
    double q_;
    bool optionsPending_ = false;
    bool journalWarned_ = false;
    std::array<double, kRingSize> ring_{};
    PointTrace trace_;
};

std::optional<int> MeasurementEngine::Run::read() {
    // A command already waiting (a Start clicked inside another window's wait) leaves the link
    // busy: readValue() would return at once with nothing read.
    if (e_.probe_.busy())
        return std::nullopt;
    const int value = e_.probe_.readValue();
    if (lost() || !e_.probe_.replyReceived())
        return std::nullopt;
    return value;
}

void MeasurementEngine::Run::endPass(quint32 passStart) {
    QCoreApplication::processEvents();
    if (e_.clock_.ticks() == passStart)
        e_.clock_.idle(1);
}

void MeasurementEngine::Run::applyOptionChanges() {
    if (!optionsPending_)
        return;
    optionsPending_ = false;
    const bool channelChanged = e_.options_.channel != channel_;
    const bool methodChanged = e_.options_.method != method_;
    channel_ = e_.options_.channel;
    method_ = e_.options_.method;
    q_ = e_.countsPerMicroamp();
    if (channelChanged) {
        if (automatic())
            send(inputCommand(channel_));
        send(routingCommand(channel_));
    }
    if (methodChanged) {
        if (automatic()) {
            d_.pointStartEnabled = false;
            if (!channelChanged)
                send(inputCommand(channel_));
        } else {
            d_.pointStartEnabled = true;
            send(QStringLiteral("K0000"));
        }
    }
    changed();
}

void MeasurementEngine::Run::resetQualityDisplay() {
    d_.quality = 0;
    d_.qualityBar = 0;
    d_.qualityColour = QualityColour::Green;
}

void MeasurementEngine::Run::journalFailed(const QString& error) {
    qCWarning(lcMeasure).noquote() << "The measurement journal failed:" << error;
    // Once per run: the operator knows, and the points keep coming.
    if (journalWarned_)
        return;
    journalWarned_ = true;
    messageBox(kCautionOk,
               QStringLiteral("The points measured cannot be kept safe on the disk:\n%1\n\n"
                              "The measurement goes on, but it is not protected against a "
                              "crash of the program or the computer.")
                   .arg(error));
}

void MeasurementEngine::Run::startJournal() {
    JournalHeader header;
    header.started = e_.now_();
    header.highPotential = e_.options_.highPotential;
    header.channel = channel_;
    header.key = e_.state_.measurement.key;
    header.custNo = e_.state_.patient.custNo;
    header.patientName = e_.state_.patient.name;
    QString error;
    if (!e_.journal_->begin(header, &error) || !e_.journalHeldPoints(&error))
        journalFailed(error);
}

void MeasurementEngine::Run::journal(const JournalPoint& point) {
    QString error;
    if (e_.journal_ && !e_.journal_->append(point, &error))
        journalFailed(QStringLiteral("point %1: %2").arg(point.point).arg(error));
}

MeasurementEngine::RunEnd MeasurementEngine::Run::execute(int fromPosition, bool continueJournal) {
    if (e_.journal_ && !continueJournal)
        startJournal();

    // The input and the potential the points are taken with.
    send(QStringLiteral("X0000"));
    send(e_.options_.highPotential ? QStringLiteral("H0000") : QStringLiteral("L0000"));
    send(routingCommand(channel_));
    send(automatic() ? inputCommand(channel_) : QStringLiteral("K0000"));

    e_.stopRequested_ = false;
    RunEnd end = RunEnd::Completed;
    int position = fromPosition;
    while (position <= kPositions) {
        if (e_.stopRequested_) {
            end = RunEnd::Stopped;
            break;
        }
        const PointEnd result = measurePosition(position);
        if (result == PointEnd::ProbeLost) {
            end = RunEnd::ProbeLost;
            break;
        }
        if (result == PointEnd::Stopped) {
            end = RunEnd::Stopped;
            break;
        }
        if (result == PointEnd::Moved) {
            position = *e_.chosenPosition_;
            e_.chosenPosition_.reset();
        } else if (result == PointEnd::Completed) {
            ++position;
        }
    }
    finish();
    if (end != RunEnd::ProbeLost)
        send(QStringLiteral("X0000"));
    return end;
}

void MeasurementEngine::Run::finish() {
    const int total = t_;
    d_ = MeasurementDisplay();
    d_.totalMs = total;
    e_.restartCurve();
    changed();
}

MeasurementEngine::Run::PointEnd MeasurementEngine::Run::measurePosition(int position) {
    applyOptionChanges();
    const int point = e_.settings_.sequence.position[size_t(position - 1)];
    const int meridian = e_.settings_.sequence.meridianOfPosition[size_t(position - 1)];
    const double factor = e_.settings_.factors[size_t(meridian - 1)];

    d_.position = position;
    d_.point = point;
    emit e_.positionChanged(position, point);

    d_.gridChoiceAllowed = true;
    d_.status = QString::fromLatin1(automatic() ? kWaitAuto : kWaitManual);
    d_.valueBar = 0;
    d_.compensatedBar = 0;
    d_.progressPercent = 0;
    d_.qualityBar = 0;
    d_.samplingRate = 0;
    d_.remainingSeconds = t_ / 1000.0;
    d_.countdownVisible = false;
    d_.lamp = MeasurementLamp::GreenBlinking;
    changed();

    send(QStringLiteral("F007F"));
    send(QStringLiteral("C0000"));

    double u = 0; // the reference of the curve; at first the contact reading
    const PointEnd waited = waitForContact(factor, u);
    if (waited != PointEnd::Completed)
        return waited;
    // A click on the grid now would move a point being measured.
    d_.gridChoiceAllowed = false;

    if (!automatic() && e_.pointStartRequested_) {
        d_.pointStartEnabled = false;
        send(inputCommand(channel_));
    }

    ring_.fill(u);
    size_t ringNext = 0;
    send(QStringLiteral("C007F"));
    send(QStringLiteral("F0000"));
    e_.restartCurve();
    resetQualityDisplay();
    double sigma = 0;
    changed();
    if (lost())
        return PointEnd::ProbeLost;
    if (e_.stopRequested_)
        return PointEnd::Stopped;

    d_.lamp = MeasurementLamp::RedSteady;
    int k = t_ / kCountdownStepMs;
    const int soundMode = e_.options_.soundMode;
    if ((soundMode == 1 && t_ % kCountdownStepMs > 200) || soundMode == 2)
        sound(13);
    d_.status = QString::fromLatin1(automatic() ? kMeasuringAuto : kMeasuringManual);
    changed();

    double sum = 0;
    int n = 0;
    trace_.clear();
    const quint32 t0 = e_.clock_.ticks();
    for (;;) {
        const quint32 passStart = e_.clock_.ticks();
        std::optional<int> r = read();
        if (lost())
            return PointEnd::ProbeLost;
        if (automatic() && r.value_or(0) <= threshold()) {
            r = read();
            if (lost())
                return PointEnd::ProbeLost;
            if (r.value_or(0) <= threshold()) {
                // Lifted: the point starts over, the cell keeps what it held.
                e_.restartCurve();
                resetQualityDisplay();
                changed();
                qCInfo(lcMeasure) << "Contact lost at position" << position << "; measured again";
                return PointEnd::Restart;
            }
        }

        const int elapsed = int(ticksSince(t0, e_.clock_.ticks()));
        if (k * kCountdownStepMs >= t_ - elapsed) {
            --k;
            if (e_.options_.soundMode == 1)
                sound(k > 3 ? 13 : 4);
            if (lost())
                return PointEnd::ProbeLost;
            if (k < 0) {
                d_.progressPercent = 100;
                break;
            }
        }
        if (!r) {
            endPass(passStart);
            continue;
        }
        const int reading = *r;
        const double progress = elapsed * 100.0 / t_;

        if (elapsed < kRampMs) {
            e_.curve_.push_back({elapsed, progress, 0, true});
            const std::optional<int> fresh = read();
            if (lost())
                return PointEnd::ProbeLost;
            if (fresh)
                u = elapsed <= kFreshReferenceMs ? *fresh : (*fresh + u) / 2;
        } else {
            e_.curve_.push_back({elapsed, progress, (reading - u) / q_, false});
        }

        if (elapsed >= w_) {
            sum += reading;
            ++n;
            d_.samplingRate = n;
        }

        trace_.push_back({quint32(elapsed), quint16(reading)});
        ring_[ringNext] = reading;
        ringNext = (ringNext + 1) % kRingSize;
        double ringSum = 0;
        double ringSquares = 0;
        for (double x : ring_) {
            ringSum += x;
            ringSquares += x * x;
        }
        const double mean = ringSum / kRingSize;
        // Rounding can leave the difference a hair below 0 for twenty equal readings.
        sigma = std::sqrt(std::max(0.0, ringSquares / kRingSize - mean * mean));

        d_.remainingSeconds = std::max(0, t_ - elapsed) / 1000.0;
        d_.value = reading / q_;
        d_.compensated = reading * factor / q_;
        d_.progressPercent = std::min(100, int(progress));
        d_.valueBar = barPercent(d_.value);
        d_.compensatedBar = barPercent(d_.compensated);
        d_.qualityColour = qualityColourFor(sigma);
        if (100 - sigma > 0) {
            d_.qualityBar = 100 - int(std::nearbyint(sigma));
            d_.quality = 100 - sigma;
        } else {
            d_.qualityBar = 0;
            d_.quality = 0;
        }
        changed();
        endPass(passStart);
    }

    if (n == 0) {
        // Every reading of the final window went unanswered: there is nothing to average.
        qCWarning(lcMeasure) << "No reading in the final window at position" << position
                             << "; measured again";
        resetQualityDisplay();
        changed();
        return PointEnd::Restart;
    }
    return complete(position, point, factor, sigma, sum, n);
}

MeasurementEngine::Run::PointEnd MeasurementEngine::Run::waitForContact(double factor, double& u) {
    u = 0;
    for (;;) {
        const quint32 passStart = e_.clock_.ticks();
        QCoreApplication::processEvents();
        applyOptionChanges();
        if (lost())
            return PointEnd::ProbeLost;
        if (e_.chosenPosition_)
            return PointEnd::Moved;
        if (e_.stopRequested_)
            break;
        if (!automatic()) {
            if (e_.pointStartRequested_)
                break;
            waitUntil(e_.clock_, kIdleWaitMs, [this] {
                return e_.stopRequested_ || e_.pointStartRequested_ || e_.chosenPosition_ ||
                       optionsPending_ || lost();
            });
            continue;
        }
        d_.value = u / q_;
        d_.compensated = u * factor / q_;
        changed();
        const std::optional<int> r = read();
        if (lost())
            return PointEnd::ProbeLost;
        u = r.value_or(0);
        if (u > threshold()) {
            const std::optional<int> r1 = read();
            const std::optional<int> r2 = read();
            if (lost())
                return PointEnd::ProbeLost;
            if (r1 && r2) {
                u = (*r1 + *r2) / 2.0;
                if (u > threshold())
                    break;
            }
        }
        endPass(passStart);
    }
    return PointEnd::Completed;
}

MeasurementEngine::Run::PointEnd MeasurementEngine::Run::complete(int position, int point,
                                                                  double factor, double sigma,
                                                                  double sum, int n) {
    const double value = sum / n / q_;
    const double compensated = value * factor;
    // A quality below 0 shows as 0 and is kept as 0: no score is worse than none.
    const double quality = std::max(0.0, 100 - sigma);
    const double completedAt = e_.now_();

    MeasurementRecord& m = e_.state_.measurement;
    const size_t i = size_t(point - 1);
    m.values[i] = value;
    m.compensated[i] = compensated;
    m.quality[i] = quality;
    m.samples[i] = n;
    m.traces[i] = trace_;
    m.highPotential = e_.options_.highPotential;
    m.dateTime = completedAt;
    ++e_.state_.pointsMeasuredSinceAnalysis;
    e_.state_.measurementHoldsData = true;

    // Durable first, shown as complete afterwards. The trace goes to the journal and comes
    // back, so the next point reuses its memory.
    JournalPoint record;
    record.position = position;
    record.point = point;
    record.value = value;
    record.compensated = compensated;
    record.quality = quality;
    record.dateTime = completedAt;
    record.samples = n;
    record.trace = std::move(trace_);
    journal(record);
    trace_ = std::move(record.trace);
    trace_.clear();

    const int soundMode = e_.options_.soundMode;
    if (position == kPositions) {
        if (soundMode == 1) {
            sound(6);
        } else if (soundMode == 2) {
            sound(4);
            sound(5);
        }
    } else if (soundMode == 1) {
        sound(5);
    } else if (soundMode == 2) {
        sound(4);
    }

    d_.value = value;
    d_.compensated = compensated;
    d_.status = QString::fromLatin1(automatic() ? kCompleteAuto : kCompleteManual);
    d_.gridChoiceAllowed = false;
    d_.valueBar = barPercent(value);
    d_.compensatedBar = barPercent(compensated);
    d_.remainingSeconds = 0.0;
    d_.lamp = MeasurementLamp::Green;
    changed();
    emit e_.pointCompleted(position, point);

    switch (qualityColourFor(sigma)) {
    case QualityColour::Green:
        send(QStringLiteral("F00FF"));
        send(QStringLiteral("C0000"));
        break;
    case QualityColour::Yellow:
        send(QStringLiteral("F00FF"));
        send(QStringLiteral("C00FF"));
        break;
    case QualityColour::Red:
        send(QStringLiteral("F0000"));
        send(QStringLiteral("C00FF"));
        break;
    }

    d_.countdownVisible = true;
    e_.state_.analysisPage = 0;
    e_.state_.resetChartSelections();
    changed();

    const PointEnd after = automatic() ? waitForRelease(position) : pauseAfterPoint();
    d_.countdownVisible = false;
    changed();
    return after == PointEnd::ProbeLost ? after : PointEnd::Completed;
}

MeasurementEngine::Run::PointEnd MeasurementEngine::Run::waitForRelease(int position) {
    const quint32 t1 = e_.clock_.ticks();
    for (;;) {
        const quint32 passStart = e_.clock_.ticks();
        d_.countdownText = secondsText(double(kReleaseTimeoutMs) - ticksSince(t1, passStart));
        changed();
        QCoreApplication::processEvents();
        applyOptionChanges();
        if (lost())
            return PointEnd::ProbeLost;
        // Stop ends the run after this point; there is nothing left to wait for.
        if (e_.stopRequested_)
            return PointEnd::Completed;
        const std::optional<int> r = read();
        if (lost())
            return PointEnd::ProbeLost;
        // An unanswered reading is no sign of release: the next point must not start on the
        // skin of this one.
        if (r && *r < threshold()) {
            const std::optional<int> r1 = read();
            const std::optional<int> r2 = read();
            if (lost())
                return PointEnd::ProbeLost;
            if (r1 && r2 && (*r1 + *r2) / 2.0 < threshold())
                return PointEnd::Completed;
        }
        if (ticksSince(t1, e_.clock_.ticks()) > kReleaseTimeoutMs) {
            if (position == kPositions)
                return PointEnd::Completed;
            qCWarning(lcMeasure) << "The probe was not lifted within 5 s after position"
                                 << position;
            sound(3);
            d_.countdownText = secondsText(0);
            changed();
            if (!messageBox(kImportantYesNo, QString::fromLatin1(kTimeOut))) {
                d_.gridChoiceAllowed = false;
                e_.stopRequested_ = true;
            }
            return lost() ? PointEnd::ProbeLost : PointEnd::Completed;
        }
        endPass(passStart);
    }
}

MeasurementEngine::Run::PointEnd MeasurementEngine::Run::pauseAfterPoint() {
    send(QStringLiteral("K0000"));
    const quint32 t1 = e_.clock_.ticks();
    for (;;) {
        const quint32 elapsed = ticksSince(t1, e_.clock_.ticks());
        if (elapsed >= kManualPauseMs || e_.stopRequested_)
            break;
        d_.countdownText = secondsText(double(kManualPauseMs) - elapsed);
        changed();
        waitUntil(e_.clock_, std::min(kIdleWaitMs, kManualPauseMs - elapsed),
                  [this] { return e_.stopRequested_ || optionsPending_ || lost(); });
        applyOptionChanges();
        if (lost())
            return PointEnd::ProbeLost;
    }
    e_.pointStartRequested_ = false;
    d_.pointStartEnabled = !automatic();
    d_.countdownText = secondsText(0);
    d_.value = 0;
    d_.compensated = 0;
    d_.remainingSeconds = t_ / 1000.0;
    changed();
    return PointEnd::Completed;
}

// --- The engine ---------------------------------------------------------------------------------

MeasurementEngine::MeasurementEngine(ProbeLink& probe, TickClock& clock, ApplicationState& state,
                                     const Settings& settings, QObject* parent)
    : QObject(parent), probe_(probe), clock_(clock), state_(state), settings_(settings),
      now_(wallClockNow),
      options_(MeasuringOptions::fromSettings(settings, state.measurement.highPotential)) {
    display_.totalMs = options_.totalMs();
    connect(&probe_, &ProbeLink::detached, this, [this] {
        if (run_)
            probeLost_ = true;
    });
}

MeasurementEngine::~MeasurementEngine() = default;

void MeasurementEngine::setNow(NowFn now) {
    now_ = now ? std::move(now) : NowFn(wallClockNow);
}

void MeasurementEngine::setJournal(MeasurementJournal* journal) {
    journal_ = journal;
    journalResumed_ = false;
}

bool MeasurementEngine::setOptions(const MeasuringOptions& options) {
    QString why;
    if (!options.isValid(&why)) {
        qCWarning(lcMeasure).noquote() << "Measuring options refused:" << why;
        return false;
    }
    if (!run_) {
        options_ = options;
        display_.totalMs = options_.totalMs();
        emit displayChanged();
        return true;
    }
    if (options.highPotential != options_.highPotential ||
        options.userProcedure != options_.userProcedure ||
        options.userMeasuringMs != options_.userMeasuringMs ||
        options.userFinalWindowMs != options_.userFinalWindowMs) {
        qCWarning(lcMeasure) << "The procedure and the potential cannot change during a run";
        return false;
    }
    setSensitivity(options.sensitivity);
    setSoundMode(options.soundMode);
    setChannel(options.channel);
    setMethod(options.method);
    return true;
}

void MeasurementEngine::setSensitivity(double sensitivity) {
    if (!validSensitivity(sensitivity)) {
        qCWarning(lcMeasure) << "Sensitivity" << sensitivity << "refused";
        return;
    }
    // The contact threshold follows at once: it is computed from it at every check.
    options_.sensitivity = sensitivity;
}

void MeasurementEngine::setChannel(int channel) {
    if (channel < 0 || channel > 4) {
        qCWarning(lcMeasure) << "Channel" << channel << "refused";
        return;
    }
    if (channel == options_.channel)
        return;
    options_.channel = channel;
    if (run_)
        run_->optionsChanged();
}

void MeasurementEngine::setMethod(MeasuringMethod method) {
    if (method != MeasuringMethod::Manual && method != MeasuringMethod::Automatic)
        return;
    if (method == options_.method)
        return;
    options_.method = method;
    if (run_)
        run_->optionsChanged();
}

void MeasurementEngine::setSoundMode(int mode) {
    if (mode < 0 || mode > 2) {
        qCWarning(lcMeasure) << "Sound mode" << mode << "refused";
        return;
    }
    options_.soundMode = mode;
}

bool MeasurementEngine::setHighPotential(bool high) {
    if (run_)
        return false;
    options_.highPotential = high;
    return true;
}

int MeasurementEngine::calibrationConstantFor(int channel, bool highPotential) const {
    const CalibrationConstants constants =
        channel == 0
            ? probe_.calibrationConstants(settings_.calibrationNormal, settings_.calibrationHigh)
            : probe_.calibrationConstants(settings_.electrodeCalibrationNormal,
                                          settings_.electrodeCalibrationHigh);
    const int constant = highPotential ? constants.high : constants.normal;
    // A blank constant would turn every value into a division by zero.
    return constant > 0 ? constant : ProbeLink::kDefaultDeviceConstant;
}

int MeasurementEngine::calibrationConstant() const {
    return calibrationConstantFor(options_.channel, options_.highPotential);
}

double MeasurementEngine::countsPerMicroamp() const {
    return calibrationConstant() / 200.0;
}

bool MeasurementEngine::journalHeldPoints(QString* error) {
    const MeasurementRecord& m = state_.measurement;
    for (int position = 1; position <= kPositions; ++position) {
        const int point = settings_.sequence.position[size_t(position - 1)];
        const size_t i = size_t(point - 1);
        if (m.values[i] == 0)
            continue;
        JournalPoint record;
        record.position = position;
        record.point = point;
        record.value = m.values[i];
        record.compensated = m.compensated[i];
        record.quality = m.quality[i];
        record.dateTime = m.dateTime;
        record.samples = m.samples[i];
        record.trace = m.traces[i];
        if (!journal_->append(record, error))
            return false;
    }
    return true;
}

void MeasurementEngine::discardJournal() {
    if (!run_)
        removeJournal();
}

void MeasurementEngine::removeJournal() {
    journalResumed_ = false;
    if (!journal_)
        return;
    QString error;
    if (!journal_->remove(&error))
        qCWarning(lcMeasure).noquote() << "The measurement journal could not be removed:" << error;
}

MeasurementEngine::RunEnd MeasurementEngine::start(int fromPosition) {
    if (run_) {
        qCWarning(lcMeasure) << "Start during a run ignored";
        return RunEnd::NotStarted;
    }
    if (fromPosition < 1 || fromPosition > kPositions) {
        qCWarning(lcMeasure) << "No position" << fromPosition << "to start at";
        return RunEnd::NotStarted;
    }
    if (!probe_.isOnline()) {
        qCWarning(lcMeasure) << "Start with the probe off-line";
        messageBox(kImportantOk, QString::fromLatin1(kOffline));
        return RunEnd::NotStarted;
    }

    if (state_.measurement.key > 0) {
        probe_.soundEffect(1);
        if (messageBox(kInfoYesNo, QString::fromLatin1(kClearFirst))) {
            state_.clearMeasurement();
            journalResumed_ = false;
            emit measurementCleared();
        }
    }
    if (options_.highPotential) {
        probe_.soundEffect(2);
        if (!messageBox(kImportantYesNo, QString::fromLatin1(kConfirmHigh)))
            return RunEnd::NotStarted;
    }
    // Unplugged while the questions were up.
    if (!probe_.isOnline()) {
        qCWarning(lcMeasure) << "The probe went off-line before the run began";
        messageBox(kImportantOk, QString::fromLatin1(kOffline));
        return RunEnd::NotStarted;
    }

    Run run(*this);
    run_ = &run;
    probeLost_ = false;
    stopRequested_ = false;
    keepJournal_ = false;
    pointStartRequested_ = false;
    chosenPosition_.reset();
    curve_.reserve(size_t(options_.totalMs()) + 64);
    display_ = MeasurementDisplay();
    display_.running = true;
    display_.totalMs = options_.totalMs();
    display_.pointStartEnabled = options_.method == MeasuringMethod::Manual;
    emit runStarted();
    restartCurve();
    emit displayChanged();

    const bool continueJournal = journalResumed_;
    journalResumed_ = false;
    const RunEnd end = run.execute(fromPosition, continueJournal);
    run_ = nullptr;
    stopRequested_ = false;
    pointStartRequested_ = false;
    chosenPosition_.reset();

    if (end == RunEnd::ProbeLost) {
        qCWarning(lcMeasure) << "The probe went off-line during the run; the points completed"
                             << "are kept";
        messageBox(kImportantOk, QString::fromLatin1(kOffline));
    } else if (!keepJournal_ && !journalKeptUntilSaved_) {
        removeJournal();
    }
    keepJournal_ = false;
    emit runFinished(end);
    return end;
}

void MeasurementEngine::restartCurve() {
    curve_.clear();
    ++curveGeneration_;
    emit curveRestarted();
}

bool MeasurementEngine::restore(const JournalContents& contents, QString* error) {
    auto fail = [error](const QString& why) {
        qCWarning(lcMeasure).noquote() << why;
        if (error)
            *error = why;
        return false;
    };
    if (run_)
        return fail(QStringLiteral("A measurement is running; nothing was restored."));

    state_.clearMeasurement();
    state_.clearCurrentPatient();
    state_.measurement = contents.record();
    state_.patient.custNo = contents.header.custNo;
    state_.patient.name = contents.header.patientName;
    const MeasurementRecord& m = state_.measurement;
    state_.measurementHoldsData =
        std::any_of(m.values.begin(), m.values.end(), [](double v) { return v != 0; });
    state_.pointsMeasuredSinceAnalysis = contents.pointsTaken();
    // The rest of the run is taken as its first part was.
    options_.highPotential = contents.header.highPotential;
    if (contents.header.channel >= 0 && contents.header.channel <= 4)
        options_.channel = contents.header.channel;

    if (!journal_)
        return true;
    QString why;
    if (!journal_->resume(contents, &why))
        return fail(QStringLiteral("The measurement journal cannot be continued: %1").arg(why));
    journalResumed_ = true;
    return true;
}

void MeasurementEngine::requestStop() {
    if (run_)
        stopRequested_ = true;
}

void MeasurementEngine::requestSuspend() {
    if (!run_)
        return;
    stopRequested_ = true;
    keepJournal_ = true;
}

void MeasurementEngine::requestPointStart() {
    if (run_ && options_.method == MeasuringMethod::Manual && display_.pointStartEnabled)
        pointStartRequested_ = true;
}

bool MeasurementEngine::choosePosition(int position) {
    if (!run_ || !display_.gridChoiceAllowed || position < 1 || position > kPositions)
        return false;
    chosenPosition_ = position;
    return true;
}

bool MeasurementEngine::clear() {
    if (run_)
        return false;
    if (!messageBox(kInfoYesNo, QString::fromLatin1(kClearTable)))
        return false;
    state_.clearMeasurement();
    state_.clearCurrentPatient();
    removeJournal();
    emit measurementCleared();
    return true;
}

void MeasurementEngine::analysisShown() {
    if (run_ || state_.pointsMeasuredSinceAnalysis <= 11)
        return;
    if (!probe_.incrementUsageCounter()) {
        // Kept, so the next analysis counts these points.
        qCWarning(lcMeasure) << "The probe's usage counter could not be incremented";
        return;
    }
    state_.pointsMeasuredSinceAnalysis = 0;
}

} // namespace viro
