#pragma once

#include "records/access_file.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace viro::test {

// Builds a stream in the reader program's format, table by table.
class ReaderStream {
public:
    ReaderStream() { out_ = "VIRO-MDB 1\n"; }

    struct Column {
        const char* name;
        int type;
    };
    // One table; each row holds one value per column: invalid for null, qint64, double, QString.
    ReaderStream& table(const char* name, const std::vector<Column>& columns,
                        const std::vector<QVariantList>& rows) {
        block("T", name);
        for (const Column& c : columns) {
            const QByteArray n(c.name);
            out_ += "C " + QByteArray::number(c.type) + " 50 N " + QByteArray::number(n.size()) +
                    "\n" + n + "\n";
        }
        for (const QVariantList& row : rows) {
            out_ += "R\n";
            for (const QVariant& v : row)
                value(v);
        }
        out_ += "E\n";
        ++tables_;
        return *this;
    }
    QByteArray finish() const { return out_ + "Z " + QByteArray::number(tables_) + "\n"; }

private:
    void block(const char* kind, const QByteArray& bytes) {
        out_ += QByteArray(kind) + " " + QByteArray::number(bytes.size()) + "\n" + bytes + "\n";
    }
    void value(const QVariant& v) {
        if (!v.isValid()) {
            out_ += "N\n";
        } else if (v.typeId() == QMetaType::Double) {
            const double d = v.toDouble();
            quint64 bits = 0;
            std::memcpy(&bits, &d, sizeof bits);
            out_ += "F " + QByteArray::number(bits, 16).rightJustified(16, '0') + "\n";
        } else if (v.typeId() == QMetaType::QString) {
            block("S", v.toString().toUtf8());
        } else {
            out_ += "I " + QByteArray::number(v.toLongLong()) + "\n";
        }
    }

    QByteArray out_;
    int tables_ = 0;
};

// A stand-in for the reader program named by $VIRO_MDB_READER while this object lives: after
// `delaySeconds` it prints `stream`, whatever file it is asked for.
class FakeReader {
public:
    FakeReader(const QByteArray& stream, const char* delaySeconds = "0") {
        EXPECT_TRUE(dir_.isValid());
        const QString data = dir_.filePath("stream");
        QFile d(data);
        EXPECT_TRUE(d.open(QIODevice::WriteOnly));
        d.write(stream);
        d.close();
        const QString script = dir_.filePath("reader");
        QFile s(script);
        EXPECT_TRUE(s.open(QIODevice::WriteOnly));
        s.write("#!/bin/sh\nsleep " + QByteArray(delaySeconds) + "\nexec cat '" + data.toUtf8() +
                "'\n");
        s.close();
        s.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        previous_ = qgetenv("VIRO_MDB_READER");
        qputenv("VIRO_MDB_READER", script.toUtf8());
    }
    ~FakeReader() {
        if (previous_.isEmpty())
            qunsetenv("VIRO_MDB_READER");
        else
            qputenv("VIRO_MDB_READER", previous_);
    }

private:
    QTemporaryDir dir_;
    QByteArray previous_;
};

} // namespace viro::test
