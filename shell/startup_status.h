#pragma once

#include "records/database_check.h"

#include <QDate>
#include <QDialog>

#include <array>

class QLabel;
class QProgressBar;
class QStatusBar;

namespace viro {

class ProbeControl;
class TickClock;

// "System Status Setup": shown once at the main window's first activation. Shows the probe,
// runs the indicator self-test, then the database check; the result says whether start-up
// failed.
class TZeStatu : public QDialog {
    Q_OBJECT

public:
    struct Services {
        ProbeControl* probe = nullptr;              // not owned; null: no probe link
        TickClock* clock = nullptr;                 // not owned; null: the system clock
        DatabaseConnections* connections = nullptr; // not owned; opened by the check
        QString dataFolder;                         // with its trailing separator
        QDate today;                                // invalid: the current date
    };

    explicit TZeStatu(Services services, QWidget* parent = nullptr);
    ~TZeStatu() override;

    bool startupFailure() const { return failure_; }
    const DatabaseCheckResult& databaseResult() const { return dbResult_; }

    // Runs every step and closes the window; done by the first show.
    void activate();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void setLamp(int lamp, LampState state);
    void selfTest(const QString& hardware, const QString& serial);

    Services services_;
    std::unique_ptr<TickClock> ownClock_;
    TickClock* clock_ = nullptr;
    bool activated_ = false;
    bool failure_ = false;
    DatabaseCheckResult dbResult_;

    QLabel* Label1 = nullptr; // "USB Status:" / "DBT Prog:"
    QLabel* SerialText = nullptr;
    QLabel* HardwareText = nullptr;
    QLabel* StatusLamp = nullptr;
    std::array<QLabel*, 7> stepLamps_{};
    QProgressBar* ProgressBar1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
};

// What the main window's first activation runs: copies missing installation files into the
// data folder, shows TZeStatu modally and opens `connections` (held by the main window, closed
// on its connectionsClosing). False is a start-up failure.
bool runStartupCheck(QWidget* parent, ProbeControl* probe, const QString& dataFolder,
                     DatabaseConnections& connections);

inline constexpr const char* kUsbErrorMessage =
    "USB connection error\xEF\xBC\x81Please check your USB interface cable.";
inline constexpr const char* kNoProbeMessage =
    "Cannot find V.I.R.O. Please check your USB interface cable and power status.";

} // namespace viro
