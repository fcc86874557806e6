#include "measure/measurement_engine.h"

#include "core/application_state.h"
#include "core/settings.h"
#include "device/probe_link.h"
#include "device/simulated_port.h"
#include "device/simulated_probe.h"
#include "device/tick_clock.h"
#include "measure/measurement_journal.h"
#include "scripted_prompts.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <vector>

namespace {

using viro::FakeTickClock;
using viro::MeasurementEngine;
using viro::MeasuringMethod;
using viro::MeasuringOptions;
using viro::QualityColour;
using RunEnd = MeasurementEngine::RunEnd;

const QString kOffline = "V.I.R.O. is off-line! Please reconnect the device.";
const QString kTimeOut = "Time out! Do you wish to continue measurements?";
const QString kWaitManual = "Press [Start] to measurement.";

// Answers questions from a script and notes the tick each one was asked at.
class TimedPrompts : public ScriptedPrompts {
public:
    explicit TimedPrompts(const FakeTickClock& clock) : clock_(clock) {}
    bool message(int type, const QString& text) override {
        times.push_back(clock_.ticks());
        return ScriptedPrompts::message(type, text);
    }
    std::vector<quint32> times;

private:
    const FakeTickClock& clock_;
};

// Steps acted out during a run, each once its condition holds and the one before it has run.
// Polled by a zero timer, so the steps run inside the engine's waits like user input does.
class Script {
public:
    Script() {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }
    void then(std::function<bool()> condition, std::function<void()> action) {
        steps_.push_back({std::move(condition), std::move(action)});
    }
    bool done() const { return next_ == steps_.size(); }

private:
    struct Step {
        std::function<bool()> condition;
        std::function<void()> action;
    };
    void poll() {
        while (next_ < steps_.size() && steps_[next_].condition()) {
            const size_t i = next_++;
            steps_[i].action();
        }
    }
    QTimer timer_;
    std::vector<Step> steps_;
    size_t next_ = 0;
};

// Runs of "D0000" collapsed into one "D0000*", so a sequence reads as the steps of the run.
QStringList collapsed(const QStringList& commands) {
    QStringList out;
    for (const QString& c : commands) {
        if (c == "D0000") {
            if (out.isEmpty() || out.back() != "D0000*")
                out << "D0000*";
        } else {
            out << c;
        }
    }
    return out;
}

QStringList tonesOf(const QStringList& commands) {
    QStringList tones;
    for (const QString& c : commands)
        if (c.startsWith('S'))
            tones << c;
    return tones;
}

// σ of the last 20 readings of a trace, as the quality is defined.
double sigmaOfLast20(const viro::PointTrace& trace) {
    double sum = 0;
    double squares = 0;
    for (size_t i = trace.size() - 20; i < trace.size(); ++i) {
        sum += trace[i].counts;
        squares += double(trace[i].counts) * trace[i].counts;
    }
    const double mean = sum / 20;
    return std::sqrt(std::max(0.0, squares / 20 - mean * mean));
}

class MeasurementEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Without A02 hardware the constants come from the settings: 4000 counts per 200 µA,
        // so Q = 20 and the probe's own constant gives the same counts.
        probe.setDeviceConstants(4000, 4000);
        probe.setAutoContact(false);
        path = port.addProbe(probe);
        // Each exchange costs one virtual millisecond, as on a fast real link.
        port.setReplyDelay(1);
        link.deviceChange();
        ASSERT_TRUE(link.isOnline());
        probe.clearLog();
        port.clearLog();
        engine.setNow([this] { return 45000.0 + clock.ticks() / 86400000.0; });
    }

    // A short point for the tests that are not about timing: 0.5 s + 0.1 s.
    void shortProcedure() {
        MeasuringOptions o = engine.options();
        o.userProcedure = true;
        o.userMeasuringMs = 500;
        o.userFinalWindowMs = 100;
        ASSERT_TRUE(engine.setOptions(o));
    }

    void setOption(const std::function<void(MeasuringOptions&)>& change) {
        MeasuringOptions o = engine.options();
        change(o);
        ASSERT_TRUE(engine.setOptions(o));
    }

    int pointAt(int position) const { return settings.sequence.position[size_t(position - 1)]; }
    double valueAt(int position) const { return state.measurement.values[pointAt(position) - 1]; }

    // The commands from the first `command` at or after `from` on.
    qsizetype indexOf(const QString& command, qsizetype from = 0) const {
        return probe.commands().indexOf(command, from);
    }

    FakeTickClock clock{1000};
    viro::SimulatedProbe probe{clock};
    viro::SimulatedPort port{clock};
    QString path;
    viro::ProbeLink link{port, clock};
    viro::Settings settings;
    viro::ApplicationState state;
    TimedPrompts prompts{clock};
    MeasurementEngine engine{link, clock, state, settings};
};

// --- Options --------------------------------------------------------------------------------

TEST(MeasuringOptions, RangesOfEveryOption) {
    struct Case {
        const char* name;
        std::function<void(MeasuringOptions&)> change;
        bool valid;
    };
    const std::vector<Case> cases{
        {"defaults", [](MeasuringOptions&) {}, true},
        {"sensitivity 0.1", [](MeasuringOptions& o) { o.sensitivity = 0.1; }, true},
        {"sensitivity 5.0", [](MeasuringOptions& o) { o.sensitivity = 5.0; }, true},
        {"sensitivity 0.09", [](MeasuringOptions& o) { o.sensitivity = 0.09; }, false},
        {"sensitivity 5.01", [](MeasuringOptions& o) { o.sensitivity = 5.01; }, false},
        {"sensitivity NaN", [](MeasuringOptions& o) { o.sensitivity = std::nan(""); }, false},
        {"channel 4", [](MeasuringOptions& o) { o.channel = 4; }, true},
        {"channel 5", [](MeasuringOptions& o) { o.channel = 5; }, false},
        {"channel -1", [](MeasuringOptions& o) { o.channel = -1; }, false},
        {"method 2", [](MeasuringOptions& o) { o.method = MeasuringMethod(2); }, false},
        {"measuring 500", [](MeasuringOptions& o) { o.userMeasuringMs = 500; }, true},
        {"measuring 10000", [](MeasuringOptions& o) { o.userMeasuringMs = 10000; }, true},
        {"measuring 400", [](MeasuringOptions& o) { o.userMeasuringMs = 400; }, false},
        {"measuring 10100", [](MeasuringOptions& o) { o.userMeasuringMs = 10100; }, false},
        {"measuring 1250", [](MeasuringOptions& o) { o.userMeasuringMs = 1250; }, false},
        {"window 100", [](MeasuringOptions& o) { o.userFinalWindowMs = 100; }, true},
        {"window 0", [](MeasuringOptions& o) { o.userFinalWindowMs = 0; }, false},
        {"window 150", [](MeasuringOptions& o) { o.userFinalWindowMs = 150; }, false},
        {"window 10100", [](MeasuringOptions& o) { o.userFinalWindowMs = 10100; }, false},
        {"sound 0", [](MeasuringOptions& o) { o.soundMode = 0; }, true},
        {"sound 3", [](MeasuringOptions& o) { o.soundMode = 3; }, false},
        {"sound -1", [](MeasuringOptions& o) { o.soundMode = -1; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MeasuringOptions o;
        c.change(o);
        QString why;
        EXPECT_EQ(o.isValid(&why), c.valid);
        EXPECT_EQ(why.isEmpty(), c.valid) << why.toStdString();
    }
}

TEST(MeasuringOptions, TimesOfTheProcedure) {
    MeasuringOptions o;
    o.userMeasuringMs = 3000;
    o.userFinalWindowMs = 800;
    EXPECT_EQ(o.measuringMs(), 2000);
    EXPECT_EQ(o.finalWindowMs(), 500);
    EXPECT_EQ(o.totalMs(), 2500);
    o.userProcedure = true;
    EXPECT_EQ(o.measuringMs(), 3000);
    EXPECT_EQ(o.finalWindowMs(), 800);
    EXPECT_EQ(o.totalMs(), 3800);
}

TEST(MeasuringOptions, SettingsLinesBothWays) {
    viro::Settings s;
    s.sensitivity = 2.5;
    s.soundMode = 2;
    s.measurementMethod = 0;
    s.measurementChannel = 3;
    s.measurementProcedure = 1;
    s.userMeasuringTime = 4200;
    s.userAveragingWindow = 700;
    const MeasuringOptions o = MeasuringOptions::fromSettings(s, true);
    EXPECT_DOUBLE_EQ(o.sensitivity, 2.5);
    EXPECT_EQ(o.soundMode, 2);
    EXPECT_EQ(o.method, MeasuringMethod::Manual);
    EXPECT_EQ(o.channel, 3);
    EXPECT_TRUE(o.userProcedure);
    EXPECT_EQ(o.userMeasuringMs, 4200);
    EXPECT_EQ(o.userFinalWindowMs, 700);
    EXPECT_TRUE(o.highPotential);

    viro::Settings back;
    o.writeTo(back);
    EXPECT_DOUBLE_EQ(back.sensitivity, 2.5);
    EXPECT_EQ(back.soundMode, 2);
    EXPECT_EQ(back.measurementMethod, 0);
    EXPECT_EQ(back.measurementChannel, 3);
    EXPECT_EQ(back.measurementProcedure, 1);
    EXPECT_EQ(back.userMeasuringTime, 4200);
    EXPECT_EQ(back.userAveragingWindow, 700);

    // Lines out of range fall back to their defaults; a run never starts on them.
    viro::Settings bad;
    bad.sensitivity = 9;
    bad.soundMode = 7;
    bad.measurementMethod = 4;
    bad.measurementChannel = 8;
    bad.measurementProcedure = 3;
    bad.userMeasuringTime = 123;
    bad.userAveragingWindow = 0;
    const MeasuringOptions d = MeasuringOptions::fromSettings(bad, false);
    EXPECT_TRUE(d.isValid());
    EXPECT_DOUBLE_EQ(d.sensitivity, 1.0);
    EXPECT_EQ(d.soundMode, 1);
    EXPECT_EQ(d.method, MeasuringMethod::Automatic);
    EXPECT_EQ(d.channel, 0);
    EXPECT_FALSE(d.userProcedure);
    EXPECT_EQ(d.userMeasuringMs, 2000);
    EXPECT_EQ(d.userFinalWindowMs, 500);
}

TEST(QualityColourFor, BoundsAreAtMost) {
    struct Case {
        double sigma;
        QualityColour colour;
    };
    const Case cases[] = {{0, QualityColour::Green},        {20, QualityColour::Green},
                          {20.0001, QualityColour::Yellow}, {40, QualityColour::Yellow},
                          {40.1, QualityColour::Red},       {900, QualityColour::Red}};
    for (const Case& c : cases)
        EXPECT_EQ(viro::qualityColourFor(c.sigma), c.colour) << c.sigma;
}

TEST_F(MeasurementEngineTest, OptionsRefusedOutOfRangeAndDuringARun) {
    MeasuringOptions bad = engine.options();
    bad.channel = 6;
    EXPECT_FALSE(engine.setOptions(bad));
    EXPECT_EQ(engine.options().channel, 0);
    engine.setSensitivity(7.0);
    EXPECT_DOUBLE_EQ(engine.options().sensitivity, 1.0);
    engine.setSoundMode(5);
    EXPECT_EQ(engine.options().soundMode, 1);

    probe.touch(40);
    shortProcedure();
    Script script;
    bool checked = false;
    script.then([&] { return engine.running(); },
                [&] {
                    MeasuringOptions longer = engine.options();
                    longer.userMeasuringMs = 3000;
                    EXPECT_FALSE(engine.setOptions(longer));
                    EXPECT_FALSE(engine.setHighPotential(true));
                    MeasuringOptions quieter = engine.options();
                    quieter.soundMode = 0;
                    quieter.sensitivity = 2.0;
                    EXPECT_TRUE(engine.setOptions(quieter));
                    checked = true;
                });
    EXPECT_EQ(engine.start(24), RunEnd::Completed);
    EXPECT_TRUE(checked);
    EXPECT_EQ(engine.options().userMeasuringMs, 500);
    EXPECT_FALSE(engine.options().highPotential);
    EXPECT_EQ(engine.options().soundMode, 0);
    EXPECT_DOUBLE_EQ(engine.options().sensitivity, 2.0);
}

TEST_F(MeasurementEngineTest, CalibrationConstantOfPotentialAndInput) {
    settings.calibrationNormal = 4010;
    settings.calibrationHigh = 4020;
    settings.electrodeCalibrationNormal = 4030;
    settings.electrodeCalibrationHigh = 4040;
    struct Case {
        bool a02;
        int channel;
        bool high;
        int constant;
    };
    const Case cases[] = {
        {false, 0, false, 4010},
        {false, 0, true, 4020},
        {false, 1, false, 4030},
        {false, 4, true, 4040},
        {true, 0, false, 4052},
        {true, 0, true, 4071},
        // A02 hardware carries its own constants for every input.
        {true, 3, true, 4071},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a02 << " " << c.channel << " " << c.high);
        port.unplug(path);
        link.deviceChange();
        probe.setHardwareString(c.a02 ? "VIRO6-20051706-A02" : "");
        probe.setDeviceConstants(4052, 4071);
        port.plug(path);
        link.deviceChange();
        ASSERT_EQ(link.isA02(), c.a02);
        setOption([&](MeasuringOptions& o) {
            o.channel = c.channel;
            o.highPotential = c.high;
        });
        EXPECT_EQ(engine.calibrationConstant(), c.constant);
        EXPECT_DOUBLE_EQ(engine.countsPerMicroamp(), c.constant / 200.0);
    }
}

// --- Whole runs ------------------------------------------------------------------------------

TEST_F(MeasurementEngineTest, FullDefaultRunStoresWhatTheReadingsGive) {
    // The paired order, so positions and point indices differ and each position has the
    // factor of its own meridian.
    settings.orderMode = 1;
    settings.rebuildDerivedTables();
    std::array<double, 24> patient{};
    for (int i = 0; i < 24; ++i)
        patient[size_t(i)] = 20.0 + 2.0 * i; // 400 + 40 i counts at Q = 20
    probe.setPatient(patient);
    // Contact comes 100 ms after the input is connected and lasts 2.7 s for each point.
    const quint32 gap = 100;
    const quint32 hold = 2700;

    struct Case {
        const char* name;
        double noise;
    };
    for (const Case& c : {Case{"noise 0", 0.0}, Case{"noise 2 %", 0.02}}) {
        SCOPED_TRACE(c.name);
        state.clearMeasurement();
        probe.setNoise(c.noise, 11);
        probe.setContactCycle(gap, hold);
        probe.setAutoContact(true);
        QSignalSpy completed(&engine, &MeasurementEngine::pointCompleted);
        std::vector<double> completedAt;
        QObject::connect(&engine, &MeasurementEngine::pointCompleted, &engine,
                         [&] { completedAt.push_back(45000.0 + clock.ticks() / 86400000.0); });

        EXPECT_EQ(engine.start(), RunEnd::Completed);
        QObject::disconnect(&engine, &MeasurementEngine::pointCompleted, &engine, nullptr);

        EXPECT_TRUE(prompts.asked.empty());
        ASSERT_EQ(completed.count(), 24);
        for (int position = 1; position <= 24; ++position) {
            SCOPED_TRACE(position);
            const int point = pointAt(position);
            EXPECT_EQ(completed[position - 1][0].toInt(), position);
            EXPECT_EQ(completed[position - 1][1].toInt(), point);
            const size_t i = size_t(point - 1);
            const viro::PointTrace& trace = state.measurement.traces[i];
            ASSERT_GT(trace.size(), 20u);

            // The trace: times from the point's start, rising, within T; counts as the probe
            // read the patient's point.
            const int expectedCounts = int(patient[size_t(position - 1)] * 20);
            EXPECT_LE(trace.front().timeMs, 2u);
            EXPECT_LT(trace.back().timeMs, 2500u);
            for (size_t j = 1; j < trace.size(); ++j)
                ASSERT_GT(trace[j].timeMs, trace[j - 1].timeMs) << j;
            for (const viro::TraceSample& s : trace)
                ASSERT_NEAR(s.counts, expectedCounts, expectedCounts * c.noise + 1);

            // Value: the mean of the final window over Q; quality: 100 - σ of the last 20.
            double sum = 0;
            int n = 0;
            for (const viro::TraceSample& s : trace) {
                if (s.timeMs >= 2000) {
                    sum += s.counts;
                    ++n;
                }
            }
            EXPECT_EQ(state.measurement.samples[i], n);
            // About one reading a millisecond over the 0.5 s window.
            EXPECT_GE(n, 450);
            EXPECT_LE(n, 500);
            EXPECT_DOUBLE_EQ(state.measurement.values[i], sum / n / 20.0);
            const double factor = settings.factors[size_t(
                settings.sequence.meridianOfPosition[size_t(position - 1)] - 1)];
            EXPECT_DOUBLE_EQ(factor, settings.factors[size_t(viro::meridianOfPoint(point) - 1)]);
            EXPECT_DOUBLE_EQ(state.measurement.compensated[i],
                             state.measurement.values[i] * factor);
            EXPECT_NEAR(state.measurement.quality[i], 100 - sigmaOfLast20(trace), 1e-9);
            if (c.noise == 0) {
                EXPECT_DOUBLE_EQ(state.measurement.values[i], patient[size_t(position - 1)]);
                EXPECT_DOUBLE_EQ(state.measurement.quality[i], 100.0);
            } else {
                EXPECT_LT(state.measurement.quality[i], 100.0);
            }
        }
        EXPECT_TRUE(state.measurement.isComplete());
        EXPECT_TRUE(state.measurementHoldsData);
        EXPECT_EQ(state.pointsMeasuredSinceAnalysis, 24);
        EXPECT_FALSE(state.measurement.highPotential);
        ASSERT_EQ(completedAt.size(), 24u);
        // The moment the last point completed (its completion sound lies between).
        EXPECT_NEAR(state.measurement.dateTime, completedAt.back(), 5 / 86400000.0);
        EXPECT_GT(state.measurement.dateTime, completedAt[22]);

        // Idle again: displays at rest.
        EXPECT_FALSE(engine.running());
        EXPECT_EQ(engine.display().position, 0);
        EXPECT_FALSE(engine.display().remainingSeconds.has_value());
        EXPECT_EQ(engine.display().lamp, viro::MeasurementLamp::Off);
        EXPECT_TRUE(engine.curve().empty());
        EXPECT_EQ(probe.commands().back(), "X0000");
        probe.setAutoContact(false);
    }
}

TEST_F(MeasurementEngineTest, ProbeCommandsOfARunStart) {
    struct Case {
        const char* name;
        bool high;
        int channel;
        MeasuringMethod method;
        QStringList commands;
    };
    const std::vector<Case> cases{
        {"normal, hand probe, automatic",
         false,
         0,
         MeasuringMethod::Automatic,
         {"X0000", "L0000", "I0000", "K0001", "F007F", "C0000", "C007F", "F0000", "X0000"}},
        {"high, channel 2, automatic",
         true,
         2,
         MeasuringMethod::Automatic,
         {"S885E", "S8862", "X0000", "H0000", "I00FF", "K0003", "F007F", "C0000", "C007F", "F0000",
          "X0000"}},
        {"normal, channel 4, manual",
         false,
         4,
         MeasuringMethod::Manual,
         {"X0000", "L0000", "I00FF", "K0000", "F007F", "C0000", "C007F", "F0000", "X0000"}},
    };
    // Stop as soon as the first position is shown: the run sets up and ends.
    QObject::connect(&engine, &MeasurementEngine::positionChanged, &engine,
                     [this] { engine.requestStop(); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        probe.clearLog();
        prompts.reset();
        prompts.answer({true});
        setOption([&](MeasuringOptions& o) {
            o.highPotential = c.high;
            o.channel = c.channel;
            o.method = c.method;
        });
        EXPECT_EQ(engine.start(), RunEnd::Stopped);
        EXPECT_EQ(probe.commands(), c.commands);
        EXPECT_EQ(prompts.asked.size(), c.high ? 1u : 0u);
    }
}

TEST_F(MeasurementEngineTest, ProbeCommandsOfAPoint) {
    probe.touch(40);
    QObject::connect(&engine, &MeasurementEngine::pointCompleted, &engine,
                     [this] { engine.requestStop(); });
    EXPECT_EQ(engine.start(), RunEnd::Stopped);
    const QStringList expected{
        "X0000",  "L0000", "I0000",  "K0001", // the run
        "F007F",  "C0000", "D0000*",          // waiting: lamps, contact
        "C007F",  "F0000", "D0000*", "SB660", // measuring; the countdown from 4 x 625 ms
        "D0000*", "SB660", "D0000*", "SB660", "D0000*", "SB660",
        "D0000*", "SB660", "S6862",  "F00FF", "C0000", // complete; quality green
        "X0000"};
    EXPECT_EQ(collapsed(probe.commands()), expected);
    // Contact is one reading above the threshold and two more confirming it.
    EXPECT_EQ(indexOf("C007F") - indexOf("C0000"), 4);
    EXPECT_EQ(state.measurement.values[0], 40.0);
    EXPECT_EQ(probe.lamp('F'), 0); // X0000: lamps at rest
}

TEST_F(MeasurementEngineTest, CountdownStepsAt625Ms) {
    struct Case {
        const char* name;
        bool user; // 3.0 s + 1.0 s
        int soundMode;
        QStringList tones;  // at position 24
        int countdownTicks; // the countdown tones among them, after the start tone if any
    };
    const std::vector<Case> cases{
        {"default, standard",
         false,
         1,
         {"SB660", "SB660", "SB660", "SB660", "SB660", "S6864", "S4F62"},
         5},
        {"4.0 s, standard",
         true,
         1,
         {"SC040", "SC040", "SC040", "SB660", "SB660", "SB660", "SB660", "SB660", "S6864", "S4F62"},
         7},
        {"4.0 s, single", true, 2, {"SC040", "SB660", "S6862"}, 0},
        {"default, single", false, 2, {"SC040", "SB660", "S6862"}, 0},
        {"4.0 s, mute", true, 0, {}, 0},
    };
    probe.touch(40);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setOption([&](MeasuringOptions& o) {
            o.userProcedure = c.user;
            o.userMeasuringMs = 3000;
            o.userFinalWindowMs = 1000;
            o.soundMode = c.soundMode;
        });
        probe.clearLog();
        EXPECT_EQ(engine.start(24), RunEnd::Completed);
        EXPECT_EQ(tonesOf(probe.commands()), c.tones);
        if (c.countdownTicks == 0)
            continue;
        // The tones of the countdown fall on T - k x 625 ms after the measuring began (the
        // first reading after the lamps changed), within the few ms a pass takes.
        const int total = c.user ? 4000 : 2500;
        const int k0 = total / 625;
        const qsizetype first = indexOf("D0000", indexOf("F0000"));
        const quint32 t0 = probe.commandTimes()[size_t(first)];
        std::vector<quint32> tickTimes;
        for (qsizetype i = first; i < probe.commands().size(); ++i) {
            const QString& cmd = probe.commands()[i];
            if (cmd == "SC040" || cmd == "SB660")
                tickTimes.push_back(probe.commandTimes()[size_t(i)] - t0);
        }
        ASSERT_EQ(int(tickTimes.size()), c.countdownTicks);
        for (int j = 0; j < c.countdownTicks; ++j) {
            SCOPED_TRACE(j);
            const int due = std::max(0, total - (k0 - j) * 625);
            EXPECT_GE(int(tickTimes[size_t(j)]), due);
            EXPECT_LE(int(tickTimes[size_t(j)]), due + 4);
        }
    }
}

TEST_F(MeasurementEngineTest, ContactLossRestartsThePointAndTheCellKeepsItsValue) {
    state.measurement.values[0] = 77.0;
    probe.touch(30); // 600 counts
    QSignalSpy positions(&engine, &MeasurementEngine::positionChanged);
    QSignalSpy restarts(&engine, &MeasurementEngine::curveRestarted);
    Script script;
    double valueWhileWaitingAgain = -1;
    script.then([&] { return engine.display().progressPercent >= 40; }, [&] { probe.lift(); });
    // Back to waiting for contact at the same position.
    script.then([&] { return engine.display().gridChoiceAllowed; },
                [&] {
                    valueWhileWaitingAgain = state.measurement.values[0];
                    EXPECT_EQ(engine.display().position, 1);
                    EXPECT_DOUBLE_EQ(engine.display().quality, 0);
                    EXPECT_EQ(engine.display().lamp, viro::MeasurementLamp::GreenBlinking);
                    probe.touch(45); // 900 counts
                });
    QObject::connect(&engine, &MeasurementEngine::pointCompleted, &engine,
                     [this] { engine.requestStop(); });
    EXPECT_EQ(engine.start(), RunEnd::Stopped);
    EXPECT_TRUE(script.done());
    EXPECT_DOUBLE_EQ(valueWhileWaitingAgain, 77.0);
    EXPECT_DOUBLE_EQ(state.measurement.values[0], 45.0);
    ASSERT_EQ(positions.count(), 2); // position 1 shown again
    EXPECT_EQ(positions[1][0].toInt(), 1);
    EXPECT_EQ(restarts.count(), 5); // run start, first contact, loss, second contact, end
    // Only the final attempt is in the trace, all of it.
    const viro::PointTrace& trace = state.measurement.traces[0];
    ASSERT_FALSE(trace.empty());
    EXPECT_LE(trace.front().timeMs, 2u);
    EXPECT_GE(trace.back().timeMs, 2490u);
    for (const viro::TraceSample& s : trace)
        ASSERT_EQ(s.counts, 900);
    EXPECT_EQ(state.pointsMeasuredSinceAnalysis, 1);
}

TEST_F(MeasurementEngineTest, GridChoiceMovesTheRun) {
    shortProcedure();
    probe.setContactCycle(100, 800);
    probe.setAutoContact(true);
    EXPECT_FALSE(engine.choosePosition(20)); // no run
    QSignalSpy positions(&engine, &MeasurementEngine::positionChanged);
    Script script;
    script.then([&] { return engine.display().gridChoiceAllowed; },
                [&] {
                    EXPECT_FALSE(engine.choosePosition(25));
                    EXPECT_FALSE(engine.choosePosition(0));
                    EXPECT_TRUE(engine.choosePosition(20));
                });
    // While a point is measured a click moves nothing.
    script.then(
        [&] {
            return engine.display().position == 21 &&
                   engine.display().lamp == viro::MeasurementLamp::RedSteady;
        },
        [&] { EXPECT_FALSE(engine.choosePosition(3)); });
    EXPECT_EQ(engine.start(), RunEnd::Completed);
    EXPECT_TRUE(script.done());
    std::vector<int> shown;
    for (const QList<QVariant>& args : positions)
        shown.push_back(args[0].toInt());
    EXPECT_EQ(shown, (std::vector<int>{1, 20, 21, 22, 23, 24}));
    for (int position = 1; position <= 24; ++position)
        EXPECT_EQ(valueAt(position) > 0, position >= 20) << position;
}

TEST_F(MeasurementEngineTest, ReleaseTimeOutQuestionBelowPosition24Only) {
    struct Case {
        const char* name;
        int from;
        std::vector<bool> answers;
        RunEnd end;
        std::set<int> measured;
        size_t questions;
    };
    const std::vector<Case> cases{
        {"yes continues", 23, {true}, RunEnd::Completed, {23, 24}, 1},
        {"no stops", 23, {false}, RunEnd::Stopped, {23}, 1},
        {"none at 24", 24, {}, RunEnd::Completed, {24}, 0},
    };
    shortProcedure();
    probe.touch(40); // never lifted
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state.clearMeasurement();
        prompts.reset();
        prompts.times.clear();
        for (bool a : c.answers)
            prompts.answer({a});
        probe.clearLog();
        std::vector<quint32> completedAt;
        QObject::connect(&engine, &MeasurementEngine::pointCompleted, &engine,
                         [&] { completedAt.push_back(clock.ticks()); });
        const quint32 start = clock.ticks();
        EXPECT_EQ(engine.start(c.from), c.end);
        const quint32 end = clock.ticks();
        QObject::disconnect(&engine, &MeasurementEngine::pointCompleted, &engine, nullptr);

        std::set<int> measured;
        for (int position = 1; position <= 24; ++position)
            if (valueAt(position) > 0)
                measured.insert(position);
        EXPECT_EQ(measured, c.measured);
        ASSERT_EQ(prompts.asked.size(), c.questions);
        ASSERT_FALSE(completedAt.empty());
        if (c.questions) {
            EXPECT_EQ(prompts.asked[0].type, 3);
            EXPECT_EQ(prompts.asked[0].text, kTimeOut);
            // After 5 s of waiting for the release, with the time-out sound first.
            EXPECT_GT(prompts.times[0] - completedAt[0], 5000u);
            EXPECT_LT(prompts.times[0] - completedAt[0], 5010u);
            const QStringList tones = tonesOf(probe.commands());
            EXPECT_TRUE(tones.join(',').contains("S6862,S5662,S8960"))
                << tones.join(',').toStdString();
        } else {
            // Position 24 waits its 5 s and ends.
            EXPECT_GT(end - completedAt.back(), 5000u);
            EXPECT_LT(end - completedAt.back(), 5010u);
        }
        EXPECT_GT(end, start);
    }
}

TEST_F(MeasurementEngineTest, ManualMethod) {
    setOption([](MeasuringOptions& o) { o.method = MeasuringMethod::Manual; });
    probe.touch(40);
    std::set<QString> countdowns;
    QObject::connect(&engine, &MeasurementEngine::displayChanged, &engine, [&] {
        if (engine.display().countdownVisible)
            countdowns.insert(engine.display().countdownText);
    });
    Script script;
    bool enabledWhileMeasuring = true;
    for (int i = 0; i < 2; ++i) {
        script.then(
            [&] {
                return engine.display().pointStartEnabled && engine.display().status == kWaitManual;
            },
            [&] { engine.requestPointStart(); });
        script.then([&] { return engine.display().lamp == viro::MeasurementLamp::RedSteady; },
                    [&] { enabledWhileMeasuring = engine.display().pointStartEnabled; });
    }
    int completed = 0;
    QObject::connect(&engine, &MeasurementEngine::pointCompleted, &engine, [&] {
        if (++completed == 2)
            engine.requestStop();
    });
    EXPECT_EQ(engine.start(), RunEnd::Stopped);
    EXPECT_TRUE(script.done());
    EXPECT_FALSE(enabledWhileMeasuring);
    const QStringList ticks{"D0000*", "SB660",  "D0000*", "SB660",  "D0000*",
                            "SB660",  "D0000*", "SB660",  "D0000*", "SB660"};
    QStringList expected{"X0000", "L0000", "I0000", "K0000", // input disconnected
                         "F007F", "C0000", "K0001",          // no reading until Start
                         "C007F", "F0000"};
    expected << ticks << QStringList{"S6862", "F00FF", "C0000", "K0000", // the pause
                                     "F007F", "C0000", "K0001", "C007F", "F0000"};
    expected << ticks << QStringList{"S6862", "F00FF", "C0000", "K0000", "X0000"};
    EXPECT_EQ(collapsed(probe.commands()), expected);
    // The pause after a point lasts 1.5 s.
    const qsizetype pause = indexOf("K0000", 4);
    const qsizetype next = indexOf("F007F", pause);
    EXPECT_GE(probe.commandTimes()[size_t(next)] - probe.commandTimes()[size_t(pause)], 1500u);
    EXPECT_LE(probe.commandTimes()[size_t(next)] - probe.commandTimes()[size_t(pause)], 1510u);
    EXPECT_TRUE(countdowns.count("1.5 Sec"));
    EXPECT_TRUE(countdowns.count("0.7 Sec"));
    EXPECT_TRUE(countdowns.count("0.0 Sec"));
    EXPECT_DOUBLE_EQ(state.measurement.values[0], 40.0);
    EXPECT_DOUBLE_EQ(state.measurement.values[1], 40.0);
}

TEST_F(MeasurementEngineTest, HighPotentialMustBeConfirmed) {
    QSignalSpy started(&engine, &MeasurementEngine::runStarted);
    ASSERT_TRUE(engine.setHighPotential(true));
    prompts.answer({false});
    EXPECT_EQ(engine.start(), RunEnd::NotStarted);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].type, 3);
    EXPECT_EQ(prompts.asked[0].text,
              "You have selected High Potential Measurement. Please confirm!");
    EXPECT_EQ(probe.commands(), (QStringList{"S885E", "S8862"}));
    EXPECT_EQ(started.count(), 0);
    EXPECT_FALSE(engine.running());

    // Confirmed, the points are stored as high-potential ones.
    prompts.answer({true});
    probe.touch(40);
    shortProcedure();
    EXPECT_EQ(engine.start(24), RunEnd::Completed);
    EXPECT_TRUE(state.measurement.highPotential);
    // x 1.25 at the high potential: 1000 counts.
    EXPECT_DOUBLE_EQ(state.measurement.values[23], 50.0);
}

TEST_F(MeasurementEngineTest, ProbeOfflineAtStart) {
    port.unplug(path);
    link.deviceChange();
    ASSERT_FALSE(link.isOnline());
    port.clearLog();
    EXPECT_EQ(engine.start(), RunEnd::NotStarted);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].type, 6);
    EXPECT_EQ(prompts.asked[0].text, kOffline);
    EXPECT_EQ(port.writeAttempts(), 0);
}

TEST_F(MeasurementEngineTest, StoredMeasurementAtStart) {
    struct Case {
        const char* name;
        bool clearFirst;
    };
    shortProcedure();
    probe.touch(40);
    for (const Case& c : {Case{"yes clears", true}, Case{"no measures over", false}}) {
        SCOPED_TRACE(c.name);
        state.measurement.values.fill(33.0);
        state.measurement.quality.fill(90.0);
        state.measurement.notes = QStringList{"note"};
        state.measurement.key = 42;
        state.measurementHoldsData = true;
        prompts.reset();
        prompts.answer({c.clearFirst});
        probe.clearLog();
        QSignalSpy cleared(&engine, &MeasurementEngine::measurementCleared);
        EXPECT_EQ(engine.start(24), RunEnd::Completed);
        ASSERT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].type, 1);
        EXPECT_EQ(prompts.asked[0].text, "Do you want to clear the values first?");
        EXPECT_EQ(probe.commands().front(), "S8863");
        EXPECT_EQ(cleared.count(), c.clearFirst ? 1 : 0);
        EXPECT_EQ(state.measurement.key, c.clearFirst ? 0 : 42);
        EXPECT_EQ(state.measurement.notes.isEmpty(), c.clearFirst);
        for (int point = 1; point <= 23; ++point)
            ASSERT_DOUBLE_EQ(state.measurement.values[size_t(point - 1)], c.clearFirst ? 0 : 33.0)
                << point;
        EXPECT_DOUBLE_EQ(state.measurement.values[23], 40.0);
        EXPECT_DOUBLE_EQ(state.measurement.quality[23], 100.0);
    }
}

TEST_F(MeasurementEngineTest, QualityOnTheBoundsOfItsColours) {
    struct Case {
        int wobble; // counts either side of 1000, reading by reading
        double quality;
        QStringList lamps;
    };
    const Case cases[] = {{20, 80.0, {"F00FF", "C0000"}},
                          {40, 60.0, {"F00FF", "C00FF"}},
                          {41, 59.0, {"F0000", "C00FF"}}};
    shortProcedure();
    probe.touch(50);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wobble);
        probe.setReadingPattern({-c.wobble, c.wobble});
        probe.clearLog();
        QualityColour shown = QualityColour::Green;
        QObject::connect(&engine, &MeasurementEngine::pointCompleted, &engine,
                         [&] { shown = engine.display().qualityColour; });
        EXPECT_EQ(engine.start(24), RunEnd::Completed);
        QObject::disconnect(&engine, &MeasurementEngine::pointCompleted, &engine, nullptr);
        EXPECT_DOUBLE_EQ(state.measurement.quality[23], c.quality);
        EXPECT_DOUBLE_EQ(state.measurement.quality[23],
                         100 - sigmaOfLast20(state.measurement.traces[23]));
        EXPECT_EQ(shown, viro::qualityColourFor(100 - c.quality));
        // The probe's lamps after the point tell the colour.
        const qsizetype done = indexOf("S4F62");
        ASSERT_GE(done, 0);
        EXPECT_EQ(probe.commands().mid(done + 1, 2), c.lamps);
    }
}

TEST_F(MeasurementEngineTest, CpdmFaultReadsAsOne) {
    setOption([](MeasuringOptions& o) { o.method = MeasuringMethod::Manual; });
    shortProcedure();
    probe.touch(50);
    probe.setCpdmFault(true); // "Z0001" to every reading
    Script script;
    script.then([&] { return engine.display().pointStartEnabled; },
                [&] { engine.requestPointStart(); });
    EXPECT_EQ(engine.start(24), RunEnd::Completed);
    EXPECT_TRUE(link.cpdmFault());
    const viro::PointTrace& trace = state.measurement.traces[23];
    ASSERT_FALSE(trace.empty());
    for (const viro::TraceSample& s : trace)
        ASSERT_EQ(s.counts, 1);
    EXPECT_GT(state.measurement.samples[23], 0);
    EXPECT_DOUBLE_EQ(state.measurement.values[23], 1 / 20.0);
}

TEST_F(MeasurementEngineTest, UnansweredReadingsAreNoReadings) {
    // The manual method takes every reading into the value: a lost reply must not count as
    // 0 µA.
    setOption([](MeasuringOptions& o) { o.method = MeasuringMethod::Manual; });
    probe.touch(40);
    Script script;
    script.then([&] { return engine.display().pointStartEnabled; },
                [&] { engine.requestPointStart(); });
    quint32 silencedAt = 0;
    script.then([&] { return engine.display().samplingRate >= 100; },
                [&] {
                    probe.setSilent(true);
                    silencedAt = clock.ticks();
                });
    script.then([&] { return clock.ticks() - silencedAt >= 500; }, [&] { probe.setSilent(false); });
    EXPECT_EQ(engine.start(24), RunEnd::Completed);
    EXPECT_TRUE(script.done());
    EXPECT_DOUBLE_EQ(state.measurement.values[23], 40.0);
    for (const viro::TraceSample& s : state.measurement.traces[23])
        ASSERT_EQ(s.counts, 800);
}

TEST_F(MeasurementEngineTest, SilentProbeIsNotTakenForALiftedOne) {
    // A probe that stops answering while it still touches the point: taken for released, the
    // next position would be measured on the same skin.
    shortProcedure();
    probe.touch(40);
    Script script;
    quint32 silencedAt = 0;
    QObject::connect(&engine, &MeasurementEngine::pointCompleted, &engine, [&] {
        probe.setSilent(true);
        silencedAt = clock.ticks();
    });
    script.then([&] { return silencedAt > 0 && clock.ticks() - silencedAt >= 2000; },
                [&] { probe.setSilent(false); });
    prompts.answer({false});
    EXPECT_EQ(engine.start(23), RunEnd::Stopped);
    EXPECT_TRUE(script.done());
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].text, kTimeOut);
    EXPECT_EQ(valueAt(24), 0);
}

TEST_F(MeasurementEngineTest, RepliesWithoutDelayStillLetTimePass) {
    // Replies that come at once cost no virtual time; the loops must still reach their ends.
    port.setReplyDelay(0);
    shortProcedure();
    probe.touch(40);
    const quint32 start = clock.ticks();
    EXPECT_EQ(engine.start(24), RunEnd::Completed);
    EXPECT_DOUBLE_EQ(state.measurement.values[23], 40.0);
    EXPECT_GE(clock.ticks() - start, 600u + 5000u);
}

TEST_F(MeasurementEngineTest, ProbeUnpluggedDuringARun) {
    QTemporaryDir dir;
    viro::MeasurementJournal journal(dir.filePath("run.journal"));
    engine.setJournal(&journal);
    shortProcedure();
    probe.setContactCycle(100, 800);
    probe.setAutoContact(true);
    QSignalSpy finished(&engine, &MeasurementEngine::runFinished);
    Script script;
    int attemptsAtUnplug = 0;
    script.then(
        [&] {
            return engine.display().position == 3 &&
                   engine.display().lamp == viro::MeasurementLamp::RedSteady &&
                   engine.display().progressPercent >= 50;
        },
        [&] {
            attemptsAtUnplug = port.writeAttempts();
            port.unplug(path);
        });
    EXPECT_EQ(engine.start(), RunEnd::ProbeLost);
    ASSERT_TRUE(script.done());
    // At most the write that found the probe gone; nothing after it.
    EXPECT_LE(port.writeAttempts() - attemptsAtUnplug, 1);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].type, 6);
    EXPECT_EQ(prompts.asked[0].text, kOffline);
    EXPECT_GT(valueAt(1), 0);
    EXPECT_GT(valueAt(2), 0);
    EXPECT_EQ(valueAt(3), 0);
    EXPECT_TRUE(state.measurement.traces[2].empty());
    EXPECT_EQ(state.pointsMeasuredSinceAnalysis, 2);
    EXPECT_FALSE(engine.running());
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished[0][0].value<RunEnd>(), RunEnd::ProbeLost);
    // The journal stays, with the two points, for the run to be taken up again.
    const std::optional<viro::JournalContents> kept =
        viro::MeasurementJournal::read(journal.path());
    ASSERT_TRUE(kept.has_value());
    ASSERT_EQ(kept->points.size(), 2u);
    EXPECT_EQ(kept->nextPosition(), 3);
}

// --- Journal --------------------------------------------------------------------------------

TEST_F(MeasurementEngineTest, JournalHoldsEachPointBeforeItShowsComplete) {
    QTemporaryDir dir;
    viro::MeasurementJournal journal(dir.filePath("run.journal"));
    engine.setJournal(&journal);
    shortProcedure();
    probe.touch(40);
    state.patient.custNo = "P-7";
    state.patient.name = "Ann";
    // A value the measurement held before the run: the journal mirrors it too.
    state.measurement.values[4] = 12.5;
    state.measurement.key = 0;
    std::vector<size_t> pointsInJournal;
    QObject::connect(&engine, &MeasurementEngine::pointCompleted, &engine,
                     [&](int position, int point) {
                         const auto contents = viro::MeasurementJournal::read(journal.path());
                         ASSERT_TRUE(contents.has_value());
                         pointsInJournal.push_back(contents->points.size());
                         const viro::JournalPoint& last = contents->points.back();
                         EXPECT_EQ(last.position, position);
                         EXPECT_EQ(last.point, point);
                         EXPECT_DOUBLE_EQ(last.value, state.measurement.values[size_t(point - 1)]);
                         EXPECT_EQ(last.trace, state.measurement.traces[size_t(point - 1)]);
                         EXPECT_EQ(contents->header.custNo, "P-7");
                         EXPECT_EQ(contents->header.patientName, "Ann");
                         EXPECT_EQ(contents->points.front().point, 5);
                     });
    prompts.answer({true}); // the time-out at 23 goes on
    EXPECT_EQ(engine.start(23), RunEnd::Completed);
    EXPECT_EQ(pointsInJournal, (std::vector<size_t>{2, 3}));
    // A run that ends normally leaves no journal behind; so does a stopped one.
    EXPECT_FALSE(QFile::exists(journal.path()));
    QObject::disconnect(&engine, &MeasurementEngine::pointCompleted, &engine, nullptr);
    QObject::connect(&engine, &MeasurementEngine::pointCompleted, &engine,
                     [this] { engine.requestStop(); });
    EXPECT_EQ(engine.start(1), RunEnd::Stopped);
    EXPECT_FALSE(QFile::exists(journal.path()));
}

// The window keeps the journal of a finished run until the measurement is saved or dropped, so
// a crash before the save loses nothing either.
TEST_F(MeasurementEngineTest, JournalKeptUntilSavedOutlivesTheRun) {
    QTemporaryDir dir;
    viro::MeasurementJournal journal(dir.filePath("run.journal"));
    engine.setJournal(&journal);
    engine.setJournalKeptUntilSaved(true);
    shortProcedure();
    probe.touch(40);
    prompts.answer({true});
    EXPECT_EQ(engine.start(23), RunEnd::Completed);
    const auto contents = viro::MeasurementJournal::read(journal.path());
    ASSERT_TRUE(contents.has_value());
    EXPECT_EQ(contents->points.size(), 2u);
    EXPECT_EQ(contents->nextPosition(), 0);
    engine.discardJournal();
    EXPECT_FALSE(QFile::exists(journal.path()));
}

TEST_F(MeasurementEngineTest, FailingJournalIsReportedOncePerRun) {
    QTemporaryDir dir;
    viro::MeasurementJournal journal(dir.filePath("run.journal"));
    engine.setJournal(&journal);
    shortProcedure();
    probe.touch(40);
    // Taken away after the first point: every later append fails.
    QObject::connect(&engine, &MeasurementEngine::pointCompleted, &engine,
                     [&] { QFile::remove(journal.path()); });
    prompts.answer({true, true, true}); // the time-outs at 22 and 23, and the report
    EXPECT_EQ(engine.start(22), RunEnd::Completed);
    int reports = 0;
    for (const auto& q : prompts.asked)
        reports += q.type == 5;
    EXPECT_EQ(reports, 1);
    // The run went on: every point is in memory.
    EXPECT_GT(valueAt(22), 0);
    EXPECT_GT(valueAt(23), 0);
    EXPECT_GT(valueAt(24), 0);

    // A journal that cannot even begin is reported once too.
    viro::MeasurementJournal nowhere(dir.filePath("missing/folder/run.journal"));
    engine.setJournal(&nowhere);
    QObject::disconnect(&engine, &MeasurementEngine::pointCompleted, &engine, nullptr);
    prompts.reset();
    prompts.answer({true, true, true});
    EXPECT_EQ(engine.start(22), RunEnd::Completed);
    reports = 0;
    for (const auto& q : prompts.asked)
        reports += q.type == 5;
    EXPECT_EQ(reports, 1);
}

TEST_F(MeasurementEngineTest, RestorePutsTheJournalPointsBack) {
    QTemporaryDir dir;
    const QString file = dir.filePath("run.journal");
    viro::JournalHeader header;
    header.started = 45001.25;
    header.highPotential = true;
    header.channel = 2;
    header.key = 17;
    header.custNo = "C-1";
    header.patientName = "Bo";
    {
        viro::MeasurementJournal writer(file);
        ASSERT_TRUE(writer.begin(header, nullptr));
        auto point = [](int position, double value) {
            viro::JournalPoint p;
            p.position = position;
            p.point = position;
            p.value = value;
            p.compensated = value * 2;
            p.quality = 95;
            p.dateTime = 45001.3 + position;
            p.samples = 480;
            p.trace = {{1, 800}, {2, 801}};
            return p;
        };
        ASSERT_TRUE(writer.append(point(1, 10), nullptr));
        ASSERT_TRUE(writer.append(point(2, 11), nullptr));
        ASSERT_TRUE(writer.append(point(1, 12), nullptr)); // taken again: this one counts
    }
    const std::optional<viro::JournalContents> contents = viro::MeasurementJournal::read(file);
    ASSERT_TRUE(contents.has_value());
    ASSERT_EQ(contents->nextPosition(), 2);

    viro::MeasurementJournal journal(file);
    engine.setJournal(&journal);
    QString error;
    ASSERT_TRUE(engine.restore(*contents, &error)) << error.toStdString();
    EXPECT_DOUBLE_EQ(state.measurement.values[0], 12);
    EXPECT_DOUBLE_EQ(state.measurement.values[1], 11);
    EXPECT_DOUBLE_EQ(state.measurement.compensated[0], 24);
    EXPECT_EQ(state.measurement.samples[0], 480);
    EXPECT_EQ(state.measurement.traces[1].size(), 2u);
    EXPECT_DOUBLE_EQ(state.measurement.dateTime, 45001.3 + 1);
    EXPECT_TRUE(state.measurement.highPotential);
    EXPECT_EQ(state.measurement.key, 17);
    EXPECT_EQ(state.patient.custNo, "C-1");
    EXPECT_EQ(state.patient.name, "Bo");
    EXPECT_TRUE(state.measurementHoldsData);
    EXPECT_EQ(state.pointsMeasuredSinceAnalysis, 2);
    EXPECT_TRUE(engine.options().highPotential);
    EXPECT_EQ(engine.options().channel, 2);

    // The run goes on in the same journal: its points follow the restored ones.
    shortProcedure();
    probe.touch(40);
    prompts.answer({false, true}); // keep the values of record 17; confirm the high potential
    QObject::connect(&engine, &MeasurementEngine::pointCompleted, &engine,
                     [this] { engine.requestStop(); });
    std::optional<viro::JournalContents> during;
    QObject::connect(&engine, &MeasurementEngine::pointCompleted, &engine,
                     [&] { during = viro::MeasurementJournal::read(file); });
    EXPECT_EQ(engine.start(contents->nextPosition()), RunEnd::Stopped);
    ASSERT_TRUE(during.has_value());
    EXPECT_EQ(during->header, header);
    ASSERT_EQ(during->points.size(), 4u);
    EXPECT_EQ(during->points.back().position, 2);
    EXPECT_EQ(state.measurement.key, 17);
}

// --- Clear and analysis ------------------------------------------------------------------------

TEST_F(MeasurementEngineTest, ClearAsksThenClearsValuesPatientAndJournal) {
    QTemporaryDir dir;
    viro::MeasurementJournal journal(dir.filePath("run.journal"));
    ASSERT_TRUE(journal.begin(viro::JournalHeader(), nullptr));
    engine.setJournal(&journal);
    state.measurement.values.fill(30);
    state.measurement.quality.fill(90);
    state.measurement.key = 5;
    state.measurement.notes = QStringList{"n"};
    state.measurement.dateTime = 45000;
    state.measurementHoldsData = true;
    state.pointsMeasuredSinceAnalysis = 9;
    state.analysisPage = 2;
    state.patient.custNo = "P1";
    state.patient.name = "Ann";
    state.patient.male = false;
    state.patient.birthDate = 20000;
    QSignalSpy cleared(&engine, &MeasurementEngine::measurementCleared);

    prompts.answer({false});
    EXPECT_FALSE(engine.clear());
    EXPECT_DOUBLE_EQ(state.measurement.values[0], 30);
    EXPECT_EQ(state.patient.custNo, "P1");
    EXPECT_TRUE(QFile::exists(journal.path()));

    prompts.answer({true});
    EXPECT_TRUE(engine.clear());
    ASSERT_EQ(prompts.asked.size(), 2u);
    for (const auto& q : prompts.asked) {
        EXPECT_EQ(q.type, 1);
        EXPECT_EQ(q.text, "Are you sure you want to clear the table values?\r\n"
                          "This action will not affect saved measurements.");
    }
    EXPECT_EQ(cleared.count(), 1);
    for (int i = 0; i < 24; ++i) {
        ASSERT_EQ(state.measurement.values[size_t(i)], 0);
        ASSERT_EQ(state.measurement.quality[size_t(i)], 0);
    }
    EXPECT_EQ(state.measurement.key, 0);
    EXPECT_TRUE(state.measurement.notes.isEmpty());
    EXPECT_EQ(state.measurement.dateTime, 0);
    EXPECT_FALSE(state.measurementHoldsData);
    EXPECT_EQ(state.pointsMeasuredSinceAnalysis, 0);
    EXPECT_EQ(state.analysisPage, 0);
    EXPECT_TRUE(state.patient.custNo.isEmpty());
    EXPECT_TRUE(state.patient.name.isEmpty());
    EXPECT_TRUE(state.patient.male);
    EXPECT_EQ(state.patient.birthDate, 0);
    EXPECT_FALSE(QFile::exists(journal.path()));
}

TEST_F(MeasurementEngineTest, UsageCounterAfterAnalysis) {
    struct Case {
        const char* name;
        int points;
        bool unwritable;
        int counter;
        int pointsAfter;
    };
    const std::vector<Case> cases{
        {"12 points", 12, false, 1235, 0},
        {"11 points", 11, false, 1234, 11},
        {"24 points", 24, false, 1235, 0},
        // A counter that could not be written keeps the points for the next analysis.
        {"write refused", 12, true, 1234, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        probe.setUsageCounter(1234);
        probe.setUnwritableRegister(0x06, c.unwritable);
        state.pointsMeasuredSinceAnalysis = c.points;
        engine.analysisShown();
        EXPECT_EQ(link.readUsageCounter(), c.counter);
        EXPECT_EQ(state.pointsMeasuredSinceAnalysis, c.pointsAfter);
    }
}

// --- Options during a run --------------------------------------------------------------------

TEST_F(MeasurementEngineTest, OptionChangesDuringARunSendTheirCommands) {
    struct Case {
        const char* name;
        std::function<void()> change;
        QStringList commands; // sent after the change, before the run's end
        MeasuringMethod method;
    };
    const std::vector<Case> cases{
        {"channel 3, automatic",
         [this] { engine.setChannel(3); },
         {"K0004", "I00FF"},
         MeasuringMethod::Automatic},
        {"back to the hand probe",
         [this] { engine.setChannel(0); },
         {"K0001", "I0000"},
         MeasuringMethod::Automatic},
        {"manual",
         [this] { engine.setMethod(MeasuringMethod::Manual); },
         {"K0000"},
         MeasuringMethod::Manual},
        {"automatic again",
         [this] { engine.setMethod(MeasuringMethod::Automatic); },
         {"K0001"},
         MeasuringMethod::Automatic},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        probe.clearLog();
        Script script;
        qsizetype changedAt = -1;
        quint32 changedTick = 0;
        bool pointStart = false;
        // Waiting for contact, its lamps set; the change comes inside the lamp command's wait,
        // where the link takes no second command.
        script.then(
            [&] {
                return engine.display().gridChoiceAllowed && probe.commands().contains("C0000");
            },
            [&] {
                EXPECT_TRUE(link.busy());
                changedAt = probe.commands().size();
                changedTick = clock.ticks();
                c.change();
            });
        auto sentSinceChange = [&] {
            QStringList sent = probe.commands().mid(changedAt);
            sent.removeAll("D0000");
            return sent;
        };
        // Once the commands are out (or clearly not coming), stop.
        script.then(
            [&] {
                return sentSinceChange().size() >= c.commands.size() ||
                       clock.ticks() - changedTick > 500;
            },
            [&] {
                pointStart = engine.display().pointStartEnabled;
                engine.requestStop();
            });
        EXPECT_EQ(engine.start(), RunEnd::Stopped);
        ASSERT_TRUE(script.done());
        EXPECT_EQ(sentSinceChange().mid(0, c.commands.size()), c.commands);
        EXPECT_EQ(pointStart, c.method == MeasuringMethod::Manual);
        EXPECT_EQ(engine.options().method, c.method);
    }
}

TEST_F(MeasurementEngineTest, SensitivitySetsTheContactThreshold) {
    // 0.5 µA is 10 counts: no contact at sensitivity 1.0 (20 counts), contact at 0.4 (8).
    probe.touch(0.5);
    shortProcedure();
    Script script;
    script.then([&] { return engine.display().gridChoiceAllowed; }, [] {});
    script.then([&, start = clock.ticks()] { return clock.ticks() - start > 1000; },
                [&] {
                    EXPECT_EQ(engine.display().lamp, viro::MeasurementLamp::GreenBlinking);
                    engine.setSensitivity(0.4);
                });
    EXPECT_EQ(engine.start(24), RunEnd::Completed);
    EXPECT_TRUE(script.done());
    EXPECT_DOUBLE_EQ(state.measurement.values[23], 0.5);
}

} // namespace
