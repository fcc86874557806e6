#pragma once

#include "device/probe_protocol.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <deque>
#include <optional>
#include <random>
#include <set>
#include <vector>

namespace viro {

class TickClock;

// The probe's side of the protocol, for running the program without hardware: it takes the
// data bytes of one output report and answers with one reply, holds the registers, the
// indexed string 3 and the switch states, and reads a virtual patient. Tests script it; its
// defaults are those of `viro --simulate-probe`.
//
// Readings: a contact of c µA reads round(c x K / 200 x g) counts (at most 4095), where K is
// the probe's own constant for the potential (registers 0B-0C normal, 09-0A high) and
// g = 1 + 0.0015 x (gain trim - nominal trim) the trim of the input and potential in use
// (registers 0E / 0D for the hand probe at normal / high potential, 10 / 0F for the electrode
// channels; the nominal trim is 30 at the high and 29 at the normal potential, the registers'
// defaults). Skin conducts
// more at the high potential (x 1.25); the calibration clamp passes 200 µA at either. With the
// measuring input disconnected ("K0000", or after "X0000") every reading is 0.
class SimulatedProbe {
public:
    enum class Potential { Normal, High };
    enum class Input { None, HandProbe, Channel1, Channel2, Channel3, Channel4 };

    static constexpr int kPointCount = 24;
    static constexpr double kHighPotentialFactor = 1.25;
    static constexpr double kClampMicroamps = 200.0;
    static constexpr double kGainStep = 0.0015;

    explicit SimulatedProbe(TickClock& clock);

    // --- Wire side ---
    // The data bytes of one output report (without report ID) in, the reply's bytes out;
    // empty when the probe stays silent.
    QByteArray receive(const QByteArray& data);
    QString indexedString(int index) const;

    // --- Identity and registers ---
    void setHardwareString(const QString& text) { hardware_ = text; }
    void setSerialNumber(quint64 serial);          // 48 bits into registers 00-05
    void setUsageCounter(int counter);             // 24 bits into registers 06-08
    void setDeviceConstants(int normal, int high); // registers 0B-0C and 09-0A
    void setRegister(int reg, int value);
    int registerValue(int reg) const;
    static constexpr int kRegisterCount = 0x11;

    // --- Faults and replies on demand ---
    void rejectNext(int count) { rejectNext_ = count; } // "Z0000" to the next commands
    void setRejectAll(bool on) { rejectAll_ = on; }
    void setSilent(bool on) { silent_ = on; }       // no reply at all
    void setCpdmFault(bool on) { cpdmFault_ = on; } // "Z0001" to "D0000"
    void setUnreadableRegister(int reg, bool on);   // reads of it are rejected
    void setUnwritableRegister(int reg, bool on);   // writes to it are rejected
    // Replies sent in place of the computed ones, in order, each under the wire rule (shifted
    // when five characters or fewer and not an acknowledgement).
    void queueReply(const QByteArray& text) { scripted_.push_back(text); }

    // --- The virtual patient ---
    // Conductance of the 24 points in µA at the normal potential, in the order they are touched.
    void setPatient(const std::array<double, kPointCount>& microamps) { patient_ = microamps; }
    // Relative noise of every reading (0.01: ±1 per cent, uniform), from a seeded source.
    void setNoise(double relative, quint32 seed = 1);
    // Automatic contact: from the moment an input is connected the probe is off the skin for
    // `gapMs`, then on the next point for `holdMs`, and so on through the 24 points.
    void setContactCycle(quint32 gapMs, quint32 holdMs);
    void setAutoContact(bool on);
    // Manual contact, overriding the cycle until lift().
    void touch(double microamps);
    void touchPoint(int index); // 0 to 23
    void lift();
    // A fixed reading for every "D0000", whatever the contact.
    void setReadingOverride(std::optional<int> counts) { readingOverride_ = counts; }
    // Counts added in turn to the readings taken while the probe touches the skin, round and
    // round (a wobble of known spread); empty for none.
    void setReadingPattern(std::vector<int> offsets) {
        pattern_ = std::move(offsets);
        patternNext_ = 0;
    }

    // --- What the probe was told ---
    const QStringList& commands() const { return commands_; } // as received, shift undone
    // The tick at which each of commands() arrived.
    const std::vector<quint32>& commandTimes() const { return commandTimes_; }
    const QStringList& tones() const { return tones_; }
    void clearLog() {
        commands_.clear();
        commandTimes_.clear();
        tones_.clear();
    }
    Potential potential() const { return potential_; }
    Input input() const { return input_; }
    bool calibrationRouting() const { return calibrationRouting_; }
    bool electrodeRouting() const { return electrodeRouting_; }
    int lamp(char name) const; // 'F', 'C', 'A', 'B': 0, 0x7F or 0xFF
    int currentGain() const;
    // The reading "D0000" would give now, without noise.
    int noiselessReading() const;
    // Index of the point the cycle or touchPoint() is on, or -1 while off the skin.
    int contactPoint() const;

private:
    QByteArray answer(const QByteArray& command);
    double contactMicroamps() const;
    int reading(double noise) const;
    int gainRegister() const;
    void resetToRest();

    TickClock& clock_;
    std::array<quint8, kRegisterCount> registers_{};
    std::set<int> unreadable_;
    std::set<int> unwritable_;
    QString hardware_;
    int rejectNext_ = 0;
    bool rejectAll_ = false;
    bool silent_ = false;
    bool cpdmFault_ = false;
    std::deque<QByteArray> scripted_;
    std::array<double, kPointCount> patient_{};
    double noise_ = 0;
    std::minstd_rand random_{1};
    quint32 gapMs_ = 1500;
    quint32 holdMs_ = 5000;
    bool autoContact_ = true;
    std::optional<double> touched_;
    int touchedPoint_ = -1;
    std::optional<int> readingOverride_;
    std::vector<int> pattern_;
    size_t patternNext_ = 0;
    quint32 connectedAt_ = 0;
    Potential potential_ = Potential::Normal;
    Input input_ = Input::None;
    bool calibrationRouting_ = false;
    bool electrodeRouting_ = false;
    std::array<int, 4> lamps_{}; // F, C, A, B
    QStringList commands_;
    std::vector<quint32> commandTimes_;
    QStringList tones_;
};

// A probe as `viro --simulate-probe` has it: A02 hardware with its constants, a usage counter,
// the nominal gain trims, a virtual patient of typical values and 1 per cent noise.
void configureDefaultProbe(SimulatedProbe& probe);

} // namespace viro
