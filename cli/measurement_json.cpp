#include "cli/measurement_json.h"

#include <QJsonArray>

namespace viro::cli {

namespace {

template <typename T> QJsonArray arrayOf(const std::array<T, kPointCount>& items) {
    QJsonArray out;
    for (const T& v : items)
        out.append(v);
    return out;
}

QJsonArray traceJson(const PointTrace& trace) {
    QJsonArray out;
    for (const TraceSample& s : trace)
        out.append(QJsonObject{{"timeMs", qint64(s.timeMs)}, {"counts", int(s.counts)}});
    return out;
}

} // namespace

QJsonObject measurementJson(const MeasurementRecord& record, bool withTraces) {
    QJsonObject o{
        {"values", arrayOf(record.values)},
        {"compensated", arrayOf(record.compensated)},
        {"quality", arrayOf(record.quality)},
        {"samples", arrayOf(record.samples)},
        {"date", record.dateTime},
        {"potential", record.highPotential ? "hi" : "nrm"},
    };
    if (withTraces) {
        QJsonArray traces;
        for (const PointTrace& trace : record.traces)
            traces.append(traceJson(trace));
        o.insert("traces", traces);
    }
    return o;
}

} // namespace viro::cli
