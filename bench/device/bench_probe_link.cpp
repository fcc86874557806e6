#include "device/probe_link.h"
#include "device/simulated_port.h"
#include "device/simulated_probe.h"
#include "device/tick_clock.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <benchmark/benchmark.h>

namespace {

// A simulated probe plugged in and taken by ProbeLink on the system clock.
struct ProbeRig {
    viro::SystemTickClock clock;
    viro::SimulatedProbe probe{clock};
    viro::SimulatedPort port{clock};
    viro::ProbeLink link{port, clock};

    ProbeRig() {
        viro::configureDefaultProbe(probe);
        port.addProbe(probe);
        link.deviceChange();
    }
    // The probe's own log is not part of the program's cost.
    void clearLogs() {
        probe.clearLog();
        port.clearLog();
    }
};

// One command exchange through ProbeLink against a simulated probe that answers at once: the
// program's own cost per exchange (shift, report, queued reply, event processing, decoding).
// Target: at least 20,000 exchanges per second.
template <typename Exchange> void runExchanges(benchmark::State& state, Exchange exchange) {
    ProbeRig rig;
    rig.probe.touchPoint(0);
    if (!rig.link.isOnline()) {
        state.SkipWithError("no simulated probe");
        return;
    }
    rig.link.sendCommand(QStringLiteral("K0001"));
    for (auto _ : state) {
        exchange(rig.link);
        rig.clearLogs();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ReadValue(benchmark::State& state) {
    runExchanges(state, [](viro::ProbeLink& link) { benchmark::DoNotOptimize(link.readValue()); });
}
BENCHMARK(BM_ReadValue);

void BM_SendCommand(benchmark::State& state) {
    const QString command = QStringLiteral("F007F");
    runExchanges(
        state, [&](viro::ProbeLink& link) { benchmark::DoNotOptimize(link.sendCommand(command)); });
}
BENCHMARK(BM_SendCommand);

// A command the probe never answers: three tries of 100 ms on the system clock. The real time
// is the protocol's; the CPU time is what waiting costs the user-interface thread, which should
// stay a small share of it (the thread sleeps until an event or the deadline).
void BM_CommandWithoutReply(benchmark::State& state) {
    ProbeRig rig;
    if (!rig.link.isOnline()) {
        state.SkipWithError("no simulated probe");
        return;
    }
    rig.probe.setSilent(true);
    const QString command = QStringLiteral("D0000");
    for (auto _ : state) {
        benchmark::DoNotOptimize(rig.link.sendCommand(command));
        rig.clearLogs();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CommandWithoutReply)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The silent probe's warnings would bury the results.
    QLoggingCategory::setFilterRules(QStringLiteral("viro.*=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
