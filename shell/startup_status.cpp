#include "shell/startup_status.h"

#include "core/data_folder.h"
#include "core/user_prompts.h"
#include "device/probe_control.h"
#include "device/tick_clock.h"
#include "shell/log.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace viro {

namespace {

void paintLamp(QLabel* lamp, const char* colour) {
    lamp->setStyleSheet(
        QStringLiteral("background-color: %1; border-radius: 6px;").arg(QLatin1String(colour)));
    lamp->setProperty("lampColour", QString::fromLatin1(colour));
}

} // namespace

TZeStatu::TZeStatu(Services services, QWidget* parent)
    : QDialog(parent), services_(std::move(services)) {
    setWindowTitle(QStringLiteral("System Status Setup"));
    setObjectName(QStringLiteral("TZeStatu"));
    clock_ = services_.clock;
    if (!clock_) {
        ownClock_ = std::make_unique<SystemTickClock>();
        clock_ = ownClock_.get();
    }
    auto* form = new QFormLayout;
    Label1 = new QLabel(QStringLiteral("USB Status:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    StatusLamp = new QLabel(this);
    StatusLamp->setObjectName(QStringLiteral("StatusLamp"));
    StatusLamp->setFixedSize(12, 12);
    form->addRow(Label1, StatusLamp);
    SerialText = new QLabel(this);
    SerialText->setObjectName(QStringLiteral("SerialText"));
    form->addRow(QStringLiteral("Serial Num:"), SerialText);
    HardwareText = new QLabel(this);
    HardwareText->setObjectName(QStringLiteral("HardwareText"));
    form->addRow(QStringLiteral("Hardware Ver:"), HardwareText);
    auto* lamps = new QHBoxLayout;
    for (int i = 0; i < 7; ++i) {
        stepLamps_[i] = new QLabel(this);
        stepLamps_[i]->setObjectName(QStringLiteral("StepLamp%1").arg(i + 1));
        stepLamps_[i]->setFixedSize(12, 12);
        paintLamp(stepLamps_[i], "gray");
        lamps->addWidget(stepLamps_[i]);
    }
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(lamps);
    layout->addWidget(ProgressBar1);
    layout->addWidget(StatusBar1);
}

TZeStatu::~TZeStatu() = default;

void TZeStatu::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!activated_) {
        activated_ = true;
        QTimer::singleShot(0, this, &TZeStatu::activate);
    }
}

void TZeStatu::setLamp(int lamp, LampState state) {
    if (lamp < 1 || lamp > 7)
        return;
    paintLamp(stepLamps_[lamp - 1], state == LampState::Done ? "green"
                                    : state == LampState::On ? "yellow"
                                                             : "gray");
}

void TZeStatu::selfTest(const QString& hardware, const QString& serial) {
    ProbeControl* probe = services_.probe;
    const bool online = probe && probe->isOnline();
    const quint32 start = clock_->ticks();
    static const int passes[6] = {13, 26, 40, 53, 66, 80};
    bool group1 = false, group2 = false, group3 = false;
    for (;;) {
        const quint32 elapsed = ticksSince(start, clock_->ticks());
        if (elapsed >= 1500)
            break;
        const int percent = int(elapsed / 15);
        ProgressBar1->setValue(percent);
        if (percent >= 27 && percent <= 33) {
            HardwareText->setText(hardware);
            SerialText->setText(serial);
        }
        for (int i = 0; i < 6; ++i)
            if (percent > passes[i])
                paintLamp(stepLamps_[i + 1], "yellow");
        if (online) {
            if (percent < 34 && !group1) {
                group1 = true;
                for (const char* c : {"C007F", "F00FF", "A00FF"})
                    probe->sendCommand(QLatin1String(c));
            } else if (percent >= 34 && percent <= 66 && !group2) {
                group2 = true;
                for (const char* c : {"A0000", "B00FF"})
                    probe->sendCommand(QLatin1String(c));
            } else if (percent > 66 && !group3) {
                group3 = true;
                for (const char* c : {"B0000", "I00FF"})
                    probe->sendCommand(QLatin1String(c));
            }
        }
        waitTicks(*clock_, 10);
    }
    HardwareText->setText(hardware);
    SerialText->setText(serial);
    if (online)
        probe->sendCommand(QStringLiteral("X0000"));
}

void TZeStatu::activate() {
    ProbeControl* probe = services_.probe;
    SerialText->clear();
    HardwareText->clear();
    QString hardware, serial, message;
    if (probe && probe->isOnline()) {
        serial = probe->serialNumber();
        hardware = probe->hardwareVersion();
        if (hardware.isEmpty()) {
            hardware = QStringLiteral("USB Status Error!");
            message = QString::fromUtf8(kUsbErrorMessage);
        }
    } else {
        serial = hardware = QStringLiteral("None!");
        message = QString::fromLatin1(kNoProbeMessage);
    }
    const bool online = probe && probe->isOnline();
    paintLamp(StatusLamp, online ? "green" : "red");
    ProgressBar1->setValue(0);
    selfTest(hardware, serial);
    ProgressBar1->setValue(100);
    StatusBar1->showMessage(message.isEmpty() ? QStringLiteral("Done.") : message);

    DatabaseCheckView view;
    view.lamp = [this](int lamp, LampState s) { setLamp(lamp, s); };
    view.progress = [this](int value, int maximum) {
        ProgressBar1->setRange(0, maximum);
        ProgressBar1->setValue(value);
    };
    view.status = [this](const QString& t) { StatusBar1->showMessage(t); };
    view.label = [this](const QString& t) { Label1->setText(t); };
    view.message = [](int type, const QString& text) { messageBox(type, text); };
    DatabaseConnections fallback;
    DatabaseConnections& connections = services_.connections ? *services_.connections : fallback;
    const QDate today = services_.today.isValid() ? services_.today : QDate::currentDate();
    dbResult_ = runDatabaseCheck(services_.dataFolder, connections, view, today);
    failure_ = dbResult_.startupFailure;

    if (probe && probe->isOnline()) {
        const quint32 start = clock_->ticks();
        waitUntil(*clock_, 400, [&] {
            setWindowOpacity(1.0 - qMin<quint32>(ticksSince(start, clock_->ticks()), 400) / 400.0);
            return false;
        });
    }
    accept();
}

bool runStartupCheck(QWidget* parent, ProbeControl* probe, const QString& dataFolder,
                     DatabaseConnections& connections) {
    // A new data folder first receives what the installation carries. A file that could not be
    // copied is named to the user; the check then tells what start-up cannot do without it.
    QString error;
    if (!copyInstallationFiles(installationFolder(), dataFolder, &error)) {
        qCWarning(lcShell).noquote() << error;
        messageBox(kImportantOk, error);
    }
    TZeStatu::Services s;
    s.probe = probe;
    s.connections = &connections;
    s.dataFolder = dataFolder;
    TZeStatu window(s, parent);
    window.exec();
    return !window.startupFailure();
}

} // namespace viro
