#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace viro {

// What the launcher decided to open.
struct LaunchRequest {
    bool launch = false; // false: the program was found under no drive letter
    QString program;     // trimmed; empty means "open the parameter itself"
    QString parameter;   // trimmed
};

using FileExistsFn = std::function<bool(const QString&)>;

// Resolves a function button's program and parameter. A Windows-style path ("D:\x.exe", possibly
// quoted) whose file is missing is retried with drive letters C to Q; a program found under none
// is not launched, a parameter found under none is passed on unchanged.
LaunchRequest planLaunch(const QString& program, const QString& parameter,
                         const FileExistsFn& fileExists);

// Hands the resolved request to the desktop: opens the program with its parameters, or the
// parameter (document or web address) with its default handler.
class ShellOpener {
public:
    virtual ~ShellOpener() = default;
    virtual void open(const QString& program, const QString& parameter) = 0;
};

// What the desktop's "open" does with a text.
enum class OpenTarget {
    Executable, // an existing file with execute permission, or a command found on PATH
    Folder,     // an existing folder
    Document,   // an existing file that is not executable
    Link,       // a web address or another URL with a scheme (http:, mailto:, file:, ...)
    Missing,    // none of these
};

// Classifies `text` (quotes around it removed) as the desktop's "open" would. A single letter
// before the colon is a Windows drive, not a URL scheme; "www." opens as a web address.
OpenTarget classifyOpenTarget(const QString& text);

// Opens what the launcher resolved as the Windows shell's "open" does: an executable is started
// with the parameter as its arguments; a document, folder or URL goes to the desktop's default
// application (the parameter is then not used). With no program the parameter itself is
// opened the same way. Missing targets are logged and dropped.
class SystemShellOpener : public ShellOpener {
public:
    // The desktop's default application lives in QtGui, above this layer: the caller hands it in.
    using OpenUrlFn = std::function<void(const QUrl&)>;
    // Starts a program detached; false when it could not be started. Empty uses QProcess.
    using StartFn = std::function<bool(const QString& program, const QStringList& arguments)>;

    explicit SystemShellOpener(OpenUrlFn openUrl, StartFn start = {});
    void open(const QString& program, const QString& parameter) override;

private:
    void openTarget(const QString& target, const QStringList& arguments);
    void openUrl(const QUrl& url);

    OpenUrlFn openUrl_;
    StartFn start_;
};

// The launcher used by the function buttons, protocol links and the about box. Failures of the
// shell are not reported.
void launchProgram(const QString& program, const QString& parameter, ShellOpener& opener,
                   const FileExistsFn& fileExists = {});

} // namespace viro
