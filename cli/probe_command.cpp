#include "cli/cli_support.h"
#include "cli/commands.h"

#include "device/hidapi_port.h"
#include "device/probe_link.h"
#include "device/probe_readings.h"
#include "device/simulated_port.h"
#include "device/simulated_probe.h"
#include "device/tick_clock.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>
#include <memory>

namespace viro::cli {

namespace {

constexpr int kDefaultReadCount = 10;
constexpr int kMaxReadCount = 1000000;

// Not a usage error: the tool ran, but there is nothing to talk to.
int noProbe() {
    std::fputs("No probe found.\n", stderr);
    return kFailure;
}

QJsonObject infoJson(ProbeLink& link) {
    const std::optional<int> counter = link.usageCounter();
    return QJsonObject{
        {"serialNumber", link.serialNumber()},
        {"hardware", link.hardwareVersion()},
        {"a02", link.isA02()},
        {"nrmConstant", link.nrmConstant()},
        {"hiConstant", link.hiConstant()},
        {"usageCounter", counter ? QJsonValue(*counter) : QJsonValue(QJsonValue::Null)},
    };
}

QJsonArray readingsJson(const ReadingSeries& series) {
    QJsonArray items;
    for (const TimedReading& r : series.readings)
        items.append(
            QJsonObject{{"timeMs", qint64(r.timeMs)},
                        {"value", r.value ? QJsonValue(*r.value) : QJsonValue(QJsonValue::Null)}});
    return items;
}

QString usage() {
    return QStringLiteral("probe info [--simulate-probe]\n"
                          "probe read [--count N] [--simulate-probe]");
}

} // namespace

int runProbe(const QStringList& args) {
    CommandLine line(QStringLiteral("probe"), usage());
    line.addFlag("simulate-probe", "talk to a simulated probe instead of the USB probe");
    line.addOption(
        "count", "N",
        QStringLiteral("probe read: number of readings (default %1)").arg(kDefaultReadCount));
    if (const std::optional<int> status = line.parse(args))
        return *status;
    const bool simulate = line.isSet("simulate-probe");
    const std::optional<QString> countText = line.value("count");
    const QStringList rest = line.positional();
    if (rest.isEmpty())
        return line.fail("missing sub-command; usage: probe info|read");
    const QString& sub = rest.first();
    if (sub != QLatin1String("info") && sub != QLatin1String("read"))
        return line.fail("unknown sub-command " + sub);
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
        printJson(QJsonDocument(infoJson(link)));
        return 0;
    }
    const ReadingSeries series = readHandProbe(link, clock, count);
    // Part of a series would pass for all of it.
    if (series.probeLost)
        return noProbe();
    printJson(QJsonDocument(readingsJson(series)));
    return 0;
}

const CommandRegistration registration("probe", usage, runProbe);

} // namespace viro::cli
