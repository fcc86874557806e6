#pragma once

#include <QString>

namespace viro {

// What the windows need of the probe link: its on-line state, tones, single commands and the
// probe's identity. The probe link of the device layer implements it; tests use fakes.
class ProbeControl {
public:
    virtual ~ProbeControl() = default;
    virtual bool isOnline() const = 0;
    // Plays one of the probe's sound effects (1 to 13).
    virtual void soundEffect(int effect) = 0;
    // Sends one command text; true when the probe answered.
    virtual bool sendCommand(const QString& command) = 0;

    // The identity of the held probe. The defaults describe a link without a probe, so a fake
    // that only needs the three functions above can leave them.
    // Serial number as 12 hex digits, "None!" without a probe.
    virtual QString serialNumber() const { return QStringLiteral("None!"); }
    // The probe's indexed string 3 as read, empty without a probe.
    virtual QString hardwareVersion() const { return QString(); }
    // The usage counter, read from the probe without incrementing; 0 when unreadable.
    virtual int readUsageCounter() { return 0; }
};

} // namespace viro
