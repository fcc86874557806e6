#pragma once

#include <QString>
#include <QVariant>

#include <vector>

namespace viro {

// Access (Jet) database files. libmdb reads them in a helper process (viro-mdb-reader) under
// memory, CPU, output and time limits; anything but a clean finish is a failed read.

enum class JetFormat { None, Jet3, Jet4, Ace };

// The format named by the file's header; None for anything else (SQLite files included).
JetFormat jetFormat(const QString& path);
inline bool isAccessFile(const QString& path) {
    return jetFormat(path) != JetFormat::None;
}

// Access column types as libmdb numbers them.
enum JetType {
    kJetBool = 0x01,
    kJetByte = 0x02,
    kJetInt = 0x03,
    kJetLong = 0x04,
    kJetMoney = 0x05,
    kJetFloat = 0x06,
    kJetDouble = 0x07,
    kJetDateTime = 0x08,
    kJetBinary = 0x09,
    kJetText = 0x0a,
    kJetOle = 0x0b,
    kJetMemo = 0x0c,
    kJetRepId = 0x0f,
    kJetNumeric = 0x10,
    kJetComplex = 0x12,
};

// "Yes/No", "Long", "Date/Time", ... for a Jet type number.
QString jetTypeName(int type);

struct AccessColumn {
    QString name;
    int type = 0;
    int size = 0; // as the file declares it (bytes for Jet4 text)
};

// Receives the tables of a file as they are read. Values: null (invalid QVariant), qint64 for
// integers and flags (0/1), double for numbers and dates (the raw Jet day number), QString for
// text, QByteArray for binary and OLE values. Returning false stops the read as failed.
class AccessSink {
public:
    virtual ~AccessSink() = default;
    virtual bool beginTable(const QString& name, const std::vector<AccessColumn>& columns) = 0;
    virtual bool row(const QVariantList& values) = 0;
    virtual bool endTable() = 0;
};

struct AccessReadLimits {
    qint64 memoryBytes = qint64(1536) << 20; // address space of the helper
    int cpuSeconds = 0;                      // 0: 20 s plus 2 s a megabyte of file
    int wallSeconds = 0;                     // 0: the CPU limit plus 10 s
    qint64 outputBytes = 0;                  // 0: 16 times the file plus 64 MB
    int stderrBytes = 65536;                 // what is kept of the helper's messages
};

// Where the helper is: $VIRO_MDB_READER, next to the running program, in ../libexec/viro, or
// in the build tree. Empty when none exists.
QString mdbReaderPath();

// Reads every user table of an Access file into `sink`. False with a message on any failure;
// the sink may then have seen part of the file and must discard it.
bool readAccessFile(const QString& path, AccessSink& sink, QString* error,
                    const AccessReadLimits& limits = {});

// Converts an Access file into a new SQLite file at `target` (tables and columns by the same
// names, types mapped). On failure no file is left at `target`.
bool convertAccessFile(const QString& path, const QString& target, QString* error,
                       const AccessReadLimits& limits = {});

} // namespace viro
