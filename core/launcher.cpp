#include "core/launcher.h"

#include "core/log.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace viro {
namespace {

// Position of the drive letter when the text looks like "X:..." or "\"X:...", else -1.
int driveLetterIndex(const QString& text) {
    if (text.size() > 1 && text[1] == ':')
        return 0;
    if (text.size() > 2 && text[2] == ':')
        return 1;
    return -1;
}

// A quoted path names the file inside the quotes.
QString unquoted(const QString& text) {
    QString t = text.trimmed();
    if (t.size() >= 2 && t.startsWith('"') && t.endsWith('"'))
        t = t.mid(1, t.size() - 2);
    else if (t.startsWith('"'))
        t = t.mid(1);
    return t;
}

// Tries drive letters C to Q in place of the given one and returns the first text whose file
// exists; `found` is false (and the text unchanged) when none does. Texts without a drive
// letter, or whose file exists, are kept as they are.
QString retryDrives(const QString& text, const FileExistsFn& exists, bool* found) {
    *found = true;
    const int letter = driveLetterIndex(text);
    if (letter < 0 || exists(unquoted(text)))
        return text;
    QString candidate = text;
    for (char drive = 'C'; drive <= 'Q'; ++drive) {
        candidate[letter] = QChar(drive);
        if (exists(unquoted(candidate)))
            return candidate;
    }
    *found = false;
    return text;
}

// "https:", "mailto:", "file:": a scheme of at least two characters, so "C:\x" stays a path.
bool hasUrlScheme(const QString& text) {
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    return scheme.match(text).hasMatch();
}

bool startDetached(const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
}

} // namespace

OpenTarget classifyOpenTarget(const QString& text) {
    const QString target = unquoted(text);
    if (target.isEmpty())
        return OpenTarget::Missing;
    const QFileInfo info(target);
    if (info.isDir())
        return OpenTarget::Folder;
    if (info.isFile())
        return info.isExecutable() ? OpenTarget::Executable : OpenTarget::Document;
    // The Windows shell takes "www.example.com" as a web address too.
    if (hasUrlScheme(target) || target.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
        return OpenTarget::Link;
    // A bare name is a command on PATH, as in a terminal.
    if (!target.contains('/') && !target.contains('\\') &&
        !QStandardPaths::findExecutable(target).isEmpty())
        return OpenTarget::Executable;
    return OpenTarget::Missing;
}

LaunchRequest planLaunch(const QString& program, const QString& parameter,
                         const FileExistsFn& fileExists) {
    const FileExistsFn exists =
        fileExists ? fileExists : [](const QString& p) { return QFileInfo(p).isFile(); };
    LaunchRequest request;
    bool found = false;
    const QString resolvedProgram = retryDrives(program, exists, &found);
    if (!found)
        return request;
    bool parameterFound = false;
    const QString resolvedParameter = retryDrives(parameter, exists, &parameterFound);
    request.launch = true;
    request.program = resolvedProgram.trimmed();
    request.parameter = resolvedParameter.trimmed();
    if (request.program.isEmpty() && request.parameter.isEmpty())
        request.launch = false;
    return request;
}

SystemShellOpener::SystemShellOpener(OpenUrlFn openUrl, StartFn start)
    : openUrl_(std::move(openUrl)), start_(start ? std::move(start) : StartFn(startDetached)) {}

void SystemShellOpener::open(const QString& program, const QString& parameter) {
    if (program.isEmpty())
        openTarget(parameter, {});
    else
        openTarget(program, QProcess::splitCommand(parameter));
}

void SystemShellOpener::openTarget(const QString& text, const QStringList& arguments) {
    const QString target = unquoted(text);
    const QFileInfo info(target);
    // A program without a path would be looked up on PATH only: a file found here goes by its
    // full path.
    const QString local = info.absoluteFilePath();
    switch (classifyOpenTarget(target)) {
    case OpenTarget::Executable:
        if (start_(info.isFile() ? local : target, arguments))
            return;
        // An execute bit alone does not make a program (every file on a FAT or NTFS mount has
        // one): what cannot run is opened as a document.
        if (info.isFile()) {
            openUrl(QUrl::fromLocalFile(local));
            return;
        }
        qCWarning(lcCore).noquote() << "Cannot start the program" << target;
        return;
    case OpenTarget::Folder:
    case OpenTarget::Document:
        openUrl(QUrl::fromLocalFile(local));
        return;
    case OpenTarget::Link:
        openUrl(hasUrlScheme(target) ? QUrl(target) : QUrl::fromUserInput(target));
        return;
    case OpenTarget::Missing:
        qCWarning(lcCore).noquote() << "Nothing to open: no program, file or address" << target;
        return;
    }
}

void SystemShellOpener::openUrl(const QUrl& url) {
    if (openUrl_)
        openUrl_(url);
    else
        qCWarning(lcCore).noquote() << "No desktop handler to open" << url.toString();
}

void launchProgram(const QString& program, const QString& parameter, ShellOpener& opener,
                   const FileExistsFn& fileExists) {
    const LaunchRequest request = planLaunch(program, parameter, fileExists);
    if (request.launch)
        opener.open(request.program, request.parameter);
    else if (!program.trimmed().isEmpty())
        qCWarning(lcCore).noquote() << "Not launched: the program" << program.trimmed()
                                    << "was not found";
}

} // namespace viro
