#pragma once

#include <QString>

namespace viro {

// What the main window needs of the probe link: its on-line state, tones and single commands.
// The probe link of the device layer implements it; tests use a fake.
class ProbeControl {
public:
    virtual ~ProbeControl() = default;
    virtual bool isOnline() const = 0;
    // Plays one of the probe's sound effects (1 to 13).
    virtual void soundEffect(int effect) = 0;
    // Sends one command text; true when the probe answered.
    virtual bool sendCommand(const QString& command) = 0;
};

} // namespace viro
