#pragma once

#include "core/application_state.h"
#include "core/launcher.h"
#include "core/settings.h"
#include "core/settings_file.h"
#include "records/database_check.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <map>

class QAction;
class QDialog;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QToolBar;
class QToolButton;

namespace viro {

class ProbeControl;
class ProbeLink;

// The commands of the main window that open a function window.
enum class Command {
    Measure,
    Compare,
    Locate,
    Reference,
    TherapySetup,
    Calibrate,
    Recall,
    ImportExport,
    UserSetup,
    About,
};

// The program's main window: owns the settings, the application-wide state and the tray icon,
// opens every function window modally from its menus and tool bar.
class TZeForm : public QMainWindow {
    Q_OBJECT
public:
    // What the window works with; tests hand in fakes.
    struct Services {
        ProbeControl* probe = nullptr;       // not owned; null means no probe link
        ShellOpener* opener = nullptr;       // not owned; null uses the desktop
        FileExistsFn fileExists;             // empty uses the file system
        QString dataFolder;                  // empty uses dataFolder()
        // The start-up status check of the first activation; false ends the program.
        std::function<bool(TZeForm&)> startupCheck;
        // Runs once the start-up check has passed and the commands are enabled.
        std::function<void(TZeForm&)> afterStartup;
    };

    // Creates a function window for a command; the main window shows it modally and deletes it.
    using WindowFactory = std::function<QDialog*(TZeForm&)>;

    explicit TZeForm(Services services, QWidget* parent = nullptr);
    ~TZeForm() override;

    // Reads the settings file, or writes the first-start defaults when there is none.
    // False (with the error's message) when the settings file cannot be written. A file that is
    // there but cannot be read is reported; the window then runs on the read-back defaults and
    // never saves over it.
    bool initialise(QString* error);

    Settings& settings() { return settings_; }
    const Settings& settings() const { return settings_; }
    ApplicationState& state() { return state_; }
    // The database connections every window reads and writes through; opened by the start-up
    // check, closed when the window closes.
    DatabaseConnections& connections() { return connections_; }
    ProbeControl* probe() const { return services_.probe; }
    const QString& dataFolder() const { return dataFolder_; }
    QString settingsPath() const { return settingsStore_.path(); }

    // Shared operations offered to the function windows.
    void enableToolBar(bool enabled);
    // Reads the settings file into settings(); an unreadable file is reported to the user.
    SettingsStore::LoadResult loadSettings();
    // The one way windows save settings; refused while the file could not be read at start.
    bool saveSettings(QString* error = nullptr);
    void launchProgram(const QString& program, const QString& parameter);
    bool probeOnline() const;

    void setWindowFactory(Command command, WindowFactory factory);
    // Runs a command: probe check where needed, tool bar off, window shown modally, tool bar on.
    void runCommand(Command command);

    // Function buttons follow settings lines 27 and 34 to 39.
    void refreshFunctionButtons();
    // The status bar's title follows settings line 8. It is a permanent part of the status bar:
    // the hints of buttons and menus show beside it, never in its place.
    void refreshStatusTitle();
    void pressFunctionButton(int n);

    // Takes `link` (not owned) as the window's probe: its attach, detach and C.P.D.M. fault
    // reach the tray icon from now on, and a probe already plugged in is attached at once
    // (while start-up is pending, without a balloon).
    void attachProbeLink(ProbeLink& link);

    // Effects of the probe link on the window (tray image, hint, balloon).
    void probeAttached();
    void probeDetached();
    // The C.P.D.M. fault balloon is shown (true) or taken back (false).
    void showCpdmBalloon(bool fault);
    static QString cpdmBalloonText();

    bool startupPending() const { return state_.startupPending; }
    // Runs the first-activation step now (the activation event calls it once).
    void runFirstActivation();

    QSystemTrayIcon* trayIcon() const { return tray_; }
    // The tray shows the on-line image (else the off-line one).
    bool trayShowsOnline() const { return trayOnline_; }
    QString trayHint() const;
    QString versionLine() const;
    QString webLinkText() const;

signals:
    // The database connections close here when the window closes.
    void connectionsClosing();
    // Every balloon of the tray icon, also where the desktop has no tray to show it.
    void balloonShown(const QString& title, const QString& text);
    // The C.P.D.M. fault is over. A tray balloon cannot be taken down early on every desktop;
    // it ends after its 10 seconds.
    void cpdmBalloonHidden();

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildToolBar();
    void buildCentralArea();
    QToolButton* addToolButton(const char* name, const QString& caption, const QString& hint);
    QAction* addMenuAction(QWidget* menu, const char* name, const QString& caption,
                           const QString& hint);
    void wireCommand(QToolButton* button, QAction* action, Command command);
    void setMenusVisible(bool visible);
    void showBalloon(bool online);
    void updateTray(bool online);
    void quit();

    Services services_;
    QString dataFolder_;
    SettingsStore settingsStore_;
    Settings settings_;
    ApplicationState state_;
    DatabaseConnections connections_;
    std::map<Command, WindowFactory> factories_;

    QToolBar* toolBar_ = nullptr;
    std::vector<QToolButton*> toolBarButtons_; // the buttons enable/disable covers
    std::array<QToolButton*, 6> functionButtons_{};
    std::array<QAction*, 2> functionSeparators_{}; // after Fn3 and after Fn6
    std::vector<QAction*> hiddenMenus_;
    QLabel* versionLabel_ = nullptr;
    QLabel* webLabel_ = nullptr;
    QLabel* statusTitle_ = nullptr;
    QSystemTrayIcon* tray_ = nullptr;
    std::unique_ptr<ShellOpener> desktopOpener_;
    bool trayOnline_ = false;
    bool closingAfterFailedStart_ = false;
    bool startupDone_ = false;
};

} // namespace viro
