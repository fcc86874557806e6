#include "core/data_folder.h"
#include "core/log.h"
#include "core/user_prompts.h"
#include "core/version.h"
#include "device/hidapi_port.h"
#include "device/probe_link.h"
#include "device/simulated_port.h"
#include "device/simulated_probe.h"
#include "device/tick_clock.h"
#include "shell/main_window.h"
#include "shell/measure_commands.h"
#include "shell/record_commands.h"
#include "shell/message_box.h"
#include "shell/startup_status.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

const char* const kUsage = "usage: viro [--simulate-probe]\n"
                           "       viro --help | --version\n"
                           "The V.I.R.O. meridian energy program.\n"
                           "\n"
                           "options:\n"
                           "  --simulate-probe  use a simulated probe instead of the USB probe\n"
                           "  -h, --help        print this help and exit\n"
                           "  -v, --version     print the version and exit\n"
                           "The toolkit's own options (-platform, -style, ...) are accepted too.\n";

// --help and --version are answered before the application exists: they need no window and
// no display. The other options are left to the toolkit and to the program.
std::optional<int> answerInformationOptions(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    // Read "-reverse" (a toolkit option) as one word, not as -r -e -v ... with a -v in it.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
    parser.parse(args); // unknown options belong to the toolkit
    const char* text = parser.isSet(help)      ? kUsage
                       : parser.isSet(version) ? "viro " VIRO_VERSION "\n"
                                               : nullptr;
    if (!text)
        return std::nullopt;
    const bool written = std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0;
    if (!written)
        std::fputs("viro: cannot write the output\n", stderr);
    return written ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> status = answerInformationOptions(argc, argv))
        return *status;
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tarvel Ze-Professional");
    QApplication::setApplicationDisplayName("Tarvel Ze-Professional");
    QApplication::setOrganizationName("Tarvel");
    // Closing the main window ends the program even while the tray icon is shown.
    QApplication::setQuitOnLastWindowClosed(true);
    viro::useMessageBoxPrompts();
    // The log goes into the data folder once it exists; creating it fails again, and is shown,
    // in the main window's start.
    std::optional<viro::LogFile> log;
    if (viro::ensureDataFolder(viro::dataFolder(), nullptr))
        log.emplace(viro::dataFolder());

    // With --simulate-probe a simulated probe is plugged in from the start; otherwise the real
    // HID port looks for the probe and follows its plugging.
    const bool simulate = QApplication::arguments().contains(QStringLiteral("--simulate-probe"));
    viro::SystemTickClock clock;
    viro::SimulatedProbe simulatedProbe(clock);
    std::unique_ptr<viro::HidPort> port;
    if (simulate) {
        viro::configureDefaultProbe(simulatedProbe);
        auto simulated = std::make_unique<viro::SimulatedPort>(clock);
        // Answers after a millisecond, as the USB probe does.
        simulated->setReplyDelay(1);
        simulated->addProbe(simulatedProbe);
        port = std::move(simulated);
    } else {
        auto hid = std::make_unique<viro::HidapiPort>();
        hid->start();
        port = std::move(hid);
    }
    viro::ProbeLink link(*port, clock);

    viro::TZeForm::Services services;
    services.startupCheck = [](viro::TZeForm& f) {
        return viro::runStartupCheck(&f, f.probe(), f.dataFolder(), f.connections());
    };
    std::unique_ptr<viro::MeasureCommands> measure;
    services.afterStartup = [&measure](viro::TZeForm&) { measure->offerInterruptedRun(); };
    viro::TZeForm form(services);
    form.attachProbeLink(link);
    viro::MeasurementJournal journal(viro::MeasurementJournal::pathIn(form.dataFolder()));
    viro::RecordCommands records(form, journal);
    measure = std::make_unique<viro::MeasureCommands>(form, link, clock, journal, records);
    QString error;
    if (!form.initialise(&error)) {
        viro::messageBox(viro::kImportantOk, error);
        return 1;
    }
    form.show();
    return app.exec();
}
