#include "hid_api.h"

#include <hidapi.h>

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

// The report descriptor the kernel keeps for a hidraw node ("/dev/hidrawN").
QByteArray reportDescriptor(const QString& path) {
    const QString node = QFileInfo(path).fileName();
    QFile file(QStringLiteral("/sys/class/hidraw/%1/device/report_descriptor").arg(node));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

class HidapiDevice : public HidDeviceHandle {
public:
    HidapiDevice(hid_device* device, int lockFd, QString serial, int outputLength)
        : device_(device), lockFd_(lockFd), serial_(std::move(serial)),
          outputLength_(outputLength) {}
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
        // The hidraw backend cannot read string descriptors by index. The probe's string 3 is
        // its USB serial number string, which the kernel does pass on.
        if (index == 3)
            return serial_;
        return QString();
    }
    int outputReportLength() override { return outputLength_; }

private:
    hid_device* device_;
    int lockFd_;
    QString serial_;
    int outputLength_;
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
        return std::make_unique<HidapiDevice>(device, lockFd, info.serialNumber, length);
    }

private:
    bool initialised_ = false;
};

} // namespace

std::unique_ptr<HidApi> createHidapi() {
    return std::make_unique<Hidapi>();
}

} // namespace viro
