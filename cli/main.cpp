#include "cli/cli_support.h"
#include "cli/commands.h"

#include "core/version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>

#include <clocale>
#include <memory>

namespace viro::cli {

namespace {
std::map<QString, CommandInfo>& registry() {
    static std::map<QString, CommandInfo> commands;
    return commands;
}
} // namespace

CommandRegistration::CommandRegistration(const char* name, UsageFn usage, CommandFn run,
                                         bool needsGui) {
    registry()[QString::fromLatin1(name)] = CommandInfo{run, usage, needsGui};
}

const std::map<QString, CommandInfo>& registeredCommands() {
    return registry();
}

} // namespace viro::cli

namespace {

using viro::cli::fail;

QString usageText() {
    QString text = QStringLiteral("usage: viro-cli COMMAND [ARGUMENTS]\n"
                                  "       viro-cli --help | --version\n"
                                  "commands:\n");
    for (const auto& [name, info] : viro::cli::registeredCommands())
        for (const QString& line : info.usage().split('\n'))
            text += "  " + line + "\n";
    text += QStringLiteral(
        "\"viro-cli COMMAND --help\" lists the options of one command; \"--\" ends the options,\n"
        "so a TEXT that starts with \"-\" goes after it.\n"
        "exit status: 0 done, 1 the work failed (a file that cannot be read or written, no\n"
        "probe), 2 bad arguments.\n");
    return text;
}

// The command, so the right kind of application is made: the first argument that is no option
// of the tool itself.
QString commandName(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] != '-')
            return QString::fromLocal8Bit(argv[i]);
    return {};
}

int run(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
    // Everything after the command's name belongs to the command.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (unknown.isEmpty())
            return fail(parser.errorText());
        const QString dashes = unknown.first().size() == 1 ? "-" : "--";
        return fail("unknown option " + dashes + unknown.first() + " (try --help)");
    }
    if (parser.isSet(help)) {
        viro::cli::printOut(usageText());
        return 0;
    }
    if (parser.isSet(version)) {
        viro::cli::printOut(QStringLiteral("viro-cli " VIRO_VERSION "\n"));
        return 0;
    }
    QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return fail(QStringLiteral("missing command (try --help)"));
    const QString name = args.takeFirst();
    const auto& commands = viro::cli::registeredCommands();
    const auto found = commands.find(name);
    if (found == commands.end())
        return fail("unknown command " + name + " (try --help)");
    return found->second.run(args);
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
    QCoreApplication::setApplicationVersion(VIRO_VERSION);
    // The application took the user's locale; numbers read and written by the C library must
    // keep the '.' that scripts and JSON expect.
    std::setlocale(LC_NUMERIC, "C");
    // Every failure is reported on the tool's own line; the layers' messages would repeat it
    // or clutter what scripts read. QT_LOGGING_RULES still switches them on.
    QLoggingCategory::setFilterRules(QStringLiteral("viro.*=false"));

    const int status = run(QCoreApplication::arguments());
    QString error;
    if (!viro::cli::finishOutput(&error))
        return fail("cannot write the output: " + error, viro::cli::kFailure);
    return status;
}
