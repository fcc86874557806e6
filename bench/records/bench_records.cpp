// Records layer timings on a large database: 100,000 patients, 1,000,000 measurements.
// The database is generated once and cached in $VIRO_BENCH_DIR (default /tmp/viro-bench).

#include "records/connection.h"
#include "records/database_check.h"
#include "records/patient_list_model.h"
#include "records/result_set.h"
#include "records/schema.h"
#include "records/statements.h"
#include "records/ui/patient_list_view.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
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

// The main connection on the cached database, opened once per process; a database cached by an
// earlier build gets this build's indexes, as the program's start-up gives them.
Connection& mainConnection() {
    static Connection c(ConnectionRole::Main);
    if (!c.isOpen()) {
        QString error;
        if (!c.open(largeDatabase(), &error) || !upgradeMainDatabase(c, &error)) {
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

// Every cell of `rows` rows from `first` on, as a grid asks for them when it paints.
void readScreen(const PatientListModel& model, int first, int rows = kScreenRows) {
    for (int r = first; r < std::min(first + rows, model.rowCount()); ++r)
        for (int c = 0; c < PatientListModel::ColumnCount; ++c) {
            benchmark::DoNotOptimize(model.data(model.index(r, c)));
            benchmark::DoNotOptimize(model.data(model.index(r, c), PatientListModel::ToneRole));
        }
}

// The shared patient list: opened in the order of each sort key, its first screen read.
void BM_ListModelOpen(benchmark::State& state) {
    const int key = int(state.range(0));
    PatientListModel model(mainConnection().database());
    for (auto _ : state) {
        model.open(key);
        readScreen(model, 0);
    }
    if (model.rowCount() != kPatients)
        state.SkipWithError("wrong row count");
}
BENCHMARK(BM_ListModelOpen)->DenseRange(1, 11)->Arg(-2)->Arg(-4)->Unit(benchmark::kMillisecond);

// Opened, then moved to the end at once (the scroll bar pulled down) and the last screen read.
void BM_ListModelScrollToEnd(benchmark::State& state) {
    const int key = int(state.range(0));
    PatientListModel model(mainConnection().database());
    for (auto _ : state) {
        model.open(key);
        readScreen(model, 0);
        readScreen(model, model.rowCount() - kScreenRows);
    }
}
BENCHMARK(BM_ListModelScrollToEnd)
    ->Arg(1)
    ->Arg(2)
    ->Arg(-2)
    ->Arg(4)
    ->Arg(6)
    ->Arg(7)
    ->Unit(benchmark::kMillisecond);

// Scrolled through a part of the list a page at a time: the cost of each new window.
void BM_ListModelPageDown(benchmark::State& state) {
    PatientListModel model(mainConnection().database());
    model.open(2);
    int first = 0;
    for (auto _ : state) {
        readScreen(model, first);
        first = (first + kScreenRows) % (model.rowCount() - kScreenRows);
    }
}
BENCHMARK(BM_ListModelPageDown)->Unit(benchmark::kMicrosecond);

// A header click: the list reopened in another order, the patient of the row before found
// again, and the screen around it read.
void BM_ListModelChangeSort(benchmark::State& state) {
    const int key = int(state.range(0));
    PatientListModel model(mainConnection().database());
    int i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        model.open(1);
        const QString remembered = patientNumber(1 + (++i * 7919) % kPatients);
        state.ResumeTiming();
        model.open(key);
        const std::optional<int> row = model.rowOfNumber(remembered);
        if (!row) {
            state.SkipWithError("patient not found again");
            break;
        }
        readScreen(model, *row);
    }
}
BENCHMARK(BM_ListModelChangeSort)->DenseRange(2, 11)->Arg(-2)->Unit(benchmark::kMillisecond);

// The search box: the first row whose sort field begins with the text, by sort key.
void BM_ListModelPrefixSearch(benchmark::State& state) {
    const int key = int(state.range(0));
    PatientListModel model(mainConnection().database());
    model.open(key);
    int i = 0, found = 0;
    for (auto _ : state) {
        const int n = 1 + (++i * 7919) % kPatients;
        QString text;
        switch (std::abs(key)) {
        case 1:
            text = patientNumber(n).left(5);
            break;
        case 2:
            text = QStringLiteral("Name %1").arg(n % 9000);
            break;
        case 4:
            text = QLocale().toString(QDate(1944, 1, 1).addDays(n % 9000), QLocale::ShortFormat);
            break;
        default:
            text = QStringLiteral("0%1").arg(n % 9000);
            break;
        }
        found += model.findPrefix(text).has_value();
    }
    if (found == 0)
        state.SkipWithError("nothing found");
}
BENCHMARK(BM_ListModelPrefixSearch)
    ->Arg(1)
    ->Arg(2)
    ->Arg(-2)
    ->Arg(4)
    ->Arg(7)
    ->Unit(benchmark::kMillisecond);

// The same through the patient list widget, offscreen, at the size of the save window's grid:
// each step ends with the grid painted, as the user would see it.
constexpr QSize kViewSize(1000, 600);

void paintGrid(PatientListView& view) {
    benchmark::DoNotOptimize(view.grid()->viewport()->grab());
}

void BM_ListViewOpen(benchmark::State& state) {
    int sortKey = int(state.range(0));
    for (auto _ : state) {
        PatientListView view(mainConnection().database(), sortKey);
        view.resize(kViewSize);
        view.show();
        view.open();
        view.selectNumber(patientNumber(50000));
        paintGrid(view);
    }
}
BENCHMARK(BM_ListViewOpen)->Arg(1)->Arg(2)->Arg(-4)->Unit(benchmark::kMillisecond);

void BM_ListViewScrollToEnd(benchmark::State& state) {
    int sortKey = int(state.range(0));
    PatientListView view(mainConnection().database(), sortKey);
    view.resize(kViewSize);
    view.show();
    for (auto _ : state) {
        state.PauseTiming();
        view.open(); // nothing read yet
        paintGrid(view);
        state.ResumeTiming();
        view.grid()->scrollToBottom();
        paintGrid(view);
    }
}
BENCHMARK(BM_ListViewScrollToEnd)->Arg(1)->Arg(2)->Arg(6)->Unit(benchmark::kMillisecond);

// A click on a header: read again in the new order, the patient found again, the grid painted.
void BM_ListViewSortClick(benchmark::State& state) {
    int sortKey = 1;
    PatientListView view(mainConnection().database(), sortKey);
    view.resize(kViewSize);
    view.show();
    view.open();
    view.selectNumber(patientNumber(54321));
    const int columns[] = {2, 7, 4, 8, 1, 9};
    int i = 0;
    for (auto _ : state) {
        emit view.grid()->horizontalHeader()->sectionClicked(columns[i++ % 6]);
        paintGrid(view);
        if (view.currentPatient()->custNo != patientNumber(54321)) {
            state.SkipWithError("the patient was lost");
            break;
        }
    }
}
BENCHMARK(BM_ListViewSortClick)->Unit(benchmark::kMillisecond);

void BM_ListViewSearch(benchmark::State& state) {
    int sortKey = 2;
    PatientListView view(mainConnection().database(), sortKey);
    view.resize(kViewSize);
    view.show();
    view.open();
    int i = 0;
    for (auto _ : state) {
        view.searchBox()->setText(QStringLiteral("Name %1").arg(++i * 37 % 9000));
        if (!view.search()) {
            state.SkipWithError("nothing found");
            break;
        }
        paintGrid(view);
    }
}
BENCHMARK(BM_ListViewSearch)->Unit(benchmark::kMillisecond);

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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    viro::largeDatabase(); // generated before any timing starts
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The shared connection must close while the SQL driver is still loaded.
    viro::mainConnection().close();
    return 0;
}
