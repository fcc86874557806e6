#pragma once

#include <QStringList>

#include <map>

namespace viro::cli {

// Each command takes the arguments after its name and returns the process exit status.
using CommandFn = int (*)(const QStringList& args);

struct CommandInfo {
    CommandFn run = nullptr;
    QString usage;         // lines for --help, without the program name
    bool needsGui = false; // draws text or pictures: needs a QGuiApplication
};

// Commands register themselves from their own source file:
//   const CommandRegistration reg("analyze", "analyze --values ...", runAnalyze);
struct CommandRegistration {
    CommandRegistration(const char* name, const char* usage, CommandFn run, bool needsGui = false);
};

const std::map<QString, CommandInfo>& registeredCommands();

} // namespace viro::cli
