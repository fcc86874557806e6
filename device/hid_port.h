#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <vector>

namespace viro {

// A value copy of one HID device as the system lists it.
struct HidDeviceInfo {
    QString path; // how the system names the device; unique while it is plugged in
    quint16 vendorId = 0;
    quint16 productId = 0;
    QString serialNumber;
    QString product;
};

// The HID access the probe link needs: the device list with change notification, one held
// device, whole output reports out and input reports in. Everything is called from, and every
// signal arrives on, the thread the port lives in.
class HidPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The devices present at the latest look at the system.
    virtual std::vector<HidDeviceInfo> devices() = 0;
    // Takes the device for exclusive use (releasing one held before); false when it cannot be
    // opened or another program holds it.
    virtual bool open(const HidDeviceInfo& device) = 0;
    // Releases the held device.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The held device is still plugged in.
    virtual bool isPlugged() const = 0;
    // Output report length in bytes, report ID included; 0 when no device is held.
    virtual int outputReportLength() const = 0;
    // Writes one whole output report, blocking; false when it did not all go out.
    virtual bool write(const QByteArray& report) = 0;
    // Drops input reports of the held device not yet handed out.
    virtual void flush() = 0;
    // The held device's indexed string; empty when it cannot be read.
    virtual QString indexedString(int index) = 0;

signals:
    // The data bytes of one input report, without a report ID.
    void reportReceived(const QByteArray& data);
    // The list of devices changed, or the held device stopped answering.
    void devicesChanged();
};

} // namespace viro
