#pragma once

#include <QLoggingCategory>

namespace viro {

// Messages of the device layer; warnings are written for every failure shown or dropped.
Q_DECLARE_LOGGING_CATEGORY(lcDevice)

} // namespace viro
