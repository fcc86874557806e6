#pragma once

#include <QString>

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

// Starts programs detached; documents and web addresses go to a caller-supplied function (the
// desktop's default handler lives in QtGui, above this layer).
class SystemShellOpener : public ShellOpener {
public:
    using OpenDocumentFn = std::function<void(const QString&)>;
    explicit SystemShellOpener(OpenDocumentFn openDocument)
        : openDocument_(std::move(openDocument)) {}
    void open(const QString& program, const QString& parameter) override;

private:
    OpenDocumentFn openDocument_;
};

// The launcher used by the function buttons, protocol links and the about box. Failures of the
// shell are not reported.
void launchProgram(const QString& program, const QString& parameter, ShellOpener& opener,
                   const FileExistsFn& fileExists = {});

} // namespace viro
