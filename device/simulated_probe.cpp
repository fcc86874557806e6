#include "device/simulated_probe.h"

#include "device/tick_clock.h"

#include <cmath>

namespace viro {

namespace {

QByteArray hex(int value, int digits) {
    return QByteArray::number(value, 16).toUpper().rightJustified(digits, '0');
}

int lampIndex(char name) {
    switch (name) {
    case 'F':
        return 0;
    case 'C':
        return 1;
    case 'A':
        return 2;
    case 'B':
        return 3;
    default:
        return -1;
    }
}

} // namespace

SimulatedProbe::SimulatedProbe(TickClock& clock) : clock_(clock) {
    // Gain trims at their nominal values; the constants the A02 hardware carries.
    registers_[0x0D] = 30;
    registers_[0x0E] = 29;
    registers_[0x0F] = 30;
    registers_[0x10] = 29;
    setDeviceConstants(4060, 4060);
    patient_.fill(50.0);
}

void SimulatedProbe::setSerialNumber(quint64 serial) {
    for (int i = 0; i < 6; ++i)
        registers_[size_t(i)] = quint8(serial >> (8 * (5 - i)));
}

void SimulatedProbe::setUsageCounter(int counter) {
    registers_[0x06] = quint8(counter >> 16);
    registers_[0x07] = quint8(counter >> 8);
    registers_[0x08] = quint8(counter);
}

void SimulatedProbe::setDeviceConstants(int normal, int high) {
    registers_[0x0B] = quint8(normal >> 8);
    registers_[0x0C] = quint8(normal);
    registers_[0x09] = quint8(high >> 8);
    registers_[0x0A] = quint8(high);
}

void SimulatedProbe::setRegister(int reg, int value) {
    if (reg >= 0 && reg < kRegisterCount)
        registers_[size_t(reg)] = quint8(value);
}

int SimulatedProbe::registerValue(int reg) const {
    return reg >= 0 && reg < kRegisterCount ? registers_[size_t(reg)] : 0;
}

void SimulatedProbe::setUnreadableRegister(int reg, bool on) {
    if (on)
        unreadable_.insert(reg);
    else
        unreadable_.erase(reg);
}

void SimulatedProbe::setNoise(double relative, quint32 seed) {
    noise_ = relative;
    random_.seed(seed);
}

void SimulatedProbe::setContactCycle(quint32 gapMs, quint32 holdMs) {
    gapMs_ = gapMs;
    holdMs_ = qMax<quint32>(holdMs, 1);
    connectedAt_ = clock_.ticks();
}

void SimulatedProbe::setAutoContact(bool on) {
    autoContact_ = on;
    connectedAt_ = clock_.ticks();
}

void SimulatedProbe::touch(double microamps) {
    touched_ = microamps;
    touchedPoint_ = -1;
}

void SimulatedProbe::touchPoint(int index) {
    if (index < 0 || index >= kPointCount)
        return;
    touched_ = patient_[size_t(index)];
    touchedPoint_ = index;
}

void SimulatedProbe::lift() {
    touched_.reset();
    touchedPoint_ = -1;
}

int SimulatedProbe::lamp(char name) const {
    const int i = lampIndex(name);
    return i < 0 ? 0 : lamps_[size_t(i)];
}

QString SimulatedProbe::indexedString(int index) const {
    return index == 3 ? hardware_ : QString();
}

int SimulatedProbe::contactPoint() const {
    if (touched_)
        return touchedPoint_;
    if (!autoContact_ || input_ == Input::None)
        return -1;
    const quint32 t = ticksSince(connectedAt_, clock_.ticks());
    const quint32 period = gapMs_ + holdMs_;
    if (t % period < gapMs_)
        return -1;
    return int((t / period) % kPointCount);
}

double SimulatedProbe::contactMicroamps() const {
    if (touched_)
        return *touched_;
    const int point = contactPoint();
    if (point < 0)
        return 0;
    return calibrationRouting_ ? kClampMicroamps : patient_[size_t(point)];
}

int SimulatedProbe::gainRegister() const {
    const bool electrode = calibrationRouting_ ? electrodeRouting_ : input_ >= Input::Channel1;
    const bool high = potential_ == Potential::High;
    if (electrode)
        return high ? 0x0F : 0x10;
    return high ? 0x0D : 0x0E;
}

int SimulatedProbe::currentGain() const {
    return registers_[size_t(gainRegister())];
}

int SimulatedProbe::reading(double noise) const {
    if (readingOverride_)
        return *readingOverride_;
    if (input_ == Input::None)
        return 0;
    double microamps = contactMicroamps();
    const bool high = potential_ == Potential::High;
    if (high && !calibrationRouting_)
        microamps *= kHighPotentialFactor;
    const int constant =
        high ? registers_[0x09] << 8 | registers_[0x0A] : registers_[0x0B] << 8 | registers_[0x0C];
    const int nominal = high ? 30 : 29;
    const double gain = 1.0 + kGainStep * (currentGain() - nominal);
    const double counts = microamps * constant / 200.0 * gain * (1.0 + noise);
    return int(qBound(0.0, std::nearbyint(counts), 4095.0));
}

int SimulatedProbe::noiselessReading() const {
    return reading(0);
}

void SimulatedProbe::resetToRest() {
    input_ = Input::None;
    potential_ = Potential::Normal;
    calibrationRouting_ = false;
    electrodeRouting_ = false;
    lamps_.fill(0);
}

QByteArray SimulatedProbe::receive(const QByteArray& data) {
    // The program pads the report with spaces; the shift covers the first five characters.
    const QByteArray command = probe::shiftBack(probe::trimReply(data), probe::kShiftTable);
    commands_ << QString::fromLatin1(command);
    commandTimes_.push_back(clock_.ticks());
    if (silent_)
        return QByteArray();
    if (rejectAll_)
        return probe::kRejected;
    if (rejectNext_ > 0) {
        --rejectNext_;
        return probe::kRejected;
    }
    QByteArray reply = answer(command);
    if (!scripted_.empty()) {
        reply = scripted_.front();
        scripted_.pop_front();
    }
    return probe::encodeReply(reply, probe::kShiftTable);
}

QByteArray SimulatedProbe::answer(const QByteArray& command) {
    const std::optional<int> parsed =
        command.size() == 5 ? probe::parseHex(QString::fromLatin1(command.mid(1))) : std::nullopt;
    if (!parsed)
        return probe::kRejected;
    const int value = *parsed;
    const char letter = command[0];
    const int low = value & 0xFF;
    switch (letter) {
    case 'D': {
        if (cpdmFault_)
            return probe::kAcknowledged;
        const double noise =
            noise_ > 0 ? std::uniform_real_distribution<double>(-noise_, noise_)(random_) : 0;
        int counts = reading(noise);
        if (counts > 0 && !pattern_.empty()) {
            counts = qBound(0, counts + pattern_[patternNext_], 4095);
            patternNext_ = (patternNext_ + 1) % pattern_.size();
        }
        return "D0" + hex(counts, 3);
    }
    case 'R': {
        const int reg = value >> 8;
        if (low != 0 || reg >= kRegisterCount || unreadable_.count(reg))
            return probe::kRejected;
        return 'R' + hex(reg, 2) + hex(registers_[size_t(reg)], 2);
    }
    case 'W': {
        const int reg = value >> 8;
        // The identity and the device constants are set in the factory.
        if (reg < 0x06 || reg >= kRegisterCount || (reg >= 0x09 && reg <= 0x0C) ||
            unwritable_.count(reg))
            return probe::kRejected;
        registers_[size_t(reg)] = quint8(low);
        return probe::kAcknowledged;
    }
    case 'X':
        if (value != 0)
            return probe::kRejected;
        resetToRest();
        return probe::kAcknowledged;
    case 'L':
    case 'H':
        if (value != 0)
            return probe::kRejected;
        potential_ = letter == 'H' ? Potential::High : Potential::Normal;
        return probe::kAcknowledged;
    case 'K': {
        if (value > 5)
            return probe::kRejected;
        const Input before = input_;
        input_ = Input(value);
        if (input_ != Input::None && input_ != before)
            connectedAt_ = clock_.ticks();
        return probe::kAcknowledged;
    }
    case 'I':
        if (value != 0 && value != 0xFF)
            return probe::kRejected;
        return probe::kAcknowledged;
    case 'N':
        if (value != 0 && value != 0xFF)
            return probe::kRejected;
        calibrationRouting_ = true;
        electrodeRouting_ = value == 0xFF;
        return probe::kAcknowledged;
    case 'G':
        if (value > 0xFF)
            return probe::kRejected;
        // The probe keeps the trim of the routing and potential in use.
        registers_[size_t(gainRegister())] = quint8(low);
        return probe::kAcknowledged;
    case 'F':
    case 'C':
    case 'A':
    case 'B':
        if (value > 0xFF)
            return probe::kRejected;
        lamps_[size_t(lampIndex(letter))] = low;
        return probe::kAcknowledged;
    case 'S':
        tones_ << QString::fromLatin1(command);
        return probe::kAcknowledged;
    default:
        return probe::kRejected;
    }
}

void SimulatedProbe::setUnwritableRegister(int reg, bool on) {
    if (on)
        unwritable_.insert(reg);
    else
        unwritable_.erase(reg);
}

void configureDefaultProbe(SimulatedProbe& probe) {
    probe.setHardwareString(QString::fromLatin1(probe::kA02Hardware));
    probe.setSerialNumber(0x00A5C3170B42ULL);
    probe.setUsageCounter(1234);
    probe.setDeviceConstants(4052, 4071);
    // A typical adult: hands a little stronger than feet, some spread between the sides.
    probe.setPatient({48.2, 39.5, 35.1, 52.7, 44.0, 61.3, 45.9, 41.2, 30.4, 55.0, 47.8, 58.6,
                      33.3, 28.7, 41.9, 37.5, 26.4, 39.0, 35.6, 24.9, 44.2, 40.1, 29.8, 36.7});
    probe.setNoise(0.01, 7);
    probe.setContactCycle(1500, 5000);
}

} // namespace viro
