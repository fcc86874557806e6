#pragma once

#include "analysis/meridian_model.h"

#include <QStringList>

#include <array>
#include <vector>

namespace viro {

// One reading of a point as it was measured: the time since the point's measuring began and the
// probe's counts.
struct TraceSample {
    quint32 timeMs = 0;
    quint16 counts = 0;

    friend bool operator==(const TraceSample&, const TraceSample&) = default;
};
using PointTrace = std::vector<TraceSample>;

// One measurement: 24 point values in µA, their quality scores and the record's metadata.
// Arrays are 0-based by point index - 1 (see meridian_model.h for the point layout).
struct MeasurementRecord {
    std::array<double, kPointCount> values{};
    std::array<double, kPointCount> compensated{}; // written by the measurement window only
    std::array<double, kPointCount> quality{};
    // What the measurement run saw of each point it completed: every reading of the point's
    // final attempt, and how many readings its value averages. Empty and 0 for points that were
    // entered, recalled or not measured.
    std::array<PointTrace, kPointCount> traces{};
    std::array<int, kPointCount> samples{};
    double dateTime = 0;        // Jet date value, 0 for none
    bool highPotential = false; // true: "HI (extended method)", false: "NRM (normal method)"
    QStringList notes;
    int key = 0; // MKEY of the stored row, 0 while unsaved

    double value(int point) const { return values.at(point - 1); }
    // Only complete records are analysed: every value above 0.
    bool isComplete() const {
        for (double v : values)
            if (!(v > 0))
                return false;
        return true;
    }
};

} // namespace viro
