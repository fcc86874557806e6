#pragma once

#include "device/probe_control.h"
#include "device/probe_protocol.h"

#include <QObject>
#include <QString>

#include <array>
#include <optional>

namespace viro {

class HidPort;
class TickClock;

// The two calibration constants a measuring window works with.
struct CalibrationConstants {
    int normal = 0;
    int high = 0;
};

// The link to the probe: the held device, the on-line state, the last reply, the character
// shift, and the probe's identity and calibration constants. Lives on the user-interface
// thread; one command at a time, each waiting for its reply while events keep flowing.
class ProbeLink : public QObject, public ProbeControl {
    Q_OBJECT
public:
    static constexpr int kTries = 3;
    static constexpr quint32 kReplyWaitMs = 100;
    static constexpr quint32 kWriteRetryPauseMs = 100;
    static constexpr int kDefaultDeviceConstant = 4060;
    static constexpr std::array<int, 4> kDefaultGainTrims{30, 29, 30, 29}; // registers 0D-10
    static constexpr quint32 kCpdmBalloonMs = 10000;

    ProbeLink(HidPort& port, TickClock& clock, QObject* parent = nullptr);

    // ProbeControl
    bool isOnline() const override { return online_; }
    void soundEffect(int effect) override;
    // Shifts, pads and sends `command`, up to three tries; true when a reply other than
    // "Z0000" arrived. Sends nothing when no probe is held or another command is waiting.
    bool sendCommand(const QString& command) override;
    QString serialNumber() const override;
    QString hardwareVersion() const override { return hardware_; }
    int readUsageCounter() override;

    bool isHeld() const;
    // A command is waiting for its reply.
    bool busy() const { return busy_; }
    const QString& reply() const { return reply_; }
    bool replyReceived() const { return replyReceived_; }
    const probe::ShiftTable& shiftTable() const { return shift_; }

    // "D0000": the reading 0 to 4095; 0 when the reply holds no hex digits or no probe is held.
    int readValue();
    bool cpdmFault() const { return cpdmFault_; }

    // Characters 4 and 5 of the reply to "R" + register + "00"; empty when unreadable.
    QString readRegister(int reg);
    // "W" + register + value, both as two hex digits; values outside 0 to 255 are not sent.
    // True when the probe took the write.
    bool writeRegister(int reg, int value);
    // Registers `first` to `first + count - 1` joined, most significant first; empty when any
    // of them is unreadable.
    QString readRegisters(int first, int count);

    // Registers 06 to 08 as one number; nothing when unreadable.
    std::optional<int> usageCounter();
    // Adds one to the counter and writes it back; nothing is written, and nothing returned,
    // when the counter cannot be read (a lost reply must not reset it). Nothing is returned
    // either when a write is lost; the writes after it are then not sent.
    std::optional<int> incrementUsageCounter();
    // Registers 0D to 10, each its default when unreadable.
    std::array<int, 4> readGainTrims();

    bool isA02() const { return a02_; }
    int nrmConstant() const { return nrmConstant_; }
    int hiConstant() const { return hiConstant_; }
    // The probe's constants on A02 hardware, otherwise the two given from the settings.
    CalibrationConstants calibrationConstants(int settingsNormal, int settingsHigh) const;

public slots:
    // Every change of the device list: takes a probe when none is held and sets the link up,
    // or releases a held probe that was unplugged.
    void deviceChange();
    // One input report: stores its reply text and sets the reply-received flag.
    void reportReceived(const QByteArray& data);

signals:
    // The link was set up (on-line) or dropped (off-line).
    void attached();
    void detached();
    // "Z0001" to a reading: the hand probe circuit is out of function (true), or works again.
    void cpdmFaultChanged(bool fault);

private:
    bool claimProbe();
    void setUp();
    void release();

    HidPort& port_;
    TickClock& clock_;
    bool online_ = false;
    bool busy_ = false;
    bool replyReceived_ = false;
    QString reply_;
    probe::ShiftTable shift_ = probe::kNoShift;
    QString hardware_;
    QString serial_;
    bool a02_ = false;
    int nrmConstant_ = kDefaultDeviceConstant;
    int hiConstant_ = kDefaultDeviceConstant;
    bool cpdmFault_ = false;
    quint32 cpdmShownAt_ = 0;
    // Counts attaches and releases, so a set-up notices a release that ran inside its waits.
    quint64 generation_ = 0;
};

} // namespace viro
