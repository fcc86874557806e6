#include "core/data_folder.h"

#include "core/log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

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
    const QString path = QDir(folder).absolutePath();
    if (QFileInfo(path).isDir())
        return true;
    // Every folder on the way that is missing is created owner-only, in one step: patient data
    // is never open to other users, not even for a moment.
    QStringList missing;
    for (QString p = path; !QFileInfo::exists(p);) {
        missing.prepend(p);
        const QString parent = QFileInfo(p).path();
        if (parent == p)
            break;
        p = parent;
    }
    const auto fail = [&](const QString& at) {
        const QString message = QStringLiteral("Cannot create the data folder %1").arg(folder);
        qCWarning(lcCore).noquote() << message << "- failed at" << at;
        if (error)
            *error = message;
        return false;
    };
    if (missing.isEmpty())
        return fail(path); // something that is not a folder has its name
    const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    for (const QString& dir : std::as_const(missing)) {
        // Another program may have made it meanwhile; then it is there all the same.
        if (!QDir().mkdir(dir, ownerOnly) && !QFileInfo(dir).isDir())
            return fail(dir);
    }
    return true;
}

} // namespace viro
