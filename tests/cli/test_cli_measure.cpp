#include "cli_runner.h"

#include "analysis/meridian_model.h"
#include "measure/measurement_journal.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#ifdef Q_OS_UNIX
#include <signal.h>
#include <sys/types.h>
#endif

namespace {

// The simulated probe's constants: counts per µA at the normal and the high potential.
constexpr double kQNormal = 4052 / 200.0;
constexpr double kQHigh = 4071 / 200.0;
constexpr double kDefaultNoise = 0.01;

// A patient whose 24 values, in the order they are measured, tell the positions apart.
std::array<double, 24> patient() {
    std::array<double, 24> p{};
    for (int i = 0; i < 24; ++i)
        p[size_t(i)] = 30.0 + 2.5 * i;
    return p;
}

QString patientArg() {
    QStringList items;
    for (double v : patient())
        items << QString::number(v);
    return items.join(',');
}

// With the natural meridian order of a first start, position p measures point index p.
double expectedValue(int point, double scale = 1.0) {
    return patient()[size_t(point - 1)] * scale;
}

// A value read with relative noise `noise` and rounded to whole counts.
void expectPlausible(double value, double expected, double noise, const std::string& what) {
    EXPECT_NEAR(value, expected, expected * noise + 0.05) << what;
}

std::vector<double> numbers(const QJsonValue& v) {
    std::vector<double> out;
    for (const QJsonValue& item : v.toArray())
        out.push_back(item.toDouble());
    return out;
}

double jetNow() {
    const QDateTime now = QDateTime::currentDateTime();
    return QDate(1899, 12, 30).daysTo(now.date()) + now.time().msecsSinceStartOfDay() / 86400000.0;
}

// A data folder of its own for each test, so journals never meet.
class DataFolder {
public:
    DataFolder() { env_.insert("VIRO_DATA_DIR", dir_.path()); }
    const QProcessEnvironment& env() const { return env_; }
    QString journalPath() const { return viro::MeasurementJournal::pathIn(dir_.path()); }
    bool journalExists() const { return QFileInfo::exists(journalPath()); }
    CliRun run(const QStringList& args) const { return runCli(args, env_); }

private:
    QTemporaryDir dir_;
    QProcessEnvironment env_ = QProcessEnvironment::systemEnvironment();
};

const QStringList kVirtualRun{"measure", "--simulate-probe", "--virtual-time"};

// --- measure -----------------------------------------------------------------------------------

TEST(MeasureCli, VirtualRunPrintsWhatTheReadingsGive) {
    DataFolder data;
    const double before = jetNow();
    const CliRun r = data.run(kVirtualRun + QStringList{"--patient", patientArg(), "--traces"});
    const double after = jetNow();
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
    EXPECT_EQ(r.out.count('\n'), 1);
    const QJsonObject o = r.json().object();
    EXPECT_EQ(o.keys(), (QStringList{"compensated", "completed", "date", "end", "potential",
                                     "quality", "samples", "traces", "values"}));
    EXPECT_EQ(o.value("completed").toBool(false), true);
    EXPECT_EQ(o.value("end").toString(), "completed");
    EXPECT_EQ(o.value("potential").toString(), "nrm");
    EXPECT_GE(o.value("date").toDouble(), before - 1 / 86400.0);
    EXPECT_LE(o.value("date").toDouble(), after + 1 / 86400.0);

    const std::vector<double> values = numbers(o.value("values"));
    const std::vector<double> compensated = numbers(o.value("compensated"));
    const std::vector<double> quality = numbers(o.value("quality"));
    const std::vector<double> samples = numbers(o.value("samples"));
    const QJsonArray traces = o.value("traces").toArray();
    ASSERT_EQ(values.size(), 24u);
    ASSERT_EQ(compensated.size(), 24u);
    ASSERT_EQ(quality.size(), 24u);
    ASSERT_EQ(samples.size(), 24u);
    ASSERT_EQ(traces.size(), 24);
    for (int point = 1; point <= 24; ++point) {
        SCOPED_TRACE(point);
        const size_t i = size_t(point - 1);
        expectPlausible(values[i], expectedValue(point), kDefaultNoise, "value");
        EXPECT_DOUBLE_EQ(
            compensated[i],
            values[i] * viro::kDefaultCorrectionFactors[size_t(viro::meridianOfPoint(point) - 1)]);

        // The value is the mean of the final half second, the quality 100 - σ of the last
        // 20 readings of the trace.
        const QJsonArray trace = traces[int(i)].toArray();
        ASSERT_GT(trace.size(), 20);
        double sum = 0;
        int n = 0;
        qint64 lastMs = -1;
        for (const QJsonValue& v : trace) {
            const QJsonObject s = v.toObject();
            ASSERT_EQ(s.keys(), (QStringList{"counts", "timeMs"}));
            const qint64 ms = s.value("timeMs").toInteger();
            ASSERT_GT(ms, lastMs);
            lastMs = ms;
            if (ms >= 2000) {
                sum += s.value("counts").toDouble();
                ++n;
            }
        }
        EXPECT_LT(lastMs, 2500);
        EXPECT_EQ(samples[i], n);
        // A reply within a millisecond gives at least 400 readings in the final window.
        EXPECT_GE(n, 400);
        EXPECT_NEAR(values[i], sum / n / kQNormal, 1e-9);
        double last20 = 0;
        double squares = 0;
        for (qsizetype k = trace.size() - 20; k < trace.size(); ++k) {
            const double c = trace[k].toObject().value("counts").toDouble();
            last20 += c;
            squares += c * c;
        }
        const double mean = last20 / 20;
        EXPECT_NEAR(quality[i], 100 - std::sqrt(std::max(0.0, squares / 20 - mean * mean)), 1e-6);
        EXPECT_LT(quality[i], 100.0); // the readings are noisy
    }
    // A run that ended normally leaves no journal.
    EXPECT_FALSE(data.journalExists());
}

TEST(MeasureCli, OptionsShapeTheRun) {
    struct Case {
        QStringList args;
        double scale;   // of the patient's values
        double noise;   // of the readings
        int minSamples; // in the final window
        int maxSamples;
        qint64 totalMs;       // T of a point
        const char* err = ""; // expected on standard error, or nothing at all
    };
    const char* const confirmed =
        "viro-cli measure: You have selected High Potential Measurement. Please confirm! - yes\n";
    const std::vector<Case> cases{
        {{"--potential", "hi"}, 1.25, kDefaultNoise, 400, 500, 2500, confirmed},
        {{"--potential", "nrm", "--method", "manual"}, 1, kDefaultNoise, 400, 500, 2500},
        {{"--method", "auto", "--channel", "3"}, 1, kDefaultNoise, 400, 500, 2500},
        {{"--procedure", "500,100", "--sensitivity", "0.1"}, 1, kDefaultNoise, 80, 100, 600},
        {{"--procedure", "default", "--sensitivity", "5.0"}, 1, kDefaultNoise, 400, 500, 2500},
        {{"--procedure", "3000,1000", "--noise", "0.05", "--seed", "3"}, 1, 0.05, 800, 1000, 4000},
        {{"--noise", "0"}, 1, 0, 400, 500, 2500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        DataFolder data;
        const CliRun r =
            data.run(kVirtualRun + QStringList{"--patient", patientArg(), "--traces"} + c.args);
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        EXPECT_EQ(r.err, QByteArray(c.err));
        const QJsonObject o = r.json().object();
        EXPECT_EQ(o.value("potential").toString(), c.scale > 1 ? "hi" : "nrm");
        const std::vector<double> values = numbers(o.value("values"));
        const std::vector<double> quality = numbers(o.value("quality"));
        const std::vector<double> samples = numbers(o.value("samples"));
        ASSERT_EQ(values.size(), 24u);
        for (int point = 1; point <= 24; ++point) {
            SCOPED_TRACE(point);
            const size_t i = size_t(point - 1);
            expectPlausible(values[i], expectedValue(point, c.scale), c.noise, "value");
            EXPECT_GE(samples[i], c.minSamples);
            EXPECT_LE(samples[i], c.maxSamples);
            const QJsonArray trace = o.value("traces").toArray()[int(i)].toArray();
            EXPECT_LT(trace.last().toObject().value("timeMs").toInteger(), c.totalMs);
            if (c.noise == 0) {
                EXPECT_DOUBLE_EQ(quality[i], 100.0);
            }
        }
    }
}

// The virtual clock and the seeded noise make a run repeatable, and the locale changes nothing.
TEST(MeasureCli, SameSeedSameRunInEveryLocale) {
    auto valuesOf = [](const QStringList& args, const char* locale) {
        DataFolder data;
        QProcessEnvironment env = data.env();
        if (locale) {
            env.insert("LC_ALL", locale);
            env.insert("LANG", locale);
        }
        const CliRun r = runCli(kVirtualRun + QStringList{"--patient", patientArg()} + args, env);
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        QJsonObject o = r.json().object();
        o.remove("date");
        return o;
    };
    const QJsonObject first = valuesOf({"--seed", "9"}, nullptr);
    ASSERT_EQ(first.value("values").toArray().size(), 24);
    EXPECT_EQ(valuesOf({"--seed", "9"}, nullptr), first);
    EXPECT_EQ(valuesOf({"--seed", "9"}, "de_DE.UTF-8"), first);
    EXPECT_NE(valuesOf({"--seed", "10"}, nullptr).value("values"), first.value("values"));
}

TEST(MeasureCli, BadArguments) {
    QStringList tooLow;
    QStringList belowFive;
    QStringList tooHigh;
    for (int i = 0; i < 24; ++i) {
        tooLow << (i == 5 ? "1.0" : "40");
        belowFive << (i == 5 ? "5.0" : "40");
        tooHigh << (i == 5 ? "200.5" : "40");
    }
    const std::vector<QStringList> cases{
        {"--sensitivity", "0.05"},
        {"--sensitivity", "5.1"},
        {"--sensitivity", "1,5"},
        {"--procedure", "400,100"},
        {"--procedure", "10100,100"},
        {"--procedure", "550,100"},
        {"--procedure", "500,0"},
        {"--procedure", "500,10100"},
        {"--procedure", "500"},
        {"--procedure", "fast"},
        {"--channel", "5"},
        {"--channel", "-1"},
        {"--channel", "one"},
        {"--method", "semi"},
        {"--potential", "high"},
        {"--noise", "0.6"},
        {"--noise", "-0.01"},
        {"--seed", "-1"},
        {"--seed", "4294967296"},
        {"--patient", "40,40"},
        {"--patient", tooLow.join(',')}, // at the contact threshold: no contact ever
        {"--patient", belowFive.join(','), "--sensitivity", "5"},
        {"--patient", tooHigh.join(',')}, // beyond what the probe reads
        {"--patient", QString(patientArg()).replace("30,", "x,")},
        {"--resume", "--no-journal"},
        {"--resume", "--potential", "hi"},
        {"--resume", "--channel", "1"},
        {"--traces", "--traces"},
        {"--channel"},
        {"--fast"},
        {"extra"},
    };
    for (const QStringList& args : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        DataFolder data;
        const CliRun r = data.run(kVirtualRun + args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.out.isEmpty()) << r.out.constData();
        EXPECT_TRUE(r.err.startsWith("viro-cli: measure: ")) << r.err.constData();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
        EXPECT_FALSE(data.journalExists());
    }
    // The simulated patient and the virtual clock belong to the simulated probe.
    for (const QStringList& args : std::vector<QStringList>{
             {"--virtual-time"}, {"--noise", "0"}, {"--seed", "1"}, {"--patient", patientArg()}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const CliRun r = runCli(QStringList{"measure"} + args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains("needs --simulate-probe")) << r.err.constData();
    }
}

// Without a probe plugged in; on a desk with one there is nothing to test.
TEST(MeasureCli, NoProbe) {
    if (runCli({"probe", "info"}).exitCode == 0)
        GTEST_SKIP() << "a probe is plugged in";
    DataFolder data;
    const CliRun r = data.run({"measure", "--no-journal"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.isEmpty()) << r.out.constData();
    EXPECT_EQ(r.err, QByteArray("No probe found.\n"));
}

TEST(MeasureCli, OutputThatCannotBeWrittenFails) {
    if (!QFileInfo::exists("/dev/full"))
        GTEST_SKIP() << "this system has no /dev/full to write to";
    DataFolder data;
    QProcess p;
    p.setProcessEnvironment(data.env());
    p.setStandardOutputFile(QStringLiteral("/dev/full"));
    p.start(QStringLiteral(VIRO_CLI_PATH), kVirtualRun);
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardError().contains("viro-cli: cannot write the output"));
}

TEST(MeasureCli, Help) {
    const CliRun measure = runCli({"measure", "--help"});
    EXPECT_EQ(measure.exitCode, 0);
    for (const char* text : {"usage: viro-cli measure", "--simulate-probe", "--patient", "--noise",
                             "--seed", "--potential", "--sensitivity", "--procedure", "--method",
                             "--channel", "--virtual-time", "--traces", "--resume", "--no-journal"})
        EXPECT_TRUE(measure.out.contains(text)) << text;
    const CliRun journal = runCli({"journal", "--help"});
    EXPECT_EQ(journal.exitCode, 0);
    EXPECT_TRUE(journal.out.contains("usage: viro-cli journal show [--traces]"))
        << journal.out.constData();
    const CliRun all = runCli({"--help"});
    EXPECT_TRUE(all.out.contains("  measure [--simulate-probe")) << all.out.constData();
    EXPECT_TRUE(all.out.contains("  journal show")) << all.out.constData();
}

// --- The journal -------------------------------------------------------------------------------

viro::JournalPoint journalPoint(int position, double value) {
    viro::JournalPoint p;
    p.position = position;
    p.point = position;
    p.value = value;
    p.compensated = value * 0.5;
    p.quality = 90 + position;
    p.dateTime = 45123.5 + position / 1440.0;
    p.samples = 400 + position;
    p.trace = {{1, quint16(value * 20)}, {2, quint16(value * 20 + 1)}};
    return p;
}

// A journal of a high-potential run for patient C-7, measured over stored record `key`.
void writeJournal(const QString& path, const std::vector<viro::JournalPoint>& points, int key = 0) {
    viro::JournalHeader header;
    header.key = key;
    header.started = 45123.25;
    header.highPotential = true;
    header.custNo = "C-7";
    header.patientName = "Ann";
    viro::MeasurementJournal journal(path);
    QString error;
    ASSERT_TRUE(journal.begin(header, &error)) << error.toStdString();
    for (const viro::JournalPoint& p : points)
        ASSERT_TRUE(journal.append(p, &error)) << error.toStdString();
}

const std::vector<viro::JournalPoint> kFourRecords{journalPoint(1, 10), journalPoint(2, 11),
                                                   journalPoint(1, 12), journalPoint(3, 13)};

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Where the record of line `line` (0 the header) begins.
qsizetype lineStart(const QByteArray& bytes, int line) {
    qsizetype at = 0;
    for (int i = 0; i < line; ++i)
        at = bytes.indexOf('\n', at) + 1;
    return at;
}

TEST(JournalCli, ShowsWhatTheJournalHolds) {
    DataFolder data;
    writeJournal(data.journalPath(), kFourRecords);
    for (const bool traces : {false, true}) {
        SCOPED_TRACE(traces ? "--traces" : "");
        const CliRun r = data.run(traces ? QStringList{"journal", "show", "--traces"}
                                         : QStringList{"journal", "show"});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
        const QJsonObject o = r.json().object();
        QStringList keys{"compensated", "custNo",  "damage",  "date",    "nextPosition", "points",
                         "potential",   "quality", "samples", "started", "values"};
        if (traces)
            keys.insert(10, "traces");
        EXPECT_EQ(o.keys(), keys);
        // Point 1 was taken twice: the later one counts.
        std::vector<double> values(24, 0.0);
        values[0] = 12;
        values[1] = 11;
        values[2] = 13;
        EXPECT_EQ(numbers(o.value("values")), values);
        EXPECT_EQ(numbers(o.value("compensated"))[0], 6);
        EXPECT_EQ(numbers(o.value("quality"))[2], 93);
        EXPECT_EQ(numbers(o.value("samples"))[0], 401);
        EXPECT_EQ(numbers(o.value("samples"))[3], 0);
        EXPECT_DOUBLE_EQ(o.value("date").toDouble(), 45123.5 + 3 / 1440.0);
        EXPECT_EQ(o.value("potential").toString(), "hi");
        EXPECT_EQ(o.value("points").toInt(), 3);
        EXPECT_EQ(o.value("nextPosition").toInt(), 4);
        EXPECT_TRUE(o.value("damage").isNull());
        EXPECT_EQ(o.value("custNo").toString(), "C-7");
        EXPECT_DOUBLE_EQ(o.value("started").toDouble(), 45123.25);
        if (traces) {
            const QJsonArray all = o.value("traces").toArray();
            ASSERT_EQ(all.size(), 24);
            EXPECT_EQ(all[2].toArray(), (QJsonArray{QJsonObject{{"timeMs", 1}, {"counts", 260}},
                                                    QJsonObject{{"timeMs", 2}, {"counts", 261}}}));
            EXPECT_TRUE(all[3].toArray().isEmpty());
        }
    }
}

// A damaged or half-written journal never fails the command: the good points are shown and
// the damage is said.
TEST(JournalCli, DamagedJournalShowsItsGoodPoints) {
    DataFolder written;
    writeJournal(written.journalPath(), kFourRecords);
    const QByteArray whole = readAll(written.journalPath());
    ASSERT_EQ(whole.count('\n'), 5);

    QByteArray flipped = whole;
    flipped[lineStart(whole, 2) + 5] ^= 0x01;
    struct Case {
        const char* name;
        QByteArray bytes;
        std::vector<double> first3; // values of points 1-3
        int points;
        int nextPosition;
    };
    const std::vector<Case> cases{
        {"cut in the middle of the last record",
         whole.left(lineStart(whole, 4) + 20),
         {12, 11, 0},
         2,
         2},
        {"cut before the last newline", whole.chopped(1), {12, 11, 0}, 2, 2},
        {"a byte of the second point changed", flipped, {10, 0, 0}, 1, 2},
        {"garbage after the last record", whole + "{\"position\":4", {12, 11, 13}, 3, 4},
        {"the header cut short", whole.left(10), {0, 0, 0}, 0, 1},
        {"an empty file", QByteArray(), {0, 0, 0}, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DataFolder data;
        writeAll(data.journalPath(), c.bytes);
        const CliRun r = data.run({"journal", "show"});
        ASSERT_EQ(r.exitCode, 0) << r.err.constData();
        const QJsonObject o = r.json().object();
        const std::vector<double> values = numbers(o.value("values"));
        ASSERT_EQ(values.size(), 24u);
        EXPECT_EQ(std::vector<double>(values.begin(), values.begin() + 3), c.first3);
        EXPECT_EQ(o.value("points").toInt(), c.points);
        EXPECT_EQ(o.value("nextPosition").toInt(), c.nextPosition);
        EXPECT_TRUE(o.value("damage").isString()) << r.out.constData();
        EXPECT_FALSE(o.value("damage").toString().isEmpty());
    }
}

TEST(JournalCli, NoMeasurementInProgress) {
    DataFolder data;
    for (const QStringList& args :
         {QStringList{"journal", "show"}, kVirtualRun + QStringList{"--resume"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const CliRun r = data.run(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.out.isEmpty()) << r.out.constData();
        EXPECT_EQ(r.err, QByteArray("No measurement in progress.\n"));
    }
    const CliRun bad = data.run({"journal", "list"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.startsWith("viro-cli: journal: ")) << bad.err.constData();
}

TEST(JournalCli, NewRunReplacesTheJournalUnlessItKeepsNone) {
    DataFolder data;
    writeJournal(data.journalPath(), kFourRecords);
    const QByteArray before = readAll(data.journalPath());

    const CliRun none = data.run(kVirtualRun + QStringList{"--no-journal"});
    ASSERT_EQ(none.exitCode, 0) << none.err.constData();
    EXPECT_EQ(readAll(data.journalPath()), before);

    const CliRun replacing = data.run(kVirtualRun);
    ASSERT_EQ(replacing.exitCode, 0) << replacing.err.constData();
    EXPECT_TRUE(replacing.err.contains("the interrupted measurement in the journal (3 points) is "
                                       "replaced"))
        << replacing.err.constData();
    EXPECT_FALSE(data.journalExists());
}

TEST(JournalCli, ResumeOfACompleteJournalPrintsItAndRemovesIt) {
    DataFolder data;
    std::vector<viro::JournalPoint> all;
    for (int position = 1; position <= 24; ++position)
        all.push_back(journalPoint(position, 20 + position));
    writeJournal(data.journalPath(), all);
    const CliRun r = data.run(kVirtualRun + QStringList{"--resume"});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QJsonObject o = r.json().object();
    EXPECT_EQ(o.value("end").toString(), "completed");
    EXPECT_TRUE(o.value("completed").toBool(false));
    EXPECT_EQ(o.value("potential").toString(), "hi");
    const std::vector<double> values = numbers(o.value("values"));
    ASSERT_EQ(values.size(), 24u);
    for (int point = 1; point <= 24; ++point)
        EXPECT_EQ(values[size_t(point - 1)], 20 + point) << point;
    EXPECT_FALSE(data.journalExists());
}

// A run over a stored record goes on over its values: the question whether to clear them first
// is answered no, and the high potential it was measured at is confirmed.
TEST(JournalCli, ResumeOverAStoredRecordKeepsItsPoints) {
    DataFolder data;
    writeJournal(data.journalPath(), {journalPoint(1, 40), journalPoint(2, 41)}, 17);
    const CliRun r = data.run(kVirtualRun + QStringList{"--resume", "--patient", patientArg()});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.err, QByteArray("viro-cli measure: Do you want to clear the values first? - no\n"
                                "viro-cli measure: You have selected High Potential "
                                "Measurement. Please confirm! - yes\n"));
    const QJsonObject o = r.json().object();
    EXPECT_EQ(o.value("end").toString(), "completed");
    EXPECT_EQ(o.value("potential").toString(), "hi");
    const std::vector<double> values = numbers(o.value("values"));
    ASSERT_EQ(values.size(), 24u);
    EXPECT_EQ(values[0], 40);
    EXPECT_EQ(values[1], 41);
    for (int point = 3; point <= 24; ++point)
        expectPlausible(values[size_t(point - 1)], expectedValue(point, 1.25), kDefaultNoise,
                        std::to_string(point));
    EXPECT_FALSE(data.journalExists());
}

// --- Interrupted runs, in real time --------------------------------------------------------------

// A real-time run with short points: 1.5 s to move to each point, then 0.6 s on it.
class RealTimeRun {
public:
    explicit RealTimeRun(const DataFolder& data) : data_(data) {
        process_.setProcessEnvironment(data.env());
        process_.start(QStringLiteral(VIRO_CLI_PATH), {"measure", "--simulate-probe", "--procedure",
                                                       "500,100", "--patient", patientArg()});
    }
    ~RealTimeRun() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(10000);
        }
    }

    // Waits until the journal holds `points` points; false when the run ended first or took
    // far longer than it should.
    bool waitForPoints(int points) {
        QElapsedTimer deadline;
        deadline.start();
        while (deadline.elapsed() < 60000) {
            const std::optional<viro::JournalContents> c =
                viro::MeasurementJournal::read(data_.journalPath());
            if (c && c->pointsTaken() >= points)
                return true;
            if (process_.waitForFinished(100))
                return false;
        }
        return false;
    }
#ifdef Q_OS_UNIX
    void signal(int number) {
        ::kill(pid_t(process_.processId()), number);
    }
#endif
    QProcess& process() {
        return process_;
    }

private:
    const DataFolder& data_;
    QProcess process_;
};

// Killed in the middle of a run, the journal keeps every point taken; --resume goes on from the
// next position, and a journal cut short gives its good points back.
TEST(MeasureCli, KilledRunIsResumed) {
    DataFolder data;
    {
        RealTimeRun run(data);
        ASSERT_TRUE(run.waitForPoints(3)) << run.process().readAllStandardError().constData();
        run.process().kill();
        ASSERT_TRUE(run.process().waitForFinished(10000));
        EXPECT_EQ(run.process().exitStatus(), QProcess::CrashExit);
        EXPECT_TRUE(run.process().readAllStandardOutput().isEmpty());
    }

    const CliRun shown = data.run({"journal", "show"});
    ASSERT_EQ(shown.exitCode, 0) << shown.err.constData();
    const QJsonObject journal = shown.json().object();
    const int taken = journal.value("points").toInt();
    ASSERT_GE(taken, 3);
    ASSERT_LT(taken, 24);
    EXPECT_EQ(journal.value("nextPosition").toInt(), taken + 1);
    EXPECT_TRUE(journal.value("damage").isNull());
    const std::vector<double> kept = numbers(journal.value("values"));
    ASSERT_EQ(kept.size(), 24u);
    for (int point = 1; point <= 24; ++point) {
        SCOPED_TRACE(point);
        if (point <= taken)
            expectPlausible(kept[size_t(point - 1)], expectedValue(point), kDefaultNoise, "kept");
        else
            EXPECT_EQ(kept[size_t(point - 1)], 0);
    }
    // About a tenth of a second at a reading a millisecond.
    for (int point = 1; point <= taken; ++point)
        EXPECT_GE(numbers(journal.value("samples"))[size_t(point - 1)], 50) << point;

    // The same journal cut in the middle of its last record.
    DataFolder cut;
    const QByteArray bytes = readAll(data.journalPath());
    const qsizetype last = lineStart(bytes, taken);
    writeAll(cut.journalPath(), bytes.left(last + (bytes.size() - last) / 2));
    const CliRun cutShown = cut.run({"journal", "show"});
    ASSERT_EQ(cutShown.exitCode, 0) << cutShown.err.constData();
    const QJsonObject cutJournal = cutShown.json().object();
    EXPECT_EQ(cutJournal.value("points").toInt(), taken - 1);
    const QString damage = cutJournal.value("damage").toString();
    EXPECT_FALSE(damage.isEmpty());
    const std::vector<double> cutValues = numbers(cutJournal.value("values"));
    ASSERT_EQ(cutValues.size(), 24u);
    for (int point = 1; point <= 24; ++point)
        EXPECT_EQ(cutValues[size_t(point - 1)], point < taken ? kept[size_t(point - 1)] : 0)
            << point;

    struct Case {
        const char* name;
        const DataFolder& folder;
        int resumedFrom; // the first position measured again
        bool damaged;
    };
    for (const Case& c :
         {Case{"killed", data, taken + 1, false}, Case{"cut short", cut, taken, true}}) {
        SCOPED_TRACE(c.name);
        const CliRun resumed = c.folder.run({"measure", "--simulate-probe", "--resume",
                                             "--virtual-time", "--patient", patientArg()});
        ASSERT_EQ(resumed.exitCode, 0) << resumed.err.constData();
        EXPECT_EQ(resumed.err.contains(damage.toUtf8()), c.damaged) << resumed.err.constData();
        const QJsonObject o = resumed.json().object();
        EXPECT_EQ(o.value("end").toString(), "completed");
        EXPECT_TRUE(o.value("completed").toBool(false));
        const std::vector<double> values = numbers(o.value("values"));
        ASSERT_EQ(values.size(), 24u);
        for (int point = 1; point <= 24; ++point) {
            SCOPED_TRACE(point);
            const size_t i = size_t(point - 1);
            if (point < c.resumedFrom)
                EXPECT_EQ(values[i], kept[i]);
            else
                expectPlausible(values[i], expectedValue(point), kDefaultNoise, "resumed");
        }
        EXPECT_FALSE(c.folder.journalExists());
        EXPECT_EQ(c.folder.run({"journal", "show"}).exitCode, 1);
    }
}

#ifdef Q_OS_UNIX
// SIGINT or SIGTERM stops the run cleanly: what was measured is printed, and the journal stays
// for --resume, as the process ends with everything else.
TEST(MeasureCli, SignalStopsTheRunAndKeepsItsJournal) {
    struct Case {
        int signal;
        int exitCode;
    };
    for (const Case& c : {Case{SIGINT, 130}, Case{SIGTERM, 143}}) {
        SCOPED_TRACE(c.signal);
        DataFolder data;
        RealTimeRun run(data);
        ASSERT_TRUE(run.waitForPoints(1)) << run.process().readAllStandardError().constData();
        run.signal(c.signal);
        ASSERT_TRUE(run.process().waitForFinished(30000));
        EXPECT_EQ(run.process().exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.process().exitCode(), c.exitCode);
        EXPECT_TRUE(run.process().readAllStandardError().contains("--resume"));
        const QJsonObject printed =
            QJsonDocument::fromJson(run.process().readAllStandardOutput()).object();
        EXPECT_EQ(printed.value("end").toString(), "stopped");
        EXPECT_FALSE(printed.value("completed").toBool(true));

        // A point being measured when the signal came is completed and kept first.
        const CliRun shown = data.run({"journal", "show"});
        ASSERT_EQ(shown.exitCode, 0) << shown.err.constData();
        const QJsonObject journal = shown.json().object();
        for (const char* key : {"values", "compensated", "quality", "samples"})
            EXPECT_EQ(journal.value(key), printed.value(key)) << key;
        const int taken = journal.value("points").toInt();
        EXPECT_GE(taken, 1);
        EXPECT_EQ(journal.value("nextPosition").toInt(), taken + 1);
    }
}
#endif

} // namespace
