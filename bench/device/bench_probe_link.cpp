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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
