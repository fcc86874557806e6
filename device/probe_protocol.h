#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <QStringView>

#include <array>
#include <optional>

// The wire format spoken with the probe: shifted text commands in output reports, shifted text
// replies in input reports. Used by the probe link and by the simulated probe alike.
namespace viro::probe {

inline constexpr quint16 kVendorId = 0x6B1E;
inline constexpr quint16 kProductId = 0x2D47;

// Command characters after the report ID, at most.
inline constexpr int kMaxCommandBytes = 64;
// Report length taken when a device does not tell its own: report ID plus 64 bytes.
inline constexpr int kDefaultReportLength = 1 + kMaxCommandBytes;

// Indexed string 3 of the probes that carry their calibration constants and gain trims.
inline constexpr const char* kA02Hardware = "VIRO6-20051706-A02";

// The two acknowledgements; they always travel unshifted.
inline constexpr const char* kRejected = "Z0000";
inline constexpr const char* kAcknowledged = "Z0001";

// Per-position shift d(1)..d(5) of the first five characters of commands and replies.
using ShiftTable = std::array<quint8, 5>;

// The table both sides use. It is fixed in the probe's firmware and here, so nothing about it
// travels over the link: the link set-up simply loads it. The values are small so that shifted
// letters and digits stay printable and never fall to 0x20 or below, where the reply trimming
// would eat them; d(2) is not 0, so no shifted reply (second character "0" or "1") can ever
// read "Z0000" or "Z0001".
inline constexpr ShiftTable kShiftTable{0x05, 0x0B, 0x03, 0x09, 0x07};
// No shift: the table of a link that holds no probe.
inline constexpr ShiftTable kNoShift{0, 0, 0, 0, 0};

// Adds d(i) (mod 256) to each of the first five bytes.
QByteArray shiftForward(QByteArray text, const ShiftTable& shift);
// Subtracts d(i) (mod 256) from each of the first five bytes.
QByteArray shiftBack(QByteArray text, const ShiftTable& shift);

// Removes leading and trailing spaces and control characters (bytes up to 0x20).
QByteArray trimReply(const QByteArray& data);

// True for "Z0000" and "Z0001".
bool isAcknowledgement(const QByteArray& text);

// The output report of one command: report ID 0, the command's characters with the first five
// shifted, then spaces up to `reportLength` bytes. Characters beyond 64, or beyond the report,
// are left out. Empty when `reportLength` has no room for the report ID.
QByteArray buildOutputReport(const QString& command, const ShiftTable& shift, int reportLength);

// The reply text of one input report's data bytes: trimmed; shifted back when it has at most
// five characters and is not an acknowledgement; taken as it is from six characters on.
QString decodeReply(const QByteArray& data, const ShiftTable& shift);

// The reply a probe sends for `text`: shifted forward under the same rule.
QByteArray encodeReply(const QByteArray& text, const ShiftTable& shift);

// The value of one to seven hex digits of either case; nothing for anything else (a sign, "0x",
// spaces or an empty text).
std::optional<int> parseHex(QStringView digits);

// Two upper-case hex digits, left-padded with "0".
QString hex2(int value);

// The tone commands of sound effect 1 to 13; empty for any other number.
QStringList soundEffectCommands(int effect);

} // namespace viro::probe
