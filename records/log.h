#pragma once

#include <QLoggingCategory>

namespace viro {

// Messages of the records layer; warnings are written for every failure shown or dropped.
Q_DECLARE_LOGGING_CATEGORY(lcRecords)

} // namespace viro
