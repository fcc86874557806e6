#include "records/raw_trace.h"

#include <QtEndian>

namespace viro {

namespace {

quint16 checksumOf(QByteArrayView bytes) {
    return qChecksum(bytes, Qt::ChecksumIso3309);
}

std::optional<PointTrace> refuse(QString* error, const QString& reason) {
    if (error)
        *error = reason;
    return std::nullopt;
}

} // namespace

QByteArray packTrace(const PointTrace& trace) {
    const qsizetype n = static_cast<qsizetype>(trace.size());
    QByteArray blob(kTraceHeaderBytes + n * kTraceSampleBytes + kTraceChecksumBytes, '\0');
    uchar* out = reinterpret_cast<uchar*>(blob.data());
    out[0] = kTraceFormatVersion;
    qToLittleEndian<quint32>(static_cast<quint32>(n), out + 1);
    uchar* at = out + kTraceHeaderBytes;
    for (const TraceSample& s : trace) {
        qToLittleEndian<quint32>(s.timeMs, at);
        qToLittleEndian<quint16>(s.counts, at + 4);
        at += kTraceSampleBytes;
    }
    qToLittleEndian<quint16>(checksumOf(QByteArrayView(out, at - out)), at);
    return blob;
}

std::optional<PointTrace> unpackTrace(QByteArrayView blob, QString* error) {
    if (blob.size() < kTraceHeaderBytes + kTraceChecksumBytes)
        return refuse(
            error, QStringLiteral("the trace is %1 bytes, too short for a trace").arg(blob.size()));
    const uchar* in = reinterpret_cast<const uchar*>(blob.data());
    if (in[0] != kTraceFormatVersion)
        return refuse(
            error,
            QStringLiteral("the trace has format %1, not %2").arg(in[0]).arg(kTraceFormatVersion));
    // The count is checked against the blob's own length before anything is allocated.
    const quint64 n = qFromLittleEndian<quint32>(in + 1);
    const quint64 expected = kTraceHeaderBytes + n * kTraceSampleBytes + kTraceChecksumBytes;
    if (expected != static_cast<quint64>(blob.size()))
        return refuse(error, QStringLiteral("the trace says %1 readings but is %2 bytes long")
                                 .arg(n)
                                 .arg(blob.size()));
    const qsizetype body = blob.size() - kTraceChecksumBytes;
    if (qFromLittleEndian<quint16>(in + body) != checksumOf(blob.first(body)))
        return refuse(error, QStringLiteral("the trace is damaged (its checksum does not match)"));
    PointTrace trace;
    trace.reserve(static_cast<size_t>(n));
    for (const uchar* at = in + kTraceHeaderBytes; at < in + body; at += kTraceSampleBytes)
        trace.push_back({qFromLittleEndian<quint32>(at), qFromLittleEndian<quint16>(at + 4)});
    return trace;
}

} // namespace viro
