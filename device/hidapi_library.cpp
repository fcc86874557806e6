#include "device/hid_api.h"

#include <hidapi.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cwchar>

namespace viro {

namespace {

QString fromWide(const wchar_t* text) {
    return text ? QString::fromWCharArray(text) : QString();
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

// The HID device of a hidraw node ("/dev/hidrawN") as the kernel shows it.
QString sysfsDevice(const QString& path) {
    return QStringLiteral("/sys/class/hidraw/%1/device").arg(QFileInfo(path).fileName());
}

// The report descriptor the kernel keeps for a hidraw node.
QByteArray reportDescriptor(const QString& path) {
    return readAll(sysfsDevice(path) + QStringLiteral("/report_descriptor"));
}

// The USB descriptors of the device behind a hidraw node, device descriptor first: two levels
// up from the HID device (its interface, then the USB device).
QByteArray usbDescriptors(const QString& path) {
    const QString device = QFileInfo(sysfsDevice(path)).canonicalFilePath();
    if (device.isEmpty())
        return QByteArray();
    return readAll(QDir::cleanPath(device + QStringLiteral("/../../descriptors")));
}

class HidapiDevice : public HidDeviceHandle {
public:
    HidapiDevice(hid_device* device, int lockFd, QString serial, int outputLength,
                 QByteArray usbDescriptor)
        : device_(device), lockFd_(lockFd), serial_(std::move(serial)), outputLength_(outputLength),
          usbDescriptor_(std::move(usbDescriptor)) {}
    ~HidapiDevice() override {
        hid_close(device_);
        if (lockFd_ >= 0)
            ::close(lockFd_); // drops the lock
    }
    HidapiDevice(const HidapiDevice&) = delete;
    HidapiDevice& operator=(const HidapiDevice&) = delete;

    int read(quint8* buffer, int size, int timeoutMs) override {
        return hid_read_timeout(device_, buffer, size_t(size), timeoutMs);
    }
    int write(const quint8* data, int size) override {
        return hid_write(device_, data, size_t(size));
    }
    QString indexedString(int index) override {
        wchar_t text[256] = {};
        if (hid_get_indexed_string(device_, index, text, 255) == 0)
            return fromWide(text);
        // The hidraw backend cannot read string descriptors by index, but the kernel passes
        // on the device's manufacturer, product and serial number strings; the device
        // descriptor tells which of them has the index.
        switch (usbStringWithIndex(usbDescriptor_, index)) {
        case UsbString::Manufacturer:
            return deviceString(hid_get_manufacturer_string);
        case UsbString::Product:
            return deviceString(hid_get_product_string);
        case UsbString::SerialNumber:
            return serial_;
        case UsbString::None:
            break;
        }
        // Unknown: the probe's string 3 is taken to be its serial number string.
        if (index == 3)
            return serial_;
        return QString();
    }
    int outputReportLength() override { return outputLength_; }

private:
    QString deviceString(int (*get)(hid_device*, wchar_t*, size_t)) {
        wchar_t text[256] = {};
        return get(device_, text, 255) == 0 ? fromWide(text) : QString();
    }

    hid_device* device_;
    int lockFd_;
    QString serial_;
    int outputLength_;
    QByteArray usbDescriptor_;
};

class Hidapi : public HidApi {
public:
    Hidapi() { initialised_ = hid_init() == 0; }
    ~Hidapi() override {
        if (initialised_)
            hid_exit();
    }
    Hidapi(const Hidapi&) = delete;
    Hidapi& operator=(const Hidapi&) = delete;

    std::vector<HidDeviceInfo> enumerate() override {
        std::vector<HidDeviceInfo> list;
        if (!initialised_)
            return list;
        hid_device_info* all = hid_enumerate(0, 0);
        for (const hid_device_info* d = all; d; d = d->next) {
            HidDeviceInfo info;
            info.path = QString::fromLocal8Bit(d->path);
            info.vendorId = d->vendor_id;
            info.productId = d->product_id;
            info.serialNumber = fromWide(d->serial_number);
            info.product = fromWide(d->product_string);
            list.push_back(info);
        }
        hid_free_enumeration(all);
        return list;
    }

    std::unique_ptr<HidDeviceHandle> open(const HidDeviceInfo& info) override {
        if (!initialised_)
            return nullptr;
        const QByteArray path = info.path.toLocal8Bit();
        // hidraw nodes can be opened many times; an advisory lock keeps a second program of
        // ours (the GUI and viro-cli) from talking to the same probe at once.
        const int lockFd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (lockFd >= 0 && ::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
            ::close(lockFd);
            return nullptr;
        }
        hid_device* device = hid_open_path(path.constData());
        if (!device) {
            if (lockFd >= 0)
                ::close(lockFd);
            return nullptr;
        }
        const int length = outputReportLengthFromDescriptor(reportDescriptor(info.path));
        return std::make_unique<HidapiDevice>(device, lockFd, info.serialNumber, length,
                                              usbDescriptors(info.path));
    }

private:
    bool initialised_ = false;
};

} // namespace

std::unique_ptr<HidApi> createHidapi() {
    return std::make_unique<Hidapi>();
}

} // namespace viro
