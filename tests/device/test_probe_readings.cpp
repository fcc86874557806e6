#include "device/probe_link.h"
#include "device/probe_readings.h"
#include "device/simulated_port.h"
#include "device/simulated_probe.h"
#include "device/tick_clock.h"

#include <QObject>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

using viro::FakeTickClock;
using viro::ProbeLink;
using viro::SimulatedPort;
using viro::SimulatedProbe;

TEST(ProbeReadings, SilenceAndUnplugging) {
    struct Case {
        const char* name;
        // Runs at the given input report (1: the reply to "L0000", 2: to "K0001", 3: to the
        // first reading, ...).
        int atReport;
        std::function<void(SimulatedProbe&, SimulatedPort&, const QString&)> then;
        std::vector<std::optional<int>> values;
        bool lost;
        QStringList commands;
    };
    const auto silence = [](SimulatedProbe& p, SimulatedPort&, const QString&) {
        p.setSilent(true);
    };
    const auto unplug = [](SimulatedProbe&, SimulatedPort& w, const QString& path) {
        w.unplug(path);
    };
    const QStringList threeReadings{"L0000", "K0001", "D0000", "D0000", "D0000", "X0000"};
    const std::vector<Case> cases{
        {"every reading answered", 0, nullptr, {0x2A, 0x2A, 0x2A}, false, threeReadings},
        // A silent reading is tried three times.
        {"silent after the first reading",
         3,
         silence,
         {0x2A, std::nullopt, std::nullopt},
         false,
         {"L0000", "K0001", "D0000", "D0000", "D0000", "D0000", "D0000", "D0000", "D0000", "X0000",
          "X0000", "X0000"}},
        {"unplugged after the second reading",
         4,
         unplug,
         {0x2A, 0x2A},
         true,
         {"L0000", "K0001", "D0000", "D0000"}},
        {"unplugged before any reading", 2, unplug, {}, true, {"L0000", "K0001"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTickClock clock(1000);
        SimulatedProbe probe(clock);
        probe.setReadingOverride(0x2A);
        SimulatedPort port(clock);
        const QString path = port.addProbe(probe);
        ProbeLink link(port, clock);
        link.deviceChange();
        ASSERT_TRUE(link.isOnline());
        probe.clearLog();
        int reports = 0;
        QObject::connect(&port, &viro::HidPort::reportReceived, &port, [&] {
            if (++reports == c.atReport && c.then)
                c.then(probe, port, path);
        });
        const viro::ReadingSeries series = viro::readHandProbe(link, clock, 3);
        EXPECT_EQ(series.probeLost, c.lost);
        std::vector<std::optional<int>> values;
        quint32 last = 0;
        for (const viro::TimedReading& r : series.readings) {
            values.push_back(r.value);
            EXPECT_GE(r.timeMs, last);
            last = r.timeMs;
        }
        EXPECT_EQ(values, c.values);
        EXPECT_EQ(probe.commands(), c.commands);
    }
}

TEST(ProbeReadings, TimesCountFromTheFirstReading) {
    FakeTickClock clock(0xFFFFFF00u); // across the wrap of the tick counter
    SimulatedProbe probe(clock);
    probe.setReadingOverride(7);
    SimulatedPort port(clock);
    port.addProbe(probe);
    port.setReplyDelay(20);
    ProbeLink link(port, clock);
    link.deviceChange();
    ASSERT_TRUE(link.isOnline());
    const viro::ReadingSeries series = viro::readHandProbe(link, clock, 4);
    ASSERT_EQ(series.readings.size(), 4u);
    EXPECT_FALSE(series.probeLost);
    // Each reading waits 20 ms for its reply; the first time is taken after its reply.
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_GE(series.readings[i].timeMs, 20 * (i + 1));
        EXPECT_LE(series.readings[i].timeMs, 20 * (i + 1) + 2 * (i + 1));
        EXPECT_EQ(series.readings[i].value, 7);
    }
}

} // namespace
