#include "data/src/log.h"

namespace viro {

Q_LOGGING_CATEGORY(lcData, "viro.data", QtInfoMsg)

} // namespace viro
