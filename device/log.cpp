#include "device/log.h"

namespace viro {

Q_LOGGING_CATEGORY(lcDevice, "viro.device", QtInfoMsg)

} // namespace viro
