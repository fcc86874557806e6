#include "core/application_state.h"
#include "core/settings.h"
#include "device/probe_link.h"
#include "device/simulated_port.h"
#include "device/simulated_probe.h"
#include "device/tick_clock.h"
#include "measure/measurement_engine.h"
#include "measure/stability_graph.h"

#include <QApplication>
#include <QDate>
#include <QImage>
#include <QLoggingCategory>
#include <QPainter>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

// The stability graph as the measurement window shows it on a full-size window.
const QSize kGraphSize(965, 554);
// The window repaints its displays and the curve at 25 frames a second.
constexpr int kFrameMs = 40;

// A measurement run in real time on a simulated probe that answers after 1 ms, as the USB
// probe does, held on the first point the whole time.
struct MeasurementRig {
    viro::SystemTickClock clock;
    viro::SimulatedProbe probe{clock};
    viro::SimulatedPort port{clock};
    viro::ProbeLink link{port, clock};
    viro::Settings settings = viro::Settings::firstStartDefaults(QDate::currentDate());
    viro::ApplicationState state;
    viro::MeasurementEngine engine{link, clock, state, settings};

    MeasurementRig() {
        viro::configureDefaultProbe(probe);
        probe.setAutoContact(false);
        probe.touchPoint(0);
        port.addProbe(probe);
        port.setReplyDelay(1);
        link.deviceChange();
        // One point a run: the run ends as soon as the first point is stored.
        QObject::connect(&engine, &viro::MeasurementEngine::pointCompleted, &engine,
                         [this] { engine.requestStop(); });
    }

    // Measures position 1 once; the readings averaged in its final window.
    int measureOnePoint() {
        probe.clearLog();
        port.clearLog();
        if (engine.start(1) != viro::MeasurementEngine::RunEnd::Stopped)
            return 0;
        return state.measurement.samples[size_t(settings.sequence.position[0] - 1)];
    }
};

// Draws the graph as the window does: its own PaintBox1 widget, repainted by the frame timer,
// which keeps the background and the curve drawn so far and adds the readings since the last
// frame.
class GraphPainter {
public:
    explicit GraphPainter(const viro::MeasurementEngine& engine) : box_(engine) {
        box_.resize(kGraphSize);
        box_.show();
        timer_.setInterval(kFrameMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            box_.repaint();
            ++frames_;
        });
        timer_.start();
    }
    int frames() const { return frames_; }

private:
    viro::StabilityGraphBox box_;
    QTimer timer_;
    int frames_ = 0;
};

// Readings per second of the measuring loop over the final window of a default point (0.5 s),
// with or without the stability curve drawn alongside at the window's frame rate. Each
// iteration measures one point in real time (2.5 s). Goals: at least 400 readings in the final
// window, and drawing costs under 5 per cent of the rate.
void BM_MeasuringLoop(benchmark::State& state) {
    MeasurementRig rig;
    if (!rig.link.isOnline()) {
        state.SkipWithError("no simulated probe");
        return;
    }
    const bool drawing = state.range(0) != 0;
    std::unique_ptr<GraphPainter> painter;
    if (drawing)
        painter = std::make_unique<GraphPainter>(rig.engine);
    const double windowSeconds = rig.engine.options().finalWindowMs() / 1000.0;
    std::vector<int> counts;
    for (auto _ : state) {
        const int n = rig.measureOnePoint();
        if (n == 0) {
            state.SkipWithError("the point was not measured");
            return;
        }
        counts.push_back(n);
    }
    double total = 0;
    for (int n : counts)
        total += n;
    const double mean = total / double(counts.size());
    state.counters["final_window_readings"] = mean;
    state.counters["readings_per_s"] = mean / windowSeconds;
    if (painter)
        state.counters["frames_per_point"] = double(painter->frames()) / double(counts.size());
    state.SetLabel(drawing ? "drawing the curve" : "no drawing");
}
BENCHMARK(BM_MeasuringLoop)
    ->ArgName("draw")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(6);

// One frame of the graph at the end of a default point: the kept background and a curve of
// one sample a millisecond, 2.5 s long.
void BM_GraphFrame(benchmark::State& state) {
    const int totalMs =
        viro::MeasuringOptions::kDefaultMeasuringMs + viro::MeasuringOptions::kDefaultFinalWindowMs;
    const viro::StabilityGraphView view{kGraphSize, totalMs, true};
    std::vector<viro::CurveSample> curve;
    for (int ms = 0; ms < totalMs; ++ms)
        curve.push_back({ms, ms * 100.0 / totalMs, 3.0 * ((ms / 7) % 5 - 2), ms < 300});
    QImage background(kGraphSize, QImage::Format_RGB32);
    {
        QPainter bp(&background);
        viro::drawStabilityBackground(bp, view);
    }
    QImage frame(kGraphSize, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&frame);
        p.drawImage(0, 0, background);
        viro::drawStabilityCurve(p, view, curve);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GraphFrame)->Unit(benchmark::kMicrosecond);

// One frame as the window draws it during a point: the 40 readings that came in the 40 ms since
// the frame before, added to the kept picture.
void BM_GraphFrameAdding40Readings(benchmark::State& state) {
    const int totalMs =
        viro::MeasuringOptions::kDefaultMeasuringMs + viro::MeasuringOptions::kDefaultFinalWindowMs;
    const viro::StabilityGraphView view{kGraphSize, totalMs, true};
    std::vector<viro::CurveSample> all;
    for (int ms = 0; ms < totalMs; ++ms)
        all.push_back({ms, ms * 100.0 / totalMs, 3.0 * ((ms / 7) % 5 - 2), ms < 300});
    QImage canvas(kGraphSize, QImage::Format_RGB32);
    {
        QPainter bp(&canvas);
        viro::drawStabilityBackground(bp, view);
    }
    viro::StabilityCurveTracer tracer;
    std::vector<viro::CurveSample> curve;
    size_t next = 0;
    for (auto _ : state) {
        if (next >= all.size()) {
            state.PauseTiming();
            curve.clear();
            tracer.reset();
            next = 0;
            state.ResumeTiming();
        }
        const size_t end = std::min(all.size(), next + 40);
        curve.insert(curve.end(), all.begin() + long(next), all.begin() + long(end));
        next = end;
        QPainter p(&canvas);
        tracer.extend(p, view, curve);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GraphFrameAdding40Readings)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    // Drawing text needs a GUI application, never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("viro.*=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
