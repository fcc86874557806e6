#include "device/hid_api.h"

#include <map>
#include <vector>

namespace viro {

int outputReportLengthFromDescriptor(const QByteArray& descriptor) {
    constexpr quint64 kCapBits = quint64(kMaxHidReportLength + 1) * 8;
    struct Globals {
        quint32 reportSize = 0;
        quint32 reportCount = 0;
        quint32 reportId = 0;
    };
    Globals globals;
    std::vector<Globals> stack;
    std::map<quint32, quint64> outputBits; // per report ID
    const auto* bytes = reinterpret_cast<const quint8*>(descriptor.constData());
    const qsizetype n = descriptor.size();
    qsizetype i = 0;
    while (i < n) {
        const quint8 prefix = bytes[i];
        if (prefix == 0xFE) { // long item: size, tag, data
            if (i + 2 >= n)
                return 0;
            i += 3 + bytes[i + 1];
            continue;
        }
        static constexpr int kSizes[4] = {0, 1, 2, 4};
        const int size = kSizes[prefix & 0x03];
        if (i + 1 + size > n)
            return 0;
        quint32 data = 0;
        for (int b = 0; b < size; ++b)
            data |= quint32(bytes[i + 1 + b]) << (8 * b);
        const quint8 item = prefix & 0xFC; // tag and type
        switch (item) {
        case 0x90: { // Output (main)
            // Saturated just past the bound, so huge sizes and counts cannot wrap around.
            quint64& bits = outputBits[globals.reportId];
            const quint64 added = quint64(globals.reportSize) * globals.reportCount;
            bits = qMin(bits + qMin(added, kCapBits), kCapBits);
            break;
        }
        case 0x74: // Report Size (global)
            globals.reportSize = data;
            break;
        case 0x94: // Report Count (global)
            globals.reportCount = data;
            break;
        case 0x84: // Report ID (global)
            globals.reportId = data;
            break;
        case 0xA4: // Push
            stack.push_back(globals);
            break;
        case 0xB4: // Pop
            if (stack.empty())
                return 0;
            globals = stack.back();
            stack.pop_back();
            break;
        default:
            break;
        }
        i += 1 + size;
    }
    quint64 longest = 0;
    for (const auto& [id, bits] : outputBits)
        longest = qMax(longest, bits);
    const quint64 length = 1 + (longest + 7) / 8;
    if (longest == 0 || length > quint64(kMaxHidReportLength))
        return 0;
    return int(length);
}

UsbString usbStringWithIndex(const QByteArray& deviceDescriptor, int index) {
    // bLength 18, bDescriptorType 1 (device).
    if (deviceDescriptor.size() < 18 || quint8(deviceDescriptor[0]) != 18 ||
        quint8(deviceDescriptor[1]) != 1)
        return UsbString::None;
    // Index 0 means "no string".
    if (index <= 0 || index > 0xFF)
        return UsbString::None;
    if (quint8(deviceDescriptor[14]) == index)
        return UsbString::Manufacturer;
    if (quint8(deviceDescriptor[15]) == index)
        return UsbString::Product;
    if (quint8(deviceDescriptor[16]) == index)
        return UsbString::SerialNumber;
    return UsbString::None;
}

} // namespace viro
