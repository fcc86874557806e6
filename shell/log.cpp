#include "shell/log.h"

namespace viro {

Q_LOGGING_CATEGORY(lcShell, "viro.shell", QtInfoMsg)

} // namespace viro
