#pragma once

#include "core/launcher.h"

#include <QString>

#include <array>

namespace viro {

// The four program links of a protocol (ProFN, ProScrp1-4, ProPrg1-4, ProParm1-4).
struct ProtocolLinks {
    QString ProFN; // character n "1": link n is enabled
    std::array<QString, 4> description;
    std::array<QString, 4> program;
    std::array<QString, 4> parameter;
};

// Whether link n (1 to 4) is enabled: character n of ProFN is "1"; a shorter text disables it.
bool protocolLinkEnabled(const QString& proFN, int n);

// Runs link n through the launcher with its program and parameter, blanks removed at both ends.
// A disabled or unknown link runs nothing; false then.
bool runProtocolLink(const ProtocolLinks& links, int n, ShellOpener& opener,
                     const FileExistsFn& fileExists = {});

} // namespace viro
