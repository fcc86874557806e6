#include "core/data_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace viro {

QString dataFolder() {
    QString folder = qEnvironmentVariable("VIRO_DATA_DIR");
    if (folder.isEmpty()) {
#ifdef Q_OS_WIN
        folder = QStringLiteral("c:\\tarvel\\viro\\");
#else
        QString base = qEnvironmentVariable("XDG_DATA_HOME");
        if (base.isEmpty())
            base = QDir::homePath() + "/.local/share";
        folder = base + "/tarvel/viro/";
#endif
    }
    if (!folder.endsWith('/') && !folder.endsWith('\\'))
        folder += '/';
    return folder;
}

QString dataFileName(const QString& name) {
#ifdef Q_OS_WIN
    return name;
#else
    return name.toLower();
#endif
}

QString installationFolder() {
    const QString env = qEnvironmentVariable("VIRO_SHARE_DIR");
    if (!env.isEmpty())
        return QDir(env).absolutePath();
    return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/viro"))
        .absolutePath();
}

bool ensureDataFolder(const QString& folder, QString* error) {
    QDir dir(folder);
    if (dir.exists())
        return true;
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("Cannot create the data folder %1").arg(folder);
        return false;
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return true;
}

} // namespace viro
