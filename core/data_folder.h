#pragma once

#include <QString>

namespace viro {

// The folder that holds the databases, the settings file and the "Data" picture folder.
// $VIRO_DATA_DIR when set, else "c:\tarvel\viro\" on Windows and $XDG_DATA_HOME/tarvel/viro/
// (default ~/.local/share/tarvel/viro/) elsewhere. Always ends with a separator so file names
// can be appended directly.
QString dataFolder();

// A data file's name as stored on this system: case-sensitive systems use lower-case names.
QString dataFileName(const QString& name);

// The folder of the installation files: $VIRO_SHARE_DIR when set, else ../share/viro beside
// the program (the build tree and an installed program alike).
QString installationFolder();

// Creates the data folder when it does not exist yet, and any missing folder above it, each
// with owner-only permissions from the start. A folder that exists is left as it is.
bool ensureDataFolder(const QString& folder, QString* error);

} // namespace viro
