#include "cli_support.h"
#include "commands.h"

#include "access_file.h"

#include <QFileInfo>

namespace viro::cli {

namespace {

// Prints each table as it is read; rows go out one by one so large files need no memory.
class JsonSink : public AccessSink {
public:
    bool beginTable(const QString& name, const std::vector<AccessColumn>& columns) override {
        QStringList cols;
        for (const AccessColumn& c : columns)
            cols << jsonObject({{"name", jsonString(c.name)},
                                {"type", jsonString(jetTypeName(c.type))},
                                {"size", QString::number(c.size)}});
        types_.clear();
        for (const AccessColumn& c : columns)
            types_.push_back(c.type);
        out_ += (tables_++ ? QStringLiteral(",\n") : QString()) + QStringLiteral("{\"name\":") +
                jsonString(name) + QStringLiteral(",\"columns\":") + jsonArray(cols) +
                QStringLiteral(",\"rows\":[");
        rows_ = 0;
        return true;
    }
    bool row(const QVariantList& values) override {
        QStringList items;
        for (int i = 0; i < values.size(); ++i)
            items << value(values[i], i < int(types_.size()) ? types_[i] : 0);
        out_ += (rows_++ ? QStringLiteral(",\n") : QStringLiteral("\n")) + jsonArray(items);
        return true;
    }
    bool endTable() override {
        out_ += QStringLiteral("]}");
        return true;
    }
    void flush() {
        printOut(out_);
        out_.clear();
    }
    QString out_;

private:
    static QString value(const QVariant& v, int type) {
        if (!v.isValid() || v.isNull())
            return QStringLiteral("null");
        if (type == kJetBool)
            return jsonBool(v.toLongLong() != 0);
        switch (v.typeId()) {
        case QMetaType::LongLong:
            return QString::number(v.toLongLong());
        case QMetaType::Double:
            return formatReal(v.toDouble());
        case QMetaType::QByteArray:
            return jsonString(QString::fromLatin1(v.toByteArray().toBase64()));
        default:
            return jsonString(v.toString());
        }
    }

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

    // Read the whole file before printing anything, so a failed read prints no partial JSON.
    JsonSink sink;
    QString error;
    if (!readAccessFile(path, sink, &error))
        return fail("access dump: " + error);
    const QString head =
        QStringLiteral("{\"file\":") + jsonString(path) + QStringLiteral(",\"format\":") +
        jsonString(format == JetFormat::Jet3 ? "Jet3" : "Jet4") + QStringLiteral(",\"tables\":[\n");
    sink.out_ = head + sink.out_ + QStringLiteral("]}\n");
    sink.flush();
    return 0;
}

const CommandRegistration registration("access", "access dump FILE", runAccess);

} // namespace viro::cli
