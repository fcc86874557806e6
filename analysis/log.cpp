#include "analysis/log.h"

namespace viro {

Q_LOGGING_CATEGORY(lcAnalysis, "viro.analysis", QtInfoMsg)

} // namespace viro
