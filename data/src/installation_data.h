#pragma once

#include <QString>
#include <QStringList>

namespace viro {

// The files the builder writes, relative to the output folder, with this system's letter case
// ("viroe.mdb", "Data/plh1.bmp" on Linux).
QStringList installationFileNames();
QString referenceDatabaseName();
QString protocolDatabaseName();
QString templateDatabaseName();
QString pictureFolderName();

// Reads the sources (sourceFolder/texts/*.txt and sourceFolder/protocols.txt), checks them,
// draws the pictures and writes every installation file into outputFolder. A problem in a
// source gives "file:line: message". Nothing of a failed file is left behind.
bool buildInstallationData(const QString& sourceFolder, const QString& outputFolder,
                           QString* error);

} // namespace viro
