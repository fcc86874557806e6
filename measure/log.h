#pragma once

#include <QLoggingCategory>

namespace viro {

// Messages of the measure layer; warnings are written for every failure shown or dropped.
Q_DECLARE_LOGGING_CATEGORY(lcMeasure)

} // namespace viro
