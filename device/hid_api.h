#pragma once

#include "hid_port.h"

#include <QByteArray>

#include <memory>
#include <vector>

namespace viro {

// One opened HID device of the C library. Used on the port's I/O thread only.
class HidDeviceHandle {
public:
    virtual ~HidDeviceHandle() = default;
    // Reads one input report: its length, 0 when none came within `timeoutMs`, -1 on an error
    // (the device is gone).
    virtual int read(quint8* buffer, int size, int timeoutMs) = 0;
    // Writes one output report (report ID first): the bytes written, or -1.
    virtual int write(const quint8* data, int size) = 0;
    virtual QString indexedString(int index) = 0;
    // Output report length with the report ID; 0 when the device does not tell.
    virtual int outputReportLength() = 0;
};

// The C library behind a small interface, so tests feed short reads, write errors and
// unplugging to the port. Used on the port's I/O thread only.
class HidApi {
public:
    virtual ~HidApi() = default;
    virtual std::vector<HidDeviceInfo> enumerate() = 0;
    // Opens the device for exclusive use; null when that fails.
    virtual std::unique_ptr<HidDeviceHandle> open(const HidDeviceInfo& device) = 0;
};

// hidapi with its hidraw backend.
std::unique_ptr<HidApi> createHidapi();

// The longest output report a HID report descriptor declares, in bytes with the report ID
// byte (as the system counts it); 0 when it declares none or cannot be parsed.
int outputReportLengthFromDescriptor(const QByteArray& descriptor);

} // namespace viro
