#include "device/probe_link.h"

#include "device/hid_port.h"
#include "device/log.h"
#include "device/tick_clock.h"

namespace viro {

namespace {

// Clears a flag when the scope ends, however it ends.
class BusyScope {
public:
    explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& flag_;
};

} // namespace

ProbeLink::ProbeLink(HidPort& port, TickClock& clock, QObject* parent)
    : QObject(parent), port_(port), clock_(clock) {
    connect(&port_, &HidPort::devicesChanged, this, &ProbeLink::deviceChange);
    connect(&port_, &HidPort::reportReceived, this, &ProbeLink::reportReceived);
}

bool ProbeLink::isHeld() const {
    return port_.isOpen();
}

QString ProbeLink::serialNumber() const {
    return online_ ? serial_ : QStringLiteral("None!");
}

bool ProbeLink::sendCommand(const QString& command) {
    // The reply text and flag are single values: a handler running inside another command's
    // wait must not start a second exchange.
    if (busy_ || !isHeld())
        return false;
    BusyScope scope(busy_);
    replyReceived_ = false;
    reply_.clear();
    const QByteArray report = probe::buildOutputReport(command, shift_, port_.outputReportLength());
    // A late reply to an earlier command that gave up must not pass for this one's.
    port_.flush();
    for (int attempt = 0; attempt < kTries && isHeld(); ++attempt) {
        if (!port_.write(report)) {
            port_.flush();
            waitTicks(clock_, kWriteRetryPauseMs);
            continue;
        }
        // A rejection is cleared as it comes and the try runs out its time, so a probe that
        // keeps rejecting is asked three times over about 300 ms, not hammered.
        const bool answered = waitUntil(clock_, kReplyWaitMs, [this] {
            if (replyReceived_ && reply_ == QLatin1String(probe::kRejected)) {
                replyReceived_ = false;
                reply_.clear();
            }
            return replyReceived_;
        });
        if (answered)
            break;
    }
    if (!replyReceived_ && isHeld())
        qCWarning(lcDevice).noquote() << "No reply from the probe to" << command << "after"
                                      << kTries << "tries";
    return replyReceived_;
}

void ProbeLink::reportReceived(const QByteArray& data) {
    reply_ = probe::decodeReply(data, shift_);
    replyReceived_ = true;
}

void ProbeLink::soundEffect(int effect) {
    for (const QString& command : probe::soundEffectCommands(effect))
        sendCommand(command);
}

int ProbeLink::readValue() {
    // Without a probe the reply would be a stale one: it is no reading.
    if (busy_ || !isHeld())
        return 0;
    sendCommand(QStringLiteral("D0000"));
    if (reply_ == QLatin1String(probe::kAcknowledged)) {
        // The balloon stays up for its 10 seconds; it is shown again only when the fault
        // outlasts it, not at every reading.
        const quint32 now = clock_.ticks();
        if (!cpdmFault_ || ticksSince(cpdmShownAt_, now) >= kCpdmBalloonMs) {
            cpdmFault_ = true;
            cpdmShownAt_ = now;
            emit cpdmFaultChanged(true);
        }
    } else if (cpdmFault_) {
        cpdmFault_ = false;
        emit cpdmFaultChanged(false);
    }
    return probe::parseHex(QStringView(reply_).mid(2, 3).trimmed()).value_or(0);
}

QString ProbeLink::readRegister(int reg) {
    if (reg < 0 || reg > 0xFF)
        return QString();
    if (!sendCommand(QLatin1Char('R') + probe::hex2(reg) + QStringLiteral("00")))
        return QString();
    // An acknowledgement carries no register value.
    if (reply_ == QLatin1String(probe::kAcknowledged))
        return QString();
    const QString digits = reply_.mid(3, 2);
    return digits.size() == 2 && probe::parseHex(digits) ? digits.toUpper() : QString();
}

bool ProbeLink::writeRegister(int reg, int value) {
    if (reg < 0 || reg > 0xFF || value < 0 || value > 0xFF)
        return false;
    return sendCommand(QLatin1Char('W') + probe::hex2(reg) + probe::hex2(value));
}

QString ProbeLink::readRegisters(int first, int count) {
    QString digits;
    for (int reg = first; reg < first + count; ++reg) {
        const QString part = readRegister(reg);
        // A missing byte would shift the others: the whole value counts as unreadable.
        if (part.isEmpty())
            return QString();
        digits += part;
    }
    return digits;
}

std::optional<int> ProbeLink::usageCounter() {
    return probe::parseHex(readRegisters(0x06, 3));
}

int ProbeLink::readUsageCounter() {
    return usageCounter().value_or(0);
}

std::optional<int> ProbeLink::incrementUsageCounter() {
    const std::optional<int> counter = usageCounter();
    if (!counter)
        return std::nullopt;
    // 24 bits: the counter stops at its top rather than wrapping to 0.
    const int next = qMin(*counter + 1, 0xFFFFFF);
    // Most significant first, stopping at a lost write: the registers after it keep their old
    // digits, so a lost write can leave the counter too high but never lower than it was.
    for (int i = 0; i < 3; ++i)
        if (!writeRegister(0x06 + i, (next >> (16 - 8 * i)) & 0xFF))
            return std::nullopt;
    return next;
}

std::array<int, 4> ProbeLink::readGainTrims() {
    std::array<int, 4> gains = kDefaultGainTrims;
    for (int i = 0; i < 4; ++i) {
        if (const std::optional<int> gain = probe::parseHex(readRegister(0x0D + i)))
            gains[size_t(i)] = *gain;
    }
    return gains;
}

CalibrationConstants ProbeLink::calibrationConstants(int settingsNormal, int settingsHigh) const {
    if (a02_)
        return {nrmConstant_, hiConstant_};
    return {settingsNormal, settingsHigh};
}

bool ProbeLink::claimProbe() {
    for (const HidDeviceInfo& device : port_.devices()) {
        if (device.vendorId != probe::kVendorId || device.productId != probe::kProductId)
            continue;
        if (port_.open(device))
            return true;
        qCWarning(lcDevice).noquote() << "A probe is plugged in but cannot be opened:"
                                      << device.path;
    }
    return false;
}

void ProbeLink::deviceChange() {
    if (!isHeld()) {
        if (claimProbe())
            setUp();
    } else if (!port_.isPlugged()) {
        release();
    }
}

void ProbeLink::setUp() {
    const quint64 generation = ++generation_;
    shift_ = probe::kShiftTable;
    online_ = true;
    emit attached();
    // Each step below waits for replies; an unplug handled meanwhile ends the set-up.
    auto released = [this, generation] { return generation != generation_; };
    if (released())
        return;
    hardware_ = port_.indexedString(3);
    a02_ = hardware_.trimmed() == QLatin1String(probe::kA02Hardware);
    serial_ = readRegisters(0x00, 6);
    if (released())
        return;
    if (serial_.isEmpty())
        qCWarning(lcDevice) << "The probe's serial number could not be read";
    qCInfo(lcDevice).noquote() << "Probe attached:" << hardware_.trimmed() << serial_;
    if (a02_) {
        const QString nrm = readRegisters(0x0B, 2);
        const QString hi = readRegisters(0x09, 2);
        if (released())
            return;
        nrmConstant_ = probe::parseHex(nrm).value_or(kDefaultDeviceConstant);
        hiConstant_ = probe::parseHex(hi).value_or(kDefaultDeviceConstant);
        if (nrm.isEmpty() || hi.isEmpty())
            qCWarning(lcDevice) << "The probe's device constants could not be read; using"
                                << kDefaultDeviceConstant;
    } else {
        nrmConstant_ = kDefaultDeviceConstant;
        hiConstant_ = kDefaultDeviceConstant;
    }
}

void ProbeLink::release() {
    if (online_)
        qCInfo(lcDevice) << "Probe detached";
    ++generation_;
    port_.flush();
    port_.close();
    shift_ = probe::kNoShift;
    hardware_.clear();
    serial_.clear();
    a02_ = false;
    nrmConstant_ = kDefaultDeviceConstant;
    hiConstant_ = kDefaultDeviceConstant;
    const bool hadFault = cpdmFault_;
    cpdmFault_ = false;
    replyReceived_ = false;
    online_ = false;
    if (hadFault)
        emit cpdmFaultChanged(false);
    emit detached();
}

} // namespace viro
