#pragma once

#include "analysis/meridian_model.h"

#include <QStringList>

#include <array>

namespace viro {

// One measurement: 24 point values in µA, their quality scores and the record's metadata.
// Arrays are 0-based by point index - 1 (see meridian_model.h for the point layout).
struct MeasurementRecord {
    std::array<double, kPointCount> values{};
    std::array<double, kPointCount> compensated{}; // written by the measurement window only
    std::array<double, kPointCount> quality{};
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
