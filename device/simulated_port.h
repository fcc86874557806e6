#pragma once

#include "device/hid_port.h"

#include <QTimer>

#include <deque>
#include <vector>

namespace viro {

class SimulatedProbe;
class TickClock;

// A HID port with simulated devices: probes answering through SimulatedProbe and, for tests,
// other devices that are listed but cannot be opened. Replies arrive as queued events, after
// `replyDelay` ticks, so they reach the program inside its waits as real reports do.
class SimulatedPort : public HidPort {
    Q_OBJECT
public:
    explicit SimulatedPort(TickClock& clock, QObject* parent = nullptr);

    // --- The simulated hardware ---
    // Lists a device; returns its path. A null probe is a device nothing can open.
    QString addDevice(SimulatedProbe* probe, quint16 vendorId, quint16 productId,
                      bool plugged = true);
    // Adds a probe with the probe's IDs.
    QString addProbe(SimulatedProbe& probe, bool plugged = true);
    // Plugging and unplugging change the list and notify, as the system does.
    void plug(const QString& path);
    void unplug(const QString& path);
    // Another program holds the device: opening it fails.
    void setClaimedElsewhere(const QString& path, bool claimed);

    void setOutputReportLength(int length) { reportLength_ = length; }
    void setReplyDelay(quint32 ticks) { replyDelay_ = ticks; }
    // The next `count` writes fail.
    void failWrites(int count) { failWrites_ = count; }
    // Input report length the probe pads its replies to with zero bytes.
    void setInputReportLength(int length) { inputLength_ = length; }

    // --- What went over the wire ---
    const std::vector<QByteArray>& writtenReports() const { return written_; }
    int writeAttempts() const { return writeAttempts_; }
    int flushCount() const { return flushes_; }
    void clearLog();
    // The probe behind the held device, or null.
    SimulatedProbe* heldProbe() const;

    // --- HidPort ---
    std::vector<HidDeviceInfo> devices() override;
    bool open(const HidDeviceInfo& device) override;
    void close() override;
    bool isOpen() const override { return held_ >= 0; }
    bool isPlugged() const override;
    int outputReportLength() const override { return isOpen() ? reportLength_ : 0; }
    bool write(const QByteArray& report) override;
    void flush() override;
    QString indexedString(int index) override;

private:
    struct Device {
        HidDeviceInfo info;
        SimulatedProbe* probe = nullptr;
        bool plugged = true;
        bool claimedElsewhere = false;
    };
    struct Pending {
        QByteArray data;
        quint32 sent = 0;
    };
    int find(const QString& path) const;
    void notifyChange();
    void deliverDue();
    void scheduleDelivery();

    TickClock& clock_;
    std::vector<Device> devices_;
    int held_ = -1;
    int reportLength_ = 65;
    int inputLength_ = 64;
    quint32 replyDelay_ = 0;
    int failWrites_ = 0;
    std::vector<QByteArray> written_;
    int writeAttempts_ = 0;
    int flushes_ = 0;
    std::deque<Pending> pending_;
    QTimer delivery_;
    quint64 flushGeneration_ = 0;
};

} // namespace viro
