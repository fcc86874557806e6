#pragma once

#include "analysis/measurement_record.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace viro {

// How a point's readings are stored in ZeRaw.Trace, the same on every platform and database:
//   byte 0       format version, 1
//   bytes 1-4    number of readings n, unsigned 32-bit little-endian
//   6 bytes each n readings: milliseconds since the point's start (unsigned 32-bit) and counts
//                (unsigned 16-bit), both little-endian
//   last 2 bytes CRC-16/X.25 (qChecksum, ISO 3309) of all bytes before it, little-endian
// 7 + 6n bytes in all; an empty trace is 7 bytes.
inline constexpr quint8 kTraceFormatVersion = 1;
inline constexpr qsizetype kTraceHeaderBytes = 5;
inline constexpr qsizetype kTraceSampleBytes = 6;
inline constexpr qsizetype kTraceChecksumBytes = 2;

QByteArray packTrace(const PointTrace& trace);
// The readings of a blob packTrace made; nothing, with the reason in `error`, when the blob is
// of another version, has the wrong length for its count or fails its checksum.
std::optional<PointTrace> unpackTrace(QByteArrayView blob, QString* error = nullptr);

} // namespace viro
