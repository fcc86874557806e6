// Records layer timings on a large database: 100,000 patients, 1,000,000 measurements.
// The database is generated once and cached in $VIRO_BENCH_DIR (default /tmp/viro-bench).

#include "records/connection.h"
#include "records/database_check.h"
#include "records/result_set.h"
#include "records/schema.h"
#include "records/statements.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>

namespace viro {
namespace {

constexpr int kPatients = 100000;
constexpr int kMeasurements = 1000000;
constexpr int kScreenRows = 30;

QString benchFolder() {
    const QString env = qEnvironmentVariable("VIRO_BENCH_DIR");
    return env.isEmpty() ? QStringLiteral("/tmp/viro-bench") : env;
}

QString patientNumber(int i) {
    return QStringLiteral("P%1").arg(i, 6, 10, QLatin1Char('0'));
}

// Builds the database when the cache lacks it. Fixed seed: the same file every time.
QString largeDatabase() {
    const QString path = benchFolder() + QStringLiteral("/large.mdb");
    if (QFile::exists(path))
        return path;
    QDir().mkpath(benchFolder());
    const QString building = path + QStringLiteral(".part");
    QString error;
    if (!createDatabaseFile(building, DatabaseKind::Main, &error)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(error));
        std::exit(1);
    }
    std::fprintf(stderr, "generating %s ...\n", qPrintable(path));
    {
        Connection c(ConnectionRole::Main);
        if (!c.open(building, &error))
            std::exit(1);
        std::mt19937 rng(4711);
        std::uniform_real_distribution<double> value(5, 120);
        std::uniform_int_distribution<int> day(36000, 45500);
        Transaction t(c.database());
        QSqlQuery p(c.database());
        p.prepare(QStringLiteral("INSERT INTO ZeCust (CustNo, Name, Sex, DBirth, Addr, Tel, Tel2, "
                                 "Tel3, EMail, PREMEA) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        std::vector<double> latest(kPatients + 1, 0);
        QSqlQuery m(c.database());
        QStringList names{QStringLiteral("CustNo"), QStringLiteral("ZeDate"),
                          QStringLiteral("ZeVota"), QStringLiteral("STD")};
        QStringList marks{QStringLiteral("?"), QStringLiteral("?"), QStringLiteral("?"),
                          QStringLiteral("?")};
        for (int k = 1; k <= 24; ++k) {
            names << QStringLiteral("ZE%1").arg(k);
            marks << QStringLiteral("?");
        }
        m.prepare(QStringLiteral("INSERT INTO ZeData (%1) VALUES (%2)")
                      .arg(names.join(','), marks.join(',')));
        std::array<double, kStdPoints> scores{};
        for (int i = 0; i < kMeasurements; ++i) {
            const int patient = 1 + i % kPatients;
            const double date = day(rng) + 0.5;
            latest[patient] = std::max(latest[patient], date);
            m.bindValue(0, patientNumber(patient));
            m.bindValue(1, date);
            m.bindValue(2, i % 3 == 0 ? 1 : 0);
            for (double& s : scores)
                s = value(rng) * 0.8;
            m.bindValue(3, packStd(scores));
            for (int k = 0; k < 24; ++k)
                m.bindValue(4 + k, value(rng));
            m.exec();
        }
        for (int i = 1; i <= kPatients; ++i) {
            p.bindValue(0, patientNumber(i));
            p.bindValue(1, QStringLiteral("Name %1").arg((i * 7919) % kPatients));
            p.bindValue(2, i % 2);
            p.bindValue(3, double(day(rng) - 20000));
            p.bindValue(4, QStringLiteral("%1 Main Street").arg(i * 31 % 9973));
            p.bindValue(5, QStringLiteral("0%1").arg(i * 13 % 999983));
            p.bindValue(6, QStringLiteral("09%1").arg(i * 17 % 999983));
            p.bindValue(7, QStringLiteral("1%1").arg(i * 19 % 999983));
            p.bindValue(8, QStringLiteral("p%1@example.org").arg(i * 23 % 99991));
            p.bindValue(9, latest[i]);
            p.exec();
        }
        t.commit();
    }
    QFile::rename(building, path);
    return path;
}

// The main connection on the cached database, opened once per process.
Connection& mainConnection() {
    static Connection c(ConnectionRole::Main);
    if (!c.isOpen()) {
        QString error;
        if (!c.open(largeDatabase(), &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            std::exit(1);
        }
    }
    return c;
}

void BM_PatientListFirstScreen(benchmark::State& state) {
    const int key = int(state.range(0));
    for (auto _ : state) {
        ResultSet rs(mainConnection().database());
        rs.open(patientListSelection(key));
        int rows = 0;
        for (rs.first(); !rs.atEnd() && rows < kScreenRows; rs.next(), ++rows)
            benchmark::DoNotOptimize(rs.text("CustNo"));
        if (rs.rowCount() != kPatients)
            state.SkipWithError("wrong row count");
    }
}
BENCHMARK(BM_PatientListFirstScreen)->DenseRange(1, 11)->Arg(-2)->Unit(benchmark::kMillisecond);

void BM_PrefixSearch(benchmark::State& state) {
    ResultSet rs(mainConnection().database());
    rs.open(patientListSelection(2));
    int i = 0;
    for (auto _ : state) {
        const bool found =
            rs.locate(QStringLiteral("Name"), QStringLiteral("Name %1").arg(++i * 37 % 9000),
                      ResultSet::LocateMode::Prefix);
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_PrefixSearch)->Unit(benchmark::kMillisecond);

void BM_MeasurementList(benchmark::State& state) {
    int i = 0;
    for (auto _ : state) {
        ResultSet rs(mainConnection().database());
        rs.open(measurementListSelection(patientNumber(1 + (++i * 7919) % kPatients)));
        for (rs.first(); !rs.atEnd(); rs.next())
            benchmark::DoNotOptimize(rs.number("ZeDate"));
    }
}
BENCHMARK(BM_MeasurementList)->Unit(benchmark::kMillisecond);

// One durable save: the new row and the patient's PREMEA in one transaction, synced.
void BM_SaveMeasurement(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("viro6.mdb"));
    QFile::copy(largeDatabase(), path);
    Connection c(ConnectionRole::Main);
    QString error;
    c.open(path, &error);
    ResultSet data(c.database());
    data.open(measurementListSelection(patientNumber(42)));
    ResultSet patient(c.database());
    Selection one = patientListSelection(1);
    one.filter = QStringLiteral("CustNo = ?");
    one.bindings = {patientNumber(42)};
    patient.open(one);
    double date = 46000;
    for (auto _ : state) {
        Transaction t(c.database());
        data.append();
        data.setValue(QStringLiteral("CustNo"), patientNumber(42));
        data.setValue(QStringLiteral("ZeDate"), date += 0.01);
        for (int k = 1; k <= 24; ++k)
            data.setValue(QStringLiteral("ZE%1").arg(k), 50.0);
        data.setValue(QStringLiteral("STD"), packStd({}));
        data.post();
        patient.edit();
        patient.setValue(QStringLiteral("PREMEA"), date);
        patient.post();
        t.commit();
    }
}
BENCHMARK(BM_SaveMeasurement)->Unit(benchmark::kMillisecond);

void BM_TakeOverWholeDatabase(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        const QString older = dir.filePath(QStringLiteral("viro.mdb"));
        QFile::copy(largeDatabase(), older);
        QString error;
        createDatabaseFile(dir.filePath(QStringLiteral("viro6.mdb")), DatabaseKind::Main, &error);
        Connection c(ConnectionRole::Main);
        c.open(dir.filePath(QStringLiteral("viro6.mdb")), &error);
        state.ResumeTiming();
        if (!transferOlderDatabase(older, c, {}, &error))
            state.SkipWithError(qPrintable(error));
    }
}
BENCHMARK(BM_TakeOverWholeDatabase)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
} // namespace viro

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    viro::largeDatabase(); // generated before any timing starts
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The shared connection must close while the SQL driver is still loaded.
    viro::mainConnection().close();
    return 0;
}
