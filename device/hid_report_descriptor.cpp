#include "hid_api.h"

#include <map>
#include <vector>

namespace viro {

int outputReportLengthFromDescriptor(const QByteArray& descriptor) {
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
        case 0x90: // Output (main)
            outputBits[globals.reportId] += quint64(globals.reportSize) * globals.reportCount;
            break;
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
    if (longest == 0)
        return 0;
    return int(1 + (longest + 7) / 8);
}

} // namespace viro
