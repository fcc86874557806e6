#include "device/probe_protocol.h"

#include <algorithm>

namespace viro::probe {

namespace {

QByteArray applyShift(QByteArray text, const ShiftTable& shift, int sign) {
    const int n = qMin<int>(text.size(), int(shift.size()));
    for (int i = 0; i < n; ++i)
        text[i] = char(quint8(quint8(text[i]) + sign * shift[size_t(i)]));
    return text;
}

bool shiftedOnTheWire(const QByteArray& text) {
    return text.size() <= 5 && !isAcknowledgement(text);
}

} // namespace

QByteArray shiftForward(QByteArray text, const ShiftTable& shift) {
    return applyShift(std::move(text), shift, +1);
}

QByteArray shiftBack(QByteArray text, const ShiftTable& shift) {
    return applyShift(std::move(text), shift, -1);
}

QByteArray trimReply(const QByteArray& data) {
    qsizetype first = 0;
    qsizetype last = data.size();
    while (first < last && quint8(data[first]) <= 0x20)
        ++first;
    while (last > first && quint8(data[last - 1]) <= 0x20)
        --last;
    return data.mid(first, last - first);
}

bool isAcknowledgement(const QByteArray& text) {
    return text == kRejected || text == kAcknowledged;
}

QByteArray buildOutputReport(const QString& command, const ShiftTable& shift, int reportLength) {
    if (reportLength < 1)
        return QByteArray();
    QByteArray report(reportLength, ' ');
    report[0] = 0;
    const QByteArray text = shiftForward(command.toLatin1(), shift);
    const qsizetype n =
        std::min({text.size(), qsizetype(kMaxCommandBytes), qsizetype(reportLength - 1)});
    for (qsizetype i = 0; i < n; ++i)
        report[i + 1] = text[i];
    return report;
}

QString decodeReply(const QByteArray& data, const ShiftTable& shift) {
    QByteArray text = trimReply(data);
    if (shiftedOnTheWire(text))
        text = shiftBack(std::move(text), shift);
    return QString::fromLatin1(text);
}

QByteArray encodeReply(const QByteArray& text, const ShiftTable& shift) {
    return shiftedOnTheWire(text) ? shiftForward(text, shift) : text;
}

std::optional<int> parseHex(QStringView digits) {
    // Seven digits still fit an int.
    if (digits.isEmpty() || digits.size() > 7)
        return std::nullopt;
    int value = 0;
    for (const QChar c : digits) {
        const char16_t u = c.unicode();
        int digit = 0;
        if (u >= '0' && u <= '9')
            digit = u - '0';
        else if (u >= 'A' && u <= 'F')
            digit = u - 'A' + 10;
        else if (u >= 'a' && u <= 'f')
            digit = u - 'a' + 10;
        else
            return std::nullopt;
        value = value * 16 + digit;
    }
    return value;
}

QString hex2(int value) {
    return QStringLiteral("%1").arg(value & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

QStringList soundEffectCommands(int effect) {
    static const char* const table[13][2] = {
        {"S8863", nullptr}, {"S885E", "S8862"}, {"S5662", "S8960"}, {"SB660", nullptr},
        {"S6862", nullptr}, {"S6864", "S4F62"}, {"SD05D", nullptr}, {"SA060", nullptr},
        {"SD05D", nullptr}, {"SAB5D", nullptr}, {"S905D", nullptr}, {"S685D", nullptr},
        {"SC040", nullptr},
    };
    QStringList commands;
    if (effect < 1 || effect > 13)
        return commands;
    for (const char* command : table[effect - 1])
        if (command)
            commands << QString::fromLatin1(command);
    return commands;
}

} // namespace viro::probe
