#pragma once

#include <QtGlobal>

#include <optional>
#include <vector>

namespace viro {

class ProbeLink;
class TickClock;

// One reading with the time it was taken, counted from the first; no value when the probe
// did not answer.
struct TimedReading {
    quint32 timeMs = 0;
    std::optional<int> value;
};

struct ReadingSeries {
    std::vector<TimedReading> readings;
    // The probe went away before all readings were taken.
    bool probeLost = false;
};

// Up to `count` readings of the hand probe at the normal potential, as a measurement takes
// them, one right after the other; the measuring input is disconnected afterwards.
ReadingSeries readHandProbe(ProbeLink& link, TickClock& clock, int count);

} // namespace viro
