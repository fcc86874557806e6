#include "core/data_folder.h"
#include "core/log.h"
#include "core/user_prompts.h"
#include "device/hidapi_port.h"
#include "device/probe_link.h"
#include "device/simulated_port.h"
#include "device/simulated_probe.h"
#include "device/tick_clock.h"
#include "shell/main_window.h"
#include "shell/message_box.h"
#include "shell/startup_status.h"

#include <QApplication>

#include <memory>
#include <optional>

int main(int argc, char** argv) {
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
    viro::TZeForm form(services);
    form.attachProbeLink(link);
    QString error;
    if (!form.initialise(&error)) {
        viro::messageBox(viro::kImportantOk, error);
        return 1;
    }
    form.show();
    return app.exec();
}
