#include "cli/cli_support.h"
#include "cli/commands.h"
#include "cli/measurement_json.h"
#include "cli/patient_database.h"

#include "analysis/meridian_model.h"
#include "core/application_state.h"
#include "core/data_folder.h"
#include "core/settings.h"
#include "core/user_prompts.h"
#include "device/hidapi_port.h"
#include "device/probe_link.h"
#include "device/simulated_port.h"
#include "device/simulated_probe.h"
#include "device/tick_clock.h"
#include "measure/measurement_engine.h"
#include "measure/measurement_journal.h"

#include <QDate>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>

namespace viro::cli {

namespace {

// The simulated operator takes this long to move the probe to the next point, as a practised
// hand does; it is also the pause before the first point.
constexpr quint32 kMoveMs = 1500;
// The probe's readings end near 200 µA (4095 counts).
constexpr double kMaxPatientMicroamps = 200.0;
constexpr double kMaxNoise = 0.5;
// The noise and its seed of the default simulated probe (configureDefaultProbe).
constexpr double kDefaultNoise = 0.01;
constexpr quint32 kDefaultSeed = 7;
// A reading is rounded to whole counts, about 0.05 µA: a patient value this close above the
// contact threshold might still read at or below it.
constexpr double kThresholdMarginMicroamps = 0.05;
// How often the command looks for a signal and lets its operator act, in real time. A virtual
// run looks at every turn of its waits.
constexpr int kRealTimePollMs = 10;

// The engine's questions that the command answers for the user.
const QString kConfirmHigh =
    QStringLiteral("You have selected High Potential Measurement. Please confirm!");
const QString kTimeOut = QStringLiteral("Time out! Do you wish to continue measurements?");

const char* const kNoProbe = "No probe found.\n";
const char* const kNoJournal = "No measurement in progress.\n";

QString usage() {
    return QStringLiteral(
        "measure [--simulate-probe [--patient v1,...,v24] [--noise R] [--seed N]]\n"
        "        [--potential nrm|hi] [--sensitivity S] [--procedure default|W,F]\n"
        "        [--method auto|manual] [--channel 0-4] [--virtual-time] [--traces]\n"
        "        [--resume] [--no-journal] [--save CUSTNO]");
}

// There is no one to ask: the high potential was asked for on the command line, and a run that
// waits for the probe to be lifted goes on. Everything else is answered NO (nothing else can
// arise in a fresh measurement) and every box is shown on standard error.
class CommandLinePrompts : public UserPrompts {
public:
    bool message(int type, const QString& text) override {
        const bool question = type >= kInfoYesNo && type <= kImportantYesNo;
        const bool yes = !question || text == kConfirmHigh || text == kTimeOut;
        QString shown = text;
        shown.replace(QLatin1String("\r\n"), QLatin1String(" "));
        shown.replace('\n', ' ');
        if (question)
            shown += yes ? QStringLiteral(" - yes") : QStringLiteral(" - no");
        std::fputs(("viro-cli measure: " + shown + "\n").toUtf8().constData(), stderr);
        return yes;
    }
};

// Installs the command's prompts for as long as it runs.
class PromptsScope {
public:
    explicit PromptsScope(UserPrompts& p) { setPrompts(&p); }
    ~PromptsScope() { setPrompts(nullptr); }
    PromptsScope(const PromptsScope&) = delete;
    PromptsScope& operator=(const PromptsScope&) = delete;
};

// SIGINT and SIGTERM only note the signal; the run is stopped from the event loop. A second
// signal ends the process at once, as it would without the handler.
volatile std::sig_atomic_t caughtSignal = 0;

extern "C" void noteSignal(int number) {
    caughtSignal = number;
    std::signal(number, SIG_DFL);
}

class SignalScope {
public:
    SignalScope() {
        caughtSignal = 0;
        std::signal(SIGINT, noteSignal);
        std::signal(SIGTERM, noteSignal);
    }
    ~SignalScope() {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }
    SignalScope(const SignalScope&) = delete;
    SignalScope& operator=(const SignalScope&) = delete;
};

struct MeasureArgs {
    MeasuringOptions options;
    bool simulate = false;
    std::optional<std::array<double, kPointCount>> patient;
    std::optional<double> noise;
    std::optional<quint32> seed;
    bool virtualTime = false;
    bool traces = false;
    bool resume = false;
    bool journal = true;
    std::optional<QString> save; // the patient to save the measurement for
};

std::optional<double> parseReal(const QString& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<int> parseInt(const QString& text) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

// Reads the options of a parsed line; empty with `error` naming what is wrong.
std::optional<MeasureArgs> readArgs(const CommandLine& line, QString* error) {
    MeasureArgs a;
    a.simulate = line.isSet("simulate-probe");
    a.virtualTime = line.isSet("virtual-time");
    a.traces = line.isSet("traces");
    a.resume = line.isSet("resume");
    a.journal = !line.isSet("no-journal");
    auto refuse = [error](const QString& why) {
        *error = why;
        return std::nullopt;
    };

    if (!a.simulate) {
        for (const char* name : {"patient", "noise", "seed", "virtual-time"})
            if (line.isSet(name))
                return refuse(QStringLiteral("--%1 needs --simulate-probe").arg(name));
    }
    if (const std::optional<QString> v = line.value("save")) {
        a.save = v->trimmed();
        if (a.save->isEmpty())
            return refuse("--save needs the number of the patient to save the measurement for");
    }
    if (a.resume && !a.journal)
        return refuse("--resume goes on with the journal; it cannot go with --no-journal");
    if (a.resume) {
        // The rest of an interrupted run is measured as its first part was.
        for (const char* name : {"potential", "channel"})
            if (line.isSet(name))
                return refuse(QStringLiteral("--%1 cannot change with --resume: the run goes on "
                                             "as it began")
                                  .arg(name));
    }

    MeasuringOptions& o = a.options;
    if (const std::optional<QString> v = line.value("potential")) {
        if (*v == QLatin1String("hi"))
            o.highPotential = true;
        else if (*v != QLatin1String("nrm"))
            return refuse("--potential must be nrm or hi, not " + *v);
    }
    if (const std::optional<QString> v = line.value("sensitivity")) {
        const std::optional<double> s = parseReal(*v);
        MeasuringOptions check;
        if (s)
            check.sensitivity = *s;
        if (!s || !check.isValid())
            return refuse("--sensitivity must be a number from 0.1 to 5.0, not " + *v);
        o.sensitivity = *s;
    }
    if (const std::optional<QString> v = line.value("procedure")) {
        if (*v != QLatin1String("default")) {
            const QStringList times = v->split(',');
            const std::optional<int> w = times.size() == 2 ? parseInt(times[0]) : std::nullopt;
            const std::optional<int> f = times.size() == 2 ? parseInt(times[1]) : std::nullopt;
            if (!w || !f)
                return refuse("--procedure must be default or W,F in milliseconds, not " + *v);
            MeasuringOptions check;
            check.userProcedure = true;
            check.userMeasuringMs = *w;
            if (!check.isValid())
                return refuse("--procedure W (the measuring time) must be 500 to 10000 ms in "
                              "steps of 100");
            check.userFinalWindowMs = *f;
            if (!check.isValid())
                return refuse("--procedure F (the final window) must be 100 to 10000 ms in "
                              "steps of 100");
            o.userProcedure = true;
            o.userMeasuringMs = *w;
            o.userFinalWindowMs = *f;
        }
    }
    if (const std::optional<QString> v = line.value("method")) {
        if (*v == QLatin1String("manual"))
            o.method = MeasuringMethod::Manual;
        else if (*v == QLatin1String("auto"))
            o.method = MeasuringMethod::Automatic;
        else
            return refuse("--method must be auto or manual, not " + *v);
    }
    if (const std::optional<QString> v = line.value("channel")) {
        const std::optional<int> c = parseInt(*v);
        if (!c || *c < 0 || *c > 4)
            return refuse("--channel must be 0 (the hand probe) or 1 to 4, not " + *v);
        o.channel = *c;
    }
    QString why;
    if (!o.isValid(&why))
        return refuse(why);

    if (const std::optional<QString> v = line.value("noise")) {
        const std::optional<double> n = parseReal(*v);
        if (!n || *n < 0 || *n > kMaxNoise)
            return refuse("--noise must be a number from 0 to 0.5, not " + *v);
        a.noise = *n;
    }
    if (const std::optional<QString> v = line.value("seed")) {
        bool ok = false;
        const quint32 s = v->trimmed().toUInt(&ok);
        if (!ok)
            return refuse("--seed must be a whole number from 0 to 4294967295, not " + *v);
        a.seed = s;
    }
    if (const std::optional<QString> v = line.value("patient")) {
        const QStringList items = v->split(',');
        if (items.size() != kPointCount)
            return refuse(QStringLiteral("--patient needs 24 comma-separated values in µA, got %1")
                              .arg(items.size()));
        // Below this the probe never finds contact and the run would wait for ever.
        const double noise = a.noise.value_or(kDefaultNoise);
        const double lowest = (o.sensitivity + kThresholdMarginMicroamps) / (1 - noise);
        std::array<double, kPointCount> patient{};
        for (int i = 0; i < kPointCount; ++i) {
            const std::optional<double> p = parseReal(items[i]);
            if (!p)
                return refuse(QStringLiteral("--patient item %1 is not a number: '%2'")
                                  .arg(i + 1)
                                  .arg(items[i]));
            if (*p < lowest || *p > kMaxPatientMicroamps)
                return refuse(QStringLiteral("--patient item %1 must lie from %2 µA (above the "
                                             "contact threshold) to 200 µA, not %3")
                                  .arg(i + 1)
                                  .arg(std::ceil(lowest * 100) / 100)
                                  .arg(items[i]));
            patient[size_t(i)] = *p;
        }
        a.patient = patient;
    }
    return a;
}

// What the operator is told to touch, when a person holds a real probe.
QString guideLine(int position, int point) {
    const MeridianInfo& m = meridian(meridianOfPoint(point));
    const QString side = isLeftPoint(point) ? QStringLiteral("Left") : QStringLiteral("Right");
    const QString limb = isHandPoint(point) ? QStringLiteral("Hand") : QStringLiteral("Foot");
    return QStringLiteral("viro-cli measure: position %1 of 24: %2 %3, %4 of %5, %6\n")
        .arg(position)
        .arg(side, limb, m.name, m.channel, m.sourcePoint.simplified());
}

// The operator's part that the command plays: with a simulated probe it touches each point the
// run waits for, after the time it takes to move there, and lifts the probe when the point is
// complete; with the manual method it presses the point's Start once on the point.
class Operator {
public:
    Operator(MeasurementEngine& engine, TickClock& clock, SimulatedProbe* probe)
        : engine_(engine), clock_(clock), probe_(probe), movedAt_(clock.ticks()) {}

    void act() {
        const MeasurementDisplay& d = engine_.display();
        // Grid choice is allowed exactly while the run waits for a point to begin.
        if (!d.running || d.position == 0 || !d.gridChoiceAllowed)
            return;
        if (onPosition_ != d.position) {
            if (ticksSince(movedAt_, clock_.ticks()) < kMoveMs)
                return;
            if (probe_)
                probe_->touchPoint(d.position - 1);
            onPosition_ = d.position;
        }
        if (d.pointStartEnabled)
            engine_.requestPointStart();
    }

    void pointCompleted() {
        if (probe_)
            probe_->lift();
        onPosition_ = 0;
        movedAt_ = clock_.ticks();
    }

private:
    MeasurementEngine& engine_;
    TickClock& clock_;
    SimulatedProbe* probe_;
    int onPosition_ = 0; // the position the probe is on, 0 while moving
    quint32 movedAt_;
};

QString endName(MeasurementEngine::RunEnd end) {
    switch (end) {
    case MeasurementEngine::RunEnd::Completed:
        return QStringLiteral("completed");
    case MeasurementEngine::RunEnd::ProbeLost:
        return QStringLiteral("probeLost");
    default:
        return QStringLiteral("stopped");
    }
}

void note(const QString& text) {
    std::fputs(("viro-cli measure: " + text + "\n").toUtf8().constData(), stderr);
}

// Saves the run for the patient and removes its journal; the new MKEY, or nothing with
// `failed` set to the exit status (the reason shown). A run cut short by a signal or a lost
// probe is not saved: it is resumed from its journal and saved then.
std::optional<int> saveRun(const CommandLine& line, PatientStore& store,
                           const PatientRecord& patient, const MeasurementRecord& m,
                           MeasurementEngine::RunEnd end, MeasurementJournal* journal,
                           std::optional<int>* failed) {
    const QString resume = "viro-cli measure --resume --save " + patient.custNo;
    if (caughtSignal || end == MeasurementEngine::RunEnd::ProbeLost) {
        if (journal)
            note("not saved; " + resume + " goes on with the run and saves it");
        else
            note("not saved: the run was cut short");
        *failed = kFailure;
        return std::nullopt;
    }
    if (std::all_of(m.values.begin(), m.values.end(), [](double v) { return v == 0; })) {
        *failed = line.fail("no point was measured; nothing was saved", kFailure);
        return std::nullopt;
    }
    StoreError why;
    const std::optional<int> key = store.saveMeasurement(patient.custNo, m, &why);
    if (!key) {
        *failed = storeFailure(line, why);
        if (journal)
            note("the measurement stays in the journal; " + resume + " saves it");
        return std::nullopt;
    }
    QString error;
    if (journal && !journal->remove(&error))
        note("the journal could not be removed: " + error);
    return key;
}

int runMeasure(const QStringList& args) {
    CommandLine line(QStringLiteral("measure"), usage());
    line.addFlag("simulate-probe", "measure a virtual patient with a simulated probe");
    line.addOption("patient", "v1,...,v24",
                   "simulated probe: the patient's 24 values in µA, in the order they are "
                   "measured (default a typical adult)");
    line.addOption("noise", "R", "simulated probe: relative noise of the readings (default 0.01)");
    line.addOption("seed", "N", "simulated probe: seed of the noise (default 7)");
    line.addOption("potential", "nrm|hi", "measuring potential (default nrm)");
    line.addOption("sensitivity", "S", "contact threshold in µA, 0.1 to 5.0 (default 1.0)");
    line.addOption("procedure", "default|W,F",
                   "measuring time W and final window F in ms (default 2000,500)");
    line.addOption("method", "auto|manual",
                   "auto: each point begins at contact; manual: at its Start (default auto)");
    line.addOption("channel", "0-4", "0 the hand probe, 1-4 the electrode channels (default 0)");
    line.addFlag("virtual-time", "simulated probe: run on a virtual clock, in well under a second");
    line.addFlag("traces", "also print every reading of each point's final attempt");
    line.addFlag("resume", "go on with the measurement interrupted in the journal");
    line.addFlag("no-journal", "keep no journal of the points on the disk");
    line.addOption("save", "CUSTNO",
                   "save the measurement, traces included, for this patient of the patient "
                   "database");
    if (const std::optional<int> status = line.parse(args))
        return *status;
    if (!line.positional().isEmpty())
        return line.fail("unexpected argument " + line.positional().first());
    QString error;
    const std::optional<MeasureArgs> a = readArgs(line, &error);
    if (!a)
        return line.fail(error);

    // The patient is looked for before the run, which would otherwise be taken in vain.
    PatientDatabase database;
    PatientRecord patient;
    if (a->save) {
        if (!database.open(std::nullopt, &error))
            return line.fail(error, kFailure);
        StoreError why;
        const std::optional<PatientRecord> found = database.store().patient(*a->save, &why);
        if (!found) {
            if (why && why.kind != StoreError::Kind::NotFound)
                return storeFailure(line, why);
            return line.fail("no patient with the number " + *a->save, kFailure);
        }
        patient = *found;
    }

    const QString journalPath = MeasurementJournal::pathIn(dataFolder());
    std::optional<JournalContents> interrupted;
    if (a->journal) {
        interrupted = MeasurementJournal::read(journalPath);
        if (a->resume && !interrupted) {
            std::fputs(kNoJournal, stderr);
            return kFailure;
        }
        if (!ensureDataFolder(dataFolder(), &error))
            return line.fail("cannot create the data folder: " + error, kFailure);
    }

    SystemTickClock systemClock;
    FakeTickClock virtualClock;
    TickClock& clock = a->virtualTime ? static_cast<TickClock&>(virtualClock) : systemClock;
    SimulatedProbe simulatedProbe(clock);
    SimulatedPort* simulatedPort = nullptr;
    std::unique_ptr<HidPort> port;
    if (a->simulate) {
        configureDefaultProbe(simulatedProbe);
        simulatedProbe.setAutoContact(false);
        if (a->patient)
            simulatedProbe.setPatient(*a->patient);
        if (a->noise || a->seed)
            simulatedProbe.setNoise(a->noise.value_or(kDefaultNoise),
                                    a->seed.value_or(kDefaultSeed));
        auto simulated = std::make_unique<SimulatedPort>(clock);
        simulated->addProbe(simulatedProbe);
        // The USB probe answers within about a millisecond.
        simulated->setReplyDelay(1);
        simulatedPort = simulated.get();
        port = std::move(simulated);
    } else {
        auto hid = std::make_unique<HidapiPort>();
        hid->start();
        port = std::move(hid);
    }
    ProbeLink link(*port, clock);
    link.deviceChange();
    if (!link.isOnline()) {
        std::fputs(kNoProbe, stderr);
        return kFailure;
    }

    const Settings settings = Settings::firstStartDefaults(QDate::currentDate());
    ApplicationState state;
    // The journal names the patient, so that an interrupted run is put back under him.
    if (a->save)
        state.patient = patient;
    MeasurementEngine engine(link, clock, state, settings);
    MeasuringOptions options = MeasuringOptions::fromSettings(settings, a->options.highPotential);
    options.sensitivity = a->options.sensitivity;
    options.method = a->options.method;
    options.channel = a->options.channel;
    options.userProcedure = a->options.userProcedure;
    options.userMeasuringMs = a->options.userMeasuringMs;
    options.userFinalWindowMs = a->options.userFinalWindowMs;
    if (!engine.setOptions(options))
        return line.fail("the measuring options were refused");
    MeasurementJournal journal(journalPath);
    if (a->journal)
        engine.setJournal(&journal);
    // A run to be saved keeps its journal until the save has succeeded.
    engine.setJournalKeptUntilSaved(a->save.has_value());

    CommandLinePrompts prompts;
    PromptsScope promptsScope(prompts);
    SignalScope signalScope;

    Operator person(engine, clock, a->simulate ? &simulatedProbe : nullptr);
    QObject::connect(&engine, &MeasurementEngine::pointCompleted, &engine,
                     [&person] { person.pointCompleted(); });
    QObject::connect(&engine, &MeasurementEngine::positionChanged, &engine,
                     [&](int position, int point) {
                         if (simulatedPort) {
                             // What the simulated probe was told is of no use here.
                             simulatedProbe.clearLog();
                             simulatedPort->clearLog();
                         } else {
                             std::fputs(guideLine(position, point).toUtf8().constData(), stderr);
                         }
                     });
    QTimer poll;
    poll.setInterval(a->virtualTime ? 0 : kRealTimePollMs);
    QObject::connect(&poll, &QTimer::timeout, &engine, [&] {
        if (caughtSignal)
            engine.requestSuspend();
        else
            person.act();
    });
    poll.start();

    MeasurementEngine::RunEnd end = MeasurementEngine::RunEnd::Completed;
    if (a->resume) {
        if (!interrupted->damage.isEmpty())
            note("the journal is damaged: " + interrupted->damage +
                 "; the points before the damage are resumed");
        if (!engine.restore(*interrupted, &error))
            note(error);
        const int next = interrupted->nextPosition();
        if (a->save && !interrupted->header.custNo.isEmpty() &&
            interrupted->header.custNo.compare(patient.custNo, Qt::CaseInsensitive) != 0)
            note(QStringLiteral("the measurement was begun for the patient %1; it is saved for "
                                "%2")
                     .arg(interrupted->header.custNo, patient.custNo));
        if (next == 0) {
            // Every point was taken before the run was cut off: it is complete. A measurement
            // to be saved keeps its journal until it is.
            if (!a->save && !journal.remove(&error))
                note("the journal could not be removed: " + error);
        } else {
            end = engine.start(next);
        }
    } else {
        if (interrupted && interrupted->pointsTaken() > 0)
            note(QStringLiteral("the interrupted measurement in the journal (%1 points) is "
                                "replaced by this one")
                     .arg(interrupted->pointsTaken()));
        end = engine.start();
    }
    poll.stop();
    if (end == MeasurementEngine::RunEnd::NotStarted) {
        std::fputs(kNoProbe, stderr);
        return kFailure;
    }

    QJsonObject o = measurementJson(state.measurement, a->traces);
    o.insert("completed", end == MeasurementEngine::RunEnd::Completed);
    o.insert("end", endName(end));
    std::optional<int> saveFailed;
    if (a->save) {
        const std::optional<int> key = saveRun(line, database.store(), patient, state.measurement,
                                               end, a->journal ? &journal : nullptr,
                                               &saveFailed);
        o.insert("MKEY", key ? QJsonValue(*key) : QJsonValue(QJsonValue::Null));
    }
    printJson(QJsonDocument(o));
    if (caughtSignal) {
        if (a->journal && end != MeasurementEngine::RunEnd::Completed)
            note("interrupted; viro-cli measure --resume goes on with the run");
        return 128 + caughtSignal;
    }
    if (end == MeasurementEngine::RunEnd::ProbeLost)
        return kFailure;
    return saveFailed.value_or(0);
}

const CommandRegistration registration("measure", usage, runMeasure);

} // namespace

} // namespace viro::cli
