#pragma once

#include <QStringList>

#include <map>

namespace viro::cli {

// Each command takes the arguments after its name and returns the process exit status.
using CommandFn = int (*)(const QStringList& args);
// The synopsis lines of a command, without the program name. A function, as some are built
// from tables that must not be read while the program is still being loaded.
using UsageFn = QString (*)();

struct CommandInfo {
    CommandFn run = nullptr;
    UsageFn usage = nullptr;
    bool needsGui = false; // draws text or pictures: needs a QGuiApplication
};

// Commands register themselves from their own source file:
//   const CommandRegistration reg("analyze", analyzeUsage, runAnalyze);
struct CommandRegistration {
    CommandRegistration(const char* name, UsageFn usage, CommandFn run, bool needsGui = false);
};

const std::map<QString, CommandInfo>& registeredCommands();

} // namespace viro::cli
