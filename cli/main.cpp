#include "cli/cli_support.h"
#include "cli/commands.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <memory>

namespace viro::cli {

namespace {
std::map<QString, CommandInfo>& registry() {
    static std::map<QString, CommandInfo> commands;
    return commands;
}
} // namespace

CommandRegistration::CommandRegistration(const char* name, const char* usage, CommandFn run,
                                         bool needsGui) {
    registry()[QString::fromLatin1(name)] = CommandInfo{run, QString::fromUtf8(usage), needsGui};
}

const std::map<QString, CommandInfo>& registeredCommands() {
    return registry();
}

} // namespace viro::cli

namespace {

QString usageText() {
    QString text = "usage: viro-cli COMMAND [ARGUMENTS]\ncommands:\n";
    for (const auto& [name, info] : viro::cli::registeredCommands())
        for (const QString& line : info.usage.split('\n'))
            text += "  " + line + "\n";
    return text;
}

// The first argument that is not an option of the program itself.
QString commandName(int argc, char** argv) {
    return argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
}

} // namespace

int main(int argc, char** argv) {
    const auto& commands = viro::cli::registeredCommands();
    const auto found = commands.find(commandName(argc, argv));
    const bool gui = found != commands.end() && found->second.needsGui;
    // Drawing needs a GUI application but never a display.
    if (gui && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app;
    if (gui)
        app = std::make_unique<QGuiApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName("viro-cli");

    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args.first() == "--help" || args.first() == "-h") {
        viro::cli::printOut(usageText());
        return args.isEmpty() ? viro::cli::kUsageError : 0;
    }
    const QString name = args.takeFirst();
    if (found == commands.end())
        return viro::cli::fail("unknown command " + name + " (try --help)");
    return found->second.run(args);
}
