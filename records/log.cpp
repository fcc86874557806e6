#include "records/log.h"

namespace viro {

Q_LOGGING_CATEGORY(lcRecords, "viro.records", QtInfoMsg)

} // namespace viro
