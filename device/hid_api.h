#pragma once

#include "device/hid_port.h"

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

// Report lengths above this are no real device's (a broken or hostile descriptor): they count
// as not told.
inline constexpr int kMaxHidReportLength = 16384;

// The longest output report a HID report descriptor declares, in bytes with the report ID
// byte (as the system counts it); 0 when it declares none, cannot be parsed or declares more
// than kMaxHidReportLength bytes.
int outputReportLengthFromDescriptor(const QByteArray& descriptor);

// The USB device's own strings a string index can name.
enum class UsbString { None, Manufacturer, Product, SerialNumber };

// Which of them carries string index `index`, going by a USB device descriptor (its bytes 14,
// 15 and 16 hold the manufacturer, product and serial number string indices); None when the
// descriptor is not a device descriptor or no string has that index.
UsbString usbStringWithIndex(const QByteArray& deviceDescriptor, int index);

} // namespace viro
