#include "cli/cli_support.h"

#include <QTextStream>

#include <cstdio>

namespace viro::cli {

int fail(const QString& message) {
    const QByteArray line = ("viro-cli: " + message + "\n").toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    return kUsageError;
}

void printOut(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

QString formatReal(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return QString::fromLatin1(buffer);
}

QString jsonString(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QStringLiteral("\\\"");
            break;
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(int(c.unicode()), 4, 16, QChar('0'));
            else
                out += c;
        }
    }
    out += '"';
    return out;
}

QString jsonArray(const QStringList& items) {
    return '[' + items.join(',') + ']';
}

QString jsonObject(const QList<std::pair<QString, QString>>& members) {
    QStringList parts;
    parts.reserve(members.size());
    for (const auto& [key, value] : members)
        parts << jsonString(key) + ':' + value;
    return '{' + parts.join(',') + '}';
}

QString jsonBool(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

std::optional<QString> Arguments::option(const QString& name) {
    const QString flagText = "--" + name;
    for (int i = 0; i < args_.size(); ++i) {
        const QString& a = args_[i];
        if (a == flagText) {
            if (i + 1 >= args_.size()) {
                if (error_.isEmpty())
                    error_ = flagText + " needs a value";
                args_.removeAt(i);
                return std::nullopt;
            }
            QString value = args_[i + 1];
            args_.remove(i, 2);
            return value;
        }
        if (a.startsWith(flagText + "=")) {
            QString value = a.mid(flagText.size() + 1);
            args_.removeAt(i);
            return value;
        }
    }
    return std::nullopt;
}

bool Arguments::flag(const QString& name) {
    return args_.removeAll("--" + name) > 0;
}

QString Arguments::unknownOptions() const {
    for (const QString& a : args_)
        if (a.startsWith("--"))
            return "unknown option " + a;
    return {};
}

} // namespace viro::cli
