#include "cli/cli_support.h"
#include "cli/commands.h"

#include "device/hidapi_port.h"
#include "device/probe_link.h"
#include "device/probe_readings.h"
#include "device/simulated_port.h"
#include "device/simulated_probe.h"
#include "device/tick_clock.h"

#include <cstdio>
#include <memory>

namespace viro::cli {

namespace {

constexpr int kDefaultReadCount = 10;
constexpr int kMaxReadCount = 1000000;

// Not a usage error: the tool ran, but there is nothing to talk to.
int noProbe() {
    std::fputs("No probe found.\n", stderr);
    return 1;
}

QString infoJson(ProbeLink& link) {
    const std::optional<int> counter = link.usageCounter();
    return jsonObject({
        {"serialNumber", jsonString(link.serialNumber())},
        {"hardware", jsonString(link.hardwareVersion())},
        {"a02", jsonBool(link.isA02())},
        {"nrmConstant", QString::number(link.nrmConstant())},
        {"hiConstant", QString::number(link.hiConstant())},
        {"usageCounter", counter ? QString::number(*counter) : QStringLiteral("null")},
    });
}

QString readingsJson(const ReadingSeries& series) {
    QStringList items;
    for (const TimedReading& r : series.readings) {
        const QString value = r.value ? QString::number(*r.value) : QStringLiteral("null");
        items << jsonObject({{"timeMs", QString::number(r.timeMs)}, {"value", value}});
    }
    return jsonArray(items);
}

} // namespace

int runProbe(const QStringList& args) {
    Arguments a(args);
    const bool simulate = a.flag("simulate-probe");
    const std::optional<QString> countText = a.option("count");
    if (!a.error().isEmpty())
        return fail("probe: " + a.error());
    if (const QString unknown = a.unknownOptions(); !unknown.isEmpty())
        return fail("probe: " + unknown);
    const QStringList& rest = a.rest();
    if (rest.isEmpty())
        return fail("probe: missing sub-command; usage: probe info|read");
    const QString& sub = rest.first();
    if (sub != QLatin1String("info") && sub != QLatin1String("read"))
        return fail("probe: unknown sub-command " + sub);
    if (rest.size() > 1)
        return fail("probe " + sub + ": too many arguments");
    int count = kDefaultReadCount;
    if (countText) {
        if (sub != QLatin1String("read"))
            return fail("probe info: --count belongs to probe read");
        bool ok = false;
        count = countText->toInt(&ok);
        if (!ok || count < 1 || count > kMaxReadCount)
            return fail(QStringLiteral("probe read: --count must be a whole number from 1 to %1")
                            .arg(kMaxReadCount));
    }

    SystemTickClock clock;
    SimulatedProbe simulatedProbe(clock);
    std::unique_ptr<HidPort> port;
    if (simulate) {
        configureDefaultProbe(simulatedProbe);
        // The simulated operator holds the probe on the first point, so readings show values.
        simulatedProbe.touchPoint(0);
        auto simulated = std::make_unique<SimulatedPort>(clock);
        simulated->addProbe(simulatedProbe);
        port = std::move(simulated);
    } else {
        auto hid = std::make_unique<HidapiPort>();
        hid->start();
        port = std::move(hid);
    }
    ProbeLink link(*port, clock);
    link.deviceChange();
    if (!link.isOnline())
        return noProbe();
    if (sub == QLatin1String("info")) {
        printOut(infoJson(link) + '\n');
        return 0;
    }
    const ReadingSeries series = readHandProbe(link, clock, count);
    // Part of a series would pass for all of it.
    if (series.probeLost)
        return noProbe();
    printOut(readingsJson(series) + '\n');
    return 0;
}

const CommandRegistration registration("probe",
                                       "probe info [--simulate-probe]\n"
                                       "probe read [--count N] [--simulate-probe]",
                                       runProbe);

} // namespace viro::cli
