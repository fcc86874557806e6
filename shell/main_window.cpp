#include "shell/main_window.h"

#include "core/builtin_texts.h"
#include "core/data_folder.h"
#include "core/settings_file.h"
#include "core/user_prompts.h"
#include "core/version.h"
#include "device/probe_control.h"
#include "device/probe_link.h"
#include "shell/about_box.h"
#include "shell/log.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QShowEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace viro {
namespace {

// Tray images: a probe tip, green while on-line, grey while off-line.
QIcon trayImage(bool online) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor fill = online ? QColor(40, 170, 60) : QColor(150, 150, 150);
    p.setPen(QPen(fill.darker(150), 2));
    p.setBrush(fill);
    p.drawEllipse(QRectF(4, 4, 24, 24));
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 9), QPointF(16, 19));
    if (online)
        p.drawPoint(QPointF(16, 24));
    else
        p.drawLine(QPointF(10, 22), QPointF(22, 22));
    return QIcon(pixmap);
}

// Documents, folders and links go to the desktop's default application.
void openWithDesktop(const QUrl& url) {
    if (!QDesktopServices::openUrl(url))
        qCWarning(lcShell).noquote() << "The desktop could not open" << url.toString();
}

// The settings folder, ending with a separator so file names can be appended.
QString folderOf(const TZeForm::Services& services) {
    QString folder = services.dataFolder.isEmpty() ? viro::dataFolder() : services.dataFolder;
    if (!folder.endsWith('/') && !folder.endsWith('\\'))
        folder += '/';
    return folder;
}

struct CommandRow {
    Command command;
    const char* button;   // tool button object name, or null
    const char* caption;  // tool button caption
    const char* hint;     // tool button hint
    bool needsProbe;
};

// Tool bar order; the separators follow DCS Calibrate and Import/Export.
const CommandRow kToolBarCommands[] = {
    {Command::Measure, "ToolButton1", "  Measure  ", "Meridians Energy Measurement", true},
    {Command::Compare, "ToolButton2", "  Compare  ", "Comparison of multiple meridian energy",
     false},
    {Command::Locate, "ToolButton3", "  Locate  ", "Find acupuncture points", true},
    {Command::Reference, "ToolButton4", "Reference",
     "Legend explanation of related data of Meridians", false},
    {Command::TherapySetup, "ToolButton5", "Therapy Setup", "Individual therapy setup system",
     false},
    {Command::Calibrate, "ToolButton7", "DCS Calibrate", "Instrument digital calibration system",
     true},
    {Command::Recall, "ToolButton19", "Data Recalll", "Recall or Process data from database",
     false},
    {Command::ImportExport, "ToolButton8", "Import/Export", "Data import and export", false},
};

bool commandNeedsProbe(Command command) {
    for (const CommandRow& row : kToolBarCommands)
        if (row.command == command)
            return row.needsProbe;
    return false;
}

} // namespace

TZeForm::TZeForm(Services services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)), dataFolder_(folderOf(services_)),
      settingsStore_(dataFolder_ + dataFileName(kSettingsFileName)) {
    setObjectName("TZeForm");
    if (!services_.opener) {
        desktopOpener_ = std::make_unique<SystemShellOpener>(openWithDesktop);
        services_.opener = desktopOpener_.get();
    }

    setWindowTitle(builtin::productName() + " Professional, " + builtin::productTitle());
    setWindowIcon(trayImage(true));

    buildMenus();
    buildToolBar();
    buildCentralArea();
    statusBar()->setObjectName("StatusBar1");
    // Permanent, so the hints that buttons and menus show as temporary messages (to its left)
    // never take its place.
    statusTitle_ = new QLabel(statusBar());
    statusTitle_->setObjectName("StatusTitleLabel");
    statusTitle_->setContentsMargins(4, 0, 4, 0);
    statusBar()->addPermanentWidget(statusTitle_);

    tray_ = new QSystemTrayIcon(this);
    tray_->setObjectName("RzTrayIcon1");
    updateTray(false);
    if (QSystemTrayIcon::isSystemTrayAvailable())
        tray_->show();

    // A fresh about box each time, reading the probe as it is then.
    setWindowFactory(Command::About, [this](TZeForm&) -> QDialog* {
        return new TAboutBox(
            services_.probe, [this] { launchProgram(QString(), builtin::webAddress()); }, this);
    });

    enableToolBar(false);
    setMenusVisible(false);
    state_.resetChartSelections();
    state_.patientSortColumn = 1;
    state_.startupPending = true;
    state_.clearCurrentPatient();
    state_.clearMeasurement();
    resize(1120, 640);
}

TZeForm::~TZeForm() = default;

bool TZeForm::initialise(QString* error) {
    if (loadSettings() == SettingsStore::LoadResult::Missing) {
        // First start: the defaults are written at once.
        settings_ = Settings::firstStartDefaults(QDate::currentDate());
        QString message;
        if (!ensureDataFolder(dataFolder_, &message) || !saveSettings(&message)) {
            qCWarning(lcShell).noquote() << "Cannot start:" << message;
            if (error)
                *error = message;
            return false;
        }
    }
    refreshStatusTitle();
    refreshFunctionButtons();
    return true;
}

SettingsStore::LoadResult TZeForm::loadSettings() {
    QString message;
    const SettingsStore::LoadResult result = settingsStore_.load(settings_, &message);
    if (result == SettingsStore::LoadResult::Unreadable)
        messageBox(kCautionOk,
                   message + ".\r\nThe program runs on its default settings and will not save "
                             "over the file, so settings changed now are not kept. Once the "
                             "file can be read again, restart the program.");
    return result;
}

bool TZeForm::saveSettings(QString* error) {
    return settingsStore_.save(settings_, error);
}

void TZeForm::buildMenus() {
    QMenuBar* bar = menuBar();
    struct MenuRow {
        Command command;
        const char* name;
        const char* caption;
        const char* hint;
    };
    const MenuRow before[] = {
        {Command::Measure, "gq1", "Measure", "Meridians Energy Measurement"},
        {Command::Compare, "N2", "Compare", "Comparison of multiple meridian energy"},
        {Command::Locate, "Dw1", "Locate", "Find acupuncture points"},
        {Command::Reference, "g1", "Reference",
         "Legend explanation of related data of Meridians"},
        {Command::Recall, "Recall1", "Recall", "Recall or Process data from database"},
    };
    for (const MenuRow& row : before) {
        QAction* action = addMenuAction(bar, row.name, row.caption, row.hint);
        connect(action, &QAction::triggered, this, [this, c = row.command] { runCommand(c); });
        if (row.command != Command::Recall)
            hiddenMenus_.push_back(action);
    }

    QMenu* system = bar->addMenu("System");
    system->setObjectName("System1");
    system->menuAction()->setObjectName("System1Action");
    hiddenMenus_.push_back(system->menuAction());
    const MenuRow systemRows[] = {
        {Command::TherapySetup, "w2", "Therapy setup", "Individual therapy setup system"},
        {Command::UserSetup, "w1", "User Setup", "User information setup"},
        {Command::Calibrate, "N1", "DCS Calibrate", "Instrument digital calibration system"},
    };
    for (const MenuRow& row : systemRows) {
        QAction* action = addMenuAction(system, row.name, row.caption, row.hint);
        connect(action, &QAction::triggered, this, [this, c = row.command] { runCommand(c); });
    }
    system->addSeparator();
    QAction* importExport =
        addMenuAction(system, "N5", "Import/Export", "File import and export");
    connect(importExport, &QAction::triggered, this,
            [this] { runCommand(Command::ImportExport); });
    system->addSeparator();
    QAction* quitAction = addMenuAction(system, "t1", "Quit", "Exit V.I.R.O. system");
    connect(quitAction, &QAction::triggered, this, &TZeForm::quit);

    QAction* about =
        addMenuAction(bar, "i1", "About", "About version information of V.I.R.O. 6");
    connect(about, &QAction::triggered, this, [this] { runCommand(Command::About); });
    hiddenMenus_.push_back(about);
}

QAction* TZeForm::addMenuAction(QWidget* menu, const char* name, const QString& caption,
                                const QString& hint) {
    auto* action = new QAction(caption, this);
    action->setObjectName(name);
    action->setToolTip(hint);
    action->setStatusTip(hint);
    menu->addAction(action);
    return action;
}

QToolButton* TZeForm::addToolButton(const char* name, const QString& caption,
                                    const QString& hint) {
    auto* button = new QToolButton(toolBar_);
    button->setObjectName(name);
    button->setText(caption);
    button->setToolTip(hint);
    button->setStatusTip(hint);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAutoRaise(true);
    toolBar_->addWidget(button);
    toolBarButtons_.push_back(button);
    return button;
}

void TZeForm::buildToolBar() {
    toolBar_ = addToolBar("ToolBar1");
    toolBar_->setObjectName("ToolBar1");
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    for (const CommandRow& row : kToolBarCommands) {
        if (row.command == Command::Recall)
            toolBar_->addSeparator();
        QToolButton* button = addToolButton(row.button, row.caption, row.hint);
        connect(button, &QToolButton::clicked, this, [this, c = row.command] { runCommand(c); });
        if (row.command == Command::ImportExport)
            toolBar_->addSeparator();
    }
    for (int n = 1; n <= 6; ++n) {
        const QString name = QStringLiteral("ToolButton%1").arg(10 + n);
        QToolButton* button =
            addToolButton(name.toLatin1().constData(), QStringLiteral("Fn%1").arg(n), QString());
        functionButtons_[n - 1] = button;
        connect(button, &QToolButton::clicked, this, [this, n] { pressFunctionButton(n); });
        if (n == 3)
            functionSeparators_[0] = toolBar_->addSeparator();
        if (n == 6)
            functionSeparators_[1] = toolBar_->addSeparator();
    }
    QToolButton* quitButton = addToolButton("ToolButton9", "    Quit    ", "Exit V.I.R.O. system");
    connect(quitButton, &QToolButton::clicked, this, &TZeForm::quit);
}

void TZeForm::buildCentralArea() {
    auto* central = new QWidget(this);
    central->setObjectName("Panel1");
    central->setAutoFillBackground(true);
    QPalette palette = central->palette();
    QLinearGradient gradient(0, 0, 0, 1);
    gradient.setCoordinateMode(QGradient::ObjectMode);
    gradient.setColorAt(0, QColor(232, 240, 250));
    gradient.setColorAt(1, QColor(190, 210, 235));
    palette.setBrush(QPalette::Window, gradient);
    central->setPalette(palette);

    auto* title = new QLabel(builtin::productName(), central);
    title->setObjectName("TitleLabel");
    QFont titleFont = title->font();
    titleFont.setPointSize(36);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);
    title->setStyleSheet("color: rgb(30, 60, 120);");

    auto* subtitle = new QLabel(builtin::productTitle(), central);
    subtitle->setObjectName("SubtitleLabel");
    QFont subtitleFont = subtitle->font();
    subtitleFont.setPointSize(14);
    subtitle->setFont(subtitleFont);
    subtitle->setAlignment(Qt::AlignCenter);

    versionLabel_ = new QLabel(versionLine(), central);
    versionLabel_->setObjectName("VersionLabel");
    versionLabel_->setAlignment(Qt::AlignCenter);

    webLabel_ = new QLabel(central);
    webLabel_->setObjectName("WebLabel");
    webLabel_->setAlignment(Qt::AlignCenter);
    webLabel_->setTextFormat(Qt::RichText);
    webLabel_->setText(QStringLiteral("<a href=\"web\">%1</a>").arg(webLinkText().toHtmlEscaped()));
    webLabel_->setCursor(Qt::PointingHandCursor);
    connect(webLabel_, &QLabel::linkActivated, this,
            [this] { launchProgram(QString(), builtin::webAddress()); });

    auto* layout = new QVBoxLayout(central);
    layout->addStretch(2);
    layout->addWidget(title);
    layout->addWidget(subtitle);
    layout->addStretch(3);
    layout->addWidget(versionLabel_);
    layout->addWidget(webLabel_);
    setCentralWidget(central);
}

QString TZeForm::versionLine() const {
    return builtin::productName() + " Professional Version " VIRO_VERSION;
}

QString TZeForm::webLinkText() const { return "URL: " + builtin::webAddress(); }

void TZeForm::enableToolBar(bool enabled) {
    for (QToolButton* button : toolBarButtons_)
        button->setEnabled(enabled);
}

void TZeForm::setMenusVisible(bool visible) {
    for (QAction* action : hiddenMenus_)
        action->setVisible(visible);
}

bool TZeForm::probeOnline() const { return services_.probe && services_.probe->isOnline(); }

void TZeForm::launchProgram(const QString& program, const QString& parameter) {
    viro::launchProgram(program, parameter, *services_.opener, services_.fileExists);
}

void TZeForm::setWindowFactory(Command command, WindowFactory factory) {
    factories_[command] = std::move(factory);
}

void TZeForm::runCommand(Command command) {
    if (commandNeedsProbe(command) && !probeOnline()) {
        messageBox(kImportantOk,
                   builtin::productName() + " is off-line! Please reconnect the device.");
        return;
    }
    if (command == Command::Recall)
        state_.recallFromMainWindow = true;
    const auto it = factories_.find(command);
    if (it == factories_.end() || !it->second) {
        messageBox(kInfoOk, "This function is not available in this version.");
        return;
    }
    enableToolBar(false);
    QDialog* window = it->second(*this);
    if (window) {
        window->setModal(true);
        window->exec();
        delete window;
    }
    enableToolBar(true);
    if (command == Command::UserSetup) {
        refreshFunctionButtons();
        refreshStatusTitle();
    }
}

void TZeForm::refreshStatusTitle() { statusTitle_->setText(settings_.windowTitle); }

void TZeForm::refreshFunctionButtons() {
    const QString& visibility = settings_.functionButtonVisibility;
    std::array<bool, 6> shown{};
    for (int n = 1; n <= 6; ++n) {
        QToolButton* button = functionButtons_[n - 1];
        // Only a "0" hides a button; the setup window always writes all six characters.
        const bool visible = visibility.mid(n - 1, 1) != QStringLiteral("0");
        shown[size_t(n - 1)] = visible;
        const QString& hint = settings_.functionHint[n - 1];
        button->setToolTip(hint);
        button->setStatusTip(hint);
        // A tool bar widget is hidden through its action.
        for (QAction* action : toolBar_->actions())
            if (toolBar_->widgetForAction(action) == button)
                action->setVisible(visible);
    }
    // No separator stands next to another or around an empty group.
    const bool first = shown[0] || shown[1] || shown[2];
    const bool second = shown[3] || shown[4] || shown[5];
    functionSeparators_[0]->setVisible(first && second);
    functionSeparators_[1]->setVisible(first || second);
}

void TZeForm::pressFunctionButton(int n) {
    if (n < 1 || n > 6)
        return;
    launchProgram(settings_.functionProgram[n - 1], settings_.functionParameter[n - 1]);
}

QString TZeForm::trayHint() const { return tray_->toolTip(); }

void TZeForm::updateTray(bool online) {
    trayOnline_ = online;
    tray_->setIcon(trayImage(online));
    tray_->setToolTip(builtin::makerName() + "\r\n" + builtin::productName() +
                      (online ? " is on-line." : " is off-line !!"));
}

void TZeForm::showBalloon(bool online) {
    const QString title = builtin::productName() + " Information";
    const QString text = builtin::productName() + (online ? " is on-line." : " is off-line.");
    tray_->showMessage(title, text,
                       online ? QSystemTrayIcon::Information : QSystemTrayIcon::Critical, 10000);
    emit balloonShown(title, text);
}

void TZeForm::attachProbeLink(ProbeLink& link) {
    services_.probe = &link;
    connect(&link, &ProbeLink::attached, this, &TZeForm::probeAttached);
    connect(&link, &ProbeLink::detached, this, &TZeForm::probeDetached);
    connect(&link, &ProbeLink::cpdmFaultChanged, this, &TZeForm::showCpdmBalloon);
    link.deviceChange();
    // A link that was on-line before it came here gets its tray image too.
    updateTray(link.isOnline());
}

QString TZeForm::cpdmBalloonText() {
    return QStringLiteral("C.P.D.M. out of function\uFF01Please check..");
}

void TZeForm::showCpdmBalloon(bool fault) {
    if (!fault) {
        emit cpdmBalloonHidden();
        return;
    }
    const QString title = builtin::productName() + " Information";
    const QString text = cpdmBalloonText();
    tray_->showMessage(title, text, QSystemTrayIcon::Critical, 10000);
    emit balloonShown(title, text);
}

void TZeForm::probeAttached() {
    updateTray(true);
    if (!state_.startupPending)
        showBalloon(true);
}

void TZeForm::probeDetached() {
    updateTray(false);
    showBalloon(false);
}

void TZeForm::runFirstActivation() {
    if (!state_.startupPending)
        return;
    state_.startupPending = false;
    const bool ok = services_.startupCheck ? services_.startupCheck(*this) : true;
    if (!ok) {
        qCWarning(lcShell) << "The start-up check failed; the program closes";
        closingAfterFailedStart_ = true;
        close();
        return;
    }
    startupDone_ = true;
    enableToolBar(true);
    setMenusVisible(true);
    // Two computers writing one file through a network folder can still damage it.
    if (connections_.main.isOpen() && connections_.main.onNetworkFolder())
        messageBox(kInfoOk, networkFolderNotice());
    if (services_.afterStartup)
        services_.afterStartup(*this);
}

void TZeForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // The status window is modal: run it once the activation itself has been handled.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && state_.startupPending)
        QTimer::singleShot(0, this, &TZeForm::runFirstActivation);
}

void TZeForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    refreshFunctionButtons();
    // Some desktops (no window manager, focus rules) never activate a new window; the start-up
    // check must run all the same. Whichever comes first runs it; the other finds it done.
    if (state_.startupPending && !event->spontaneous()) {
        activateWindow();
        QTimer::singleShot(0, this, &TZeForm::runFirstActivation);
    }
}

void TZeForm::quit() {
    enableToolBar(false);
    close();
}

void TZeForm::closeEvent(QCloseEvent* event) {
    if (!closingAfterFailedStart_ && probeOnline()) {
        services_.probe->soundEffect(2);
        if (!messageBox(kCautionYesNo,
                        "Are you sure you want to exit " + builtin::productName())) {
            // Before the status check has run the tool bar stays off.
            if (startupDone_)
                enableToolBar(true);
            event->ignore();
            return;
        }
        services_.probe->sendCommand(QStringLiteral("X0000"));
    }
    emit connectionsClosing();
    connections_.close();
    enableToolBar(false);
    tray_->hide();
    event->accept();
}

} // namespace viro
