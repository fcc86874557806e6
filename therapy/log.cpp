#include "therapy/log.h"

namespace viro {

Q_LOGGING_CATEGORY(lcTherapy, "viro.therapy", QtInfoMsg)

} // namespace viro
