#include "device/probe_link.h"
#include "device/simulated_port.h"
#include "device/simulated_probe.h"
#include "device/tick_clock.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace {

// One command exchange through ProbeLink against a simulated probe that answers at once: the
// program's own cost per exchange (shift, report, queued reply, event processing, decoding).
// Target: at least 20,000 exchanges per second.
template <typename Exchange> void runExchanges(benchmark::State& state, Exchange exchange) {
    viro::SystemTickClock clock;
    viro::SimulatedProbe probe(clock);
    viro::configureDefaultProbe(probe);
    probe.touchPoint(0);
    viro::SimulatedPort port(clock);
    port.addProbe(probe);
    viro::ProbeLink link(port, clock);
    link.deviceChange();
    if (!link.isOnline()) {
        state.SkipWithError("no simulated probe");
        return;
    }
    link.sendCommand(QStringLiteral("K0001"));
    for (auto _ : state) {
        exchange(link);
        // The probe's own log is not part of the program's cost.
        probe.clearLog();
        port.clearLog();
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
    viro::SystemTickClock clock;
    viro::SimulatedProbe probe(clock);
    viro::configureDefaultProbe(probe);
    viro::SimulatedPort port(clock);
    port.addProbe(probe);
    viro::ProbeLink link(port, clock);
    link.deviceChange();
    if (!link.isOnline()) {
        state.SkipWithError("no simulated probe");
        return;
    }
    probe.setSilent(true);
    const QString command = QStringLiteral("D0000");
    for (auto _ : state) {
        benchmark::DoNotOptimize(link.sendCommand(command));
        probe.clearLog();
        port.clearLog();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CommandWithoutReply)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
