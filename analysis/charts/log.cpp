#include "analysis/charts/log.h"

namespace viro {

Q_LOGGING_CATEGORY(lcCharts, "viro.charts", QtInfoMsg)

} // namespace viro
