#include "cli/cli_support.h"
#include "cli/commands.h"

#include "records/access_file.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryFile>

#include <cstdio>

namespace viro::cli {

namespace {

// The JSON text of `object` with an empty array member `key` left open, so the array's items
// can be written after it one by one. QJsonObject writes its keys in sorted order, and `key`
// sorts last in every object given here, so the text ends in `"key":[]}`.
QByteArray openArrayMember(QJsonObject object, const QString& key) {
    object.insert(key, QJsonArray());
    Q_ASSERT(object.keys().constLast() == key);
    QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact);
    text.chop(2); // "]}"
    return text;
}

// Writes each table as it is read, row by row, into a spool file, so large files need no
// memory; the spool reaches standard output only once the whole file was read, so a failed read
// prints no partial JSON.
class JsonSink : public AccessSink {
public:
    bool open() { return spool_.open(); }
    bool beginTable(const QString& name, const std::vector<AccessColumn>& columns) override {
        QJsonArray cols;
        types_.clear();
        for (const AccessColumn& c : columns) {
            cols.append(QJsonObject{
                {"name", c.name}, {"type", jetTypeName(c.type)}, {"size", qint64(c.size)}});
            types_.push_back(c.type);
        }
        rows_ = 0;
        return write((tables_++ ? QByteArray(",\n") : QByteArray()) +
                     openArrayMember(QJsonObject{{"name", name}, {"columns", cols}}, "rows"));
    }
    bool row(const QVariantList& values) override {
        QJsonArray items;
        for (int i = 0; i < values.size(); ++i)
            items.append(value(values[i], i < int(types_.size()) ? types_[i] : 0));
        return write((rows_++ ? QByteArray(",\n") : QByteArray("\n")) +
                     QJsonDocument(items).toJson(QJsonDocument::Compact));
    }
    bool endTable() override { return write("]}"); }
    // Copies what was written to standard output between `head` and `tail`.
    bool print(const QByteArray& head, const QByteArray& tail) {
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
            // No use going on once the output is lost.
            if (std::fwrite(buffer, 1, size_t(n), stdout) != size_t(n))
                return false;
        }
        printOut(tail);
        return true;
    }

private:
    bool write(const QByteArray& bytes) { return spool_.write(bytes) == bytes.size(); }
    // Reals without a JSON form (NaN, the infinities) are written as null by Qt.
    static QJsonValue value(const QVariant& v, int type) {
        if (!v.isValid() || v.isNull())
            return QJsonValue::Null;
        if (type == kJetBool)
            return v.toLongLong() != 0;
        switch (v.typeId()) {
        case QMetaType::LongLong:
            return v.toLongLong();
        case QMetaType::Double:
            return v.toDouble();
        case QMetaType::QByteArray:
            return QString::fromLatin1(v.toByteArray().toBase64());
        default:
            return v.toString();
        }
    }

    QTemporaryFile spool_;
    std::vector<int> types_;
    int tables_ = 0;
    int rows_ = 0;
};

QString usage() {
    return QStringLiteral("access dump FILE");
}

} // namespace

int runAccess(const QStringList& args) {
    CommandLine line(QStringLiteral("access"), usage());
    if (const std::optional<int> status = line.parse(args))
        return *status;
    const QStringList rest = line.positional();
    if (rest.isEmpty())
        return line.fail("missing sub-command; usage: access dump FILE");
    if (rest.first() != QLatin1String("dump"))
        return line.fail("unknown sub-command " + rest.first());
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
        return fail("access dump: no temporary file for the output", kFailure);
    QString error;
    if (!readAccessFile(path, sink, &error))
        return fail("access dump: " + error);
    const QByteArray head = openArrayMember(
        QJsonObject{{"file", path}, {"format", format == JetFormat::Jet3 ? "Jet3" : "Jet4"}},
        "tables");
    if (!sink.print(head + '\n', "]}\n"))
        return fail("access dump: cannot write the output", kFailure);
    return 0;
}

const CommandRegistration registration("access", usage, runAccess);

} // namespace viro::cli
