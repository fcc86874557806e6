#include "measure/log.h"

namespace viro {

Q_LOGGING_CATEGORY(lcMeasure, "viro.measure", QtInfoMsg)

} // namespace viro
