#include "device/simulated_port.h"

#include "device/probe_protocol.h"
#include "device/simulated_probe.h"
#include "device/tick_clock.h"

namespace viro {

SimulatedPort::SimulatedPort(TickClock& clock, QObject* parent) : HidPort(parent), clock_(clock) {
    // Delayed replies are handed out by a timer. On the wall clock it fires when the next reply
    // is due, so a wait sleeps meanwhile; on a virtual clock, whose time only moves inside the
    // waits, it is a zero timer that looks at every turn of their event processing.
    delivery_.setSingleShot(true);
    delivery_.setTimerType(Qt::PreciseTimer);
    connect(&delivery_, &QTimer::timeout, this, &SimulatedPort::deliverDue);
}

QString SimulatedPort::addDevice(SimulatedProbe* probe, quint16 vendorId, quint16 productId,
                                 bool plugged) {
    Device device;
    device.info.path = QStringLiteral("sim:%1").arg(devices_.size());
    device.info.vendorId = vendorId;
    device.info.productId = productId;
    device.info.product = probe ? QStringLiteral("Simulated probe") : QStringLiteral("Device");
    device.probe = probe;
    device.plugged = plugged;
    devices_.push_back(device);
    return device.info.path;
}

QString SimulatedPort::addProbe(SimulatedProbe& probe, bool plugged) {
    return addDevice(&probe, probe::kVendorId, probe::kProductId, plugged);
}

int SimulatedPort::find(const QString& path) const {
    for (size_t i = 0; i < devices_.size(); ++i)
        if (devices_[i].info.path == path)
            return int(i);
    return -1;
}

void SimulatedPort::notifyChange() {
    QMetaObject::invokeMethod(
        this, [this] { emit devicesChanged(); }, Qt::QueuedConnection);
}

void SimulatedPort::plug(const QString& path) {
    const int i = find(path);
    if (i < 0 || devices_[size_t(i)].plugged)
        return;
    devices_[size_t(i)].plugged = true;
    notifyChange();
}

void SimulatedPort::unplug(const QString& path) {
    const int i = find(path);
    if (i < 0 || !devices_[size_t(i)].plugged)
        return;
    devices_[size_t(i)].plugged = false;
    if (i == held_) {
        pending_.clear();
        ++flushGeneration_;
    }
    notifyChange();
}

void SimulatedPort::setClaimedElsewhere(const QString& path, bool claimed) {
    const int i = find(path);
    if (i >= 0)
        devices_[size_t(i)].claimedElsewhere = claimed;
}

void SimulatedPort::clearLog() {
    written_.clear();
    writeAttempts_ = 0;
    flushes_ = 0;
}

SimulatedProbe* SimulatedPort::heldProbe() const {
    return held_ >= 0 ? devices_[size_t(held_)].probe : nullptr;
}

std::vector<HidDeviceInfo> SimulatedPort::devices() {
    std::vector<HidDeviceInfo> list;
    for (const Device& device : devices_)
        if (device.plugged)
            list.push_back(device.info);
    return list;
}

bool SimulatedPort::open(const HidDeviceInfo& info) {
    close();
    const int i = find(info.path);
    if (i < 0)
        return false;
    const Device& device = devices_[size_t(i)];
    if (!device.plugged || !device.probe || device.claimedElsewhere)
        return false;
    held_ = i;
    return true;
}

void SimulatedPort::close() {
    held_ = -1;
    pending_.clear();
    ++flushGeneration_;
}

bool SimulatedPort::isPlugged() const {
    return held_ >= 0 && devices_[size_t(held_)].plugged;
}

bool SimulatedPort::write(const QByteArray& report) {
    ++writeAttempts_;
    if (!isPlugged())
        return false;
    if (failWrites_ > 0) {
        --failWrites_;
        return false;
    }
    if (report.size() != reportLength_ || report.isEmpty() || report[0] != 0)
        return false;
    written_.push_back(report);
    QByteArray reply = devices_[size_t(held_)].probe->receive(report.mid(1));
    if (reply.isEmpty())
        return true;
    if (reply.size() < inputLength_)
        reply.append(QByteArray(inputLength_ - reply.size(), '\0'));
    if (replyDelay_ == 0) {
        const quint64 generation = flushGeneration_;
        QMetaObject::invokeMethod(
            this,
            [this, reply, generation] {
                if (generation == flushGeneration_)
                    emit reportReceived(reply);
            },
            Qt::QueuedConnection);
    } else {
        pending_.push_back({reply, clock_.ticks()});
        scheduleDelivery();
    }
    return true;
}

void SimulatedPort::scheduleDelivery() {
    if (pending_.empty()) {
        delivery_.stop();
        return;
    }
    int wait = 0;
    if (clock_.followsWallClock()) {
        const quint32 waited = ticksSince(pending_.front().sent, clock_.ticks());
        wait = waited >= replyDelay_ ? 0 : int(replyDelay_ - waited);
    }
    delivery_.start(wait);
}

void SimulatedPort::deliverDue() {
    const quint32 now = clock_.ticks();
    // Due when the delay has passed, counted modulo the tick range.
    while (!pending_.empty() && ticksSince(pending_.front().sent, now) >= replyDelay_) {
        const QByteArray data = pending_.front().data;
        pending_.pop_front();
        emit reportReceived(data);
    }
    scheduleDelivery();
}

void SimulatedPort::flush() {
    ++flushes_;
    ++flushGeneration_;
    pending_.clear();
}

QString SimulatedPort::indexedString(int index) {
    SimulatedProbe* probe = heldProbe();
    return probe ? probe->indexedString(index) : QString();
}

} // namespace viro
