#include "cli/cli_support.h"
#include "cli/commands.h"

#include "records/access_file.h"

#include <QFileInfo>
#include <QTemporaryFile>

#include <cmath>
#include <cstdio>

namespace viro::cli {

namespace {

// A real as JSON: NaN and the infinities have no JSON form and print as null.
QString jsonReal(double value) {
    return std::isfinite(value) ? formatReal(value) : QStringLiteral("null");
}

// Writes each table as it is read, row by row, into a spool file, so large files need no
// memory; the spool reaches standard output only once the whole file was read, so a failed read
// prints no partial JSON.
class JsonSink : public AccessSink {
public:
    bool open() { return spool_.open(); }
    bool beginTable(const QString& name, const std::vector<AccessColumn>& columns) override {
        QStringList cols;
        for (const AccessColumn& c : columns)
            cols << jsonObject({{"name", jsonString(c.name)},
                                {"type", jsonString(jetTypeName(c.type))},
                                {"size", QString::number(c.size)}});
        types_.clear();
        for (const AccessColumn& c : columns)
            types_.push_back(c.type);
        rows_ = 0;
        return write((tables_++ ? QStringLiteral(",\n") : QString()) +
                     QStringLiteral("{\"name\":") + jsonString(name) +
                     QStringLiteral(",\"columns\":") + jsonArray(cols) +
                     QStringLiteral(",\"rows\":["));
    }
    bool row(const QVariantList& values) override {
        QStringList items;
        for (int i = 0; i < values.size(); ++i)
            items << value(values[i], i < int(types_.size()) ? types_[i] : 0);
        return write((rows_++ ? QStringLiteral(",\n") : QStringLiteral("\n")) + jsonArray(items));
    }
    bool endTable() override { return write(QStringLiteral("]}")); }
    // Copies what was written to standard output between `head` and `tail`.
    bool print(const QString& head, const QString& tail) {
        if (!spool_.flush() || !spool_.seek(0))
            return false;
        printOut(head);
        char buffer[65536];
        for (;;) {
            const qint64 n = spool_.read(buffer, sizeof buffer);
            if (n < 0)
                return false;
            if (n == 0)
                break;
            std::fwrite(buffer, 1, size_t(n), stdout);
        }
        printOut(tail);
        return true;
    }

private:
    bool write(const QString& text) {
        const QByteArray bytes = text.toUtf8();
        return spool_.write(bytes) == bytes.size();
    }
    static QString value(const QVariant& v, int type) {
        if (!v.isValid() || v.isNull())
            return QStringLiteral("null");
        if (type == kJetBool)
            return jsonBool(v.toLongLong() != 0);
        switch (v.typeId()) {
        case QMetaType::LongLong:
            return QString::number(v.toLongLong());
        case QMetaType::Double:
            return jsonReal(v.toDouble());
        case QMetaType::QByteArray:
            return jsonString(QString::fromLatin1(v.toByteArray().toBase64()));
        default:
            return jsonString(v.toString());
        }
    }

    QTemporaryFile spool_;
    std::vector<int> types_;
    int tables_ = 0;
    int rows_ = 0;
};

} // namespace

int runAccess(const QStringList& args) {
    Arguments a(args);
    if (const QString unknown = a.unknownOptions(); !unknown.isEmpty())
        return fail("access: " + unknown);
    const QStringList& rest = a.rest();
    if (rest.isEmpty())
        return fail("access: missing sub-command; usage: access dump FILE");
    if (rest.first() != QLatin1String("dump"))
        return fail("access: unknown sub-command " + rest.first());
    if (rest.size() != 2)
        return fail("access dump: expected one FILE");
    const QString path = rest[1];
    if (!QFileInfo(path).isFile())
        return fail("access dump: file not found: " + path);
    const JetFormat format = jetFormat(path);
    if (format == JetFormat::None)
        return fail("access dump: not an Access database: " + path);

    JsonSink sink;
    if (!sink.open())
        return fail("access dump: no temporary file for the output");
    QString error;
    if (!readAccessFile(path, sink, &error))
        return fail("access dump: " + error);
    const QString head =
        QStringLiteral("{\"file\":") + jsonString(path) + QStringLiteral(",\"format\":") +
        jsonString(format == JetFormat::Jet3 ? "Jet3" : "Jet4") + QStringLiteral(",\"tables\":[\n");
    if (!sink.print(head, QStringLiteral("]}\n")))
        return fail("access dump: cannot write the output");
    return 0;
}

const CommandRegistration registration("access", "access dump FILE", runAccess);

} // namespace viro::cli
