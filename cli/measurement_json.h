#pragma once

#include "analysis/measurement_record.h"

#include <QJsonObject>

namespace viro::cli {

// A measurement as `measure` and `journal show` print it: "values", "compensated", "quality"
// and "samples" (24 each, by point index), "date" (Jet date value of the last point's
// completion, 0 for none), "potential" ("nrm" or "hi") and, with `withTraces`, "traces": for
// each point index the readings of its final attempt as [{"timeMs", "counts"}].
QJsonObject measurementJson(const MeasurementRecord& record, bool withTraces);

} // namespace viro::cli
