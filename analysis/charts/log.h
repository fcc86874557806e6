#pragma once

#include <QLoggingCategory>

namespace viro {

// Messages of the charts layer; warnings are written for every failure shown or dropped.
Q_DECLARE_LOGGING_CATEGORY(lcCharts)

} // namespace viro
