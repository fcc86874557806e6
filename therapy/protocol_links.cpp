#include "therapy/protocol_links.h"

namespace viro {

bool protocolLinkEnabled(const QString& proFN, int n) {
    return n >= 1 && n <= 4 && n <= proFN.size() && proFN[n - 1] == QChar('1');
}

bool runProtocolLink(const ProtocolLinks& links, int n, ShellOpener& opener,
                     const FileExistsFn& fileExists) {
    if (!protocolLinkEnabled(links.ProFN, n))
        return false;
    launchProgram(links.program[size_t(n - 1)].trimmed(), links.parameter[size_t(n - 1)].trimmed(),
                  opener, fileExists);
    return true;
}

} // namespace viro
