#include "core/launcher.h"

#include <QFileInfo>
#include <QProcess>

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

} // namespace

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

void SystemShellOpener::open(const QString& program, const QString& parameter) {
    if (program.isEmpty()) {
        if (openDocument_)
            openDocument_(unquoted(parameter));
        return;
    }
    QProcess::startDetached(unquoted(program), QProcess::splitCommand(parameter));
}

void launchProgram(const QString& program, const QString& parameter, ShellOpener& opener,
                   const FileExistsFn& fileExists) {
    const LaunchRequest request = planLaunch(program, parameter, fileExists);
    if (request.launch)
        opener.open(request.program, request.parameter);
}

} // namespace viro
