#pragma once

#include "therapy/protocol_rules.h"

#include <QSqlDatabase>
#include <QString>

#include <vector>

namespace viro {

// Reads every protocol of a protocol database (ZePro through its index ZeProB) with its
// condition rows (ZePrDt, linked by ProNo). Age bounds missing from an older table read as 0.
// False, with `out` empty and the reason in `error`, when a table is missing or any row cannot
// be read: a part of the protocols would silently match less.
bool loadProtocolCandidates(const QSqlDatabase& db, std::vector<ProtocolCandidate>* out,
                            QString* error);

} // namespace viro
