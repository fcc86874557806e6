#include "device/probe_readings.h"

#include "device/probe_link.h"
#include "device/tick_clock.h"

namespace viro {

ReadingSeries readHandProbe(ProbeLink& link, TickClock& clock, int count) {
    ReadingSeries series;
    link.sendCommand(QStringLiteral("L0000"));
    link.sendCommand(QStringLiteral("K0001"));
    const quint32 start = clock.ticks();
    for (int i = 0; i < count; ++i) {
        const int value = link.readValue();
        // Gone before or during the reading: no answer, and none to come.
        if (!link.isHeld()) {
            series.probeLost = true;
            return series;
        }
        const quint32 at = ticksSince(start, clock.ticks());
        // A reading without a reply reads 0; it is no reading at all.
        series.readings.push_back(
            {at, link.replyReceived() ? std::optional<int>(value) : std::nullopt});
    }
    link.sendCommand(QStringLiteral("X0000"));
    return series;
}

} // namespace viro
