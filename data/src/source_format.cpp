#include "data/src/source_format.h"

#include "core/text_cipher.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace viro {

QString SourceError::toString() const {
    if (line > 0)
        return QStringLiteral("%1:%2: %3").arg(file).arg(line).arg(message);
    return QStringLiteral("%1: %2").arg(file, message);
}

namespace {

// The first character of `text` the databases cannot hold, or -1. Control characters are
// refused too, though the code page has bytes for some of them.
qsizetype firstUnstorable(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QString c(text.at(i));
        const char16_t u = text.at(i).unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || fromWindows1252(toWindows1252(c)) != c)
            return i;
    }
    return -1;
}

} // namespace

bool parseSourceFields(const QString& text, const QString& fileName,
                       std::vector<SourceField>* fields, SourceError* error) {
    static const QRegularExpression fieldLine(QStringLiteral("^([A-Za-z][A-Za-z0-9-]*):(.*)$"));
    auto fail = [&](int line, const QString& message) {
        if (error)
            *error = {fileName, line, message};
        return false;
    };

    fields->clear();
    QString source = text;
    source.remove(QLatin1Char('\r'));
    const QStringList lines = source.split(QLatin1Char('\n'));
    bool open = false;      // a field is being continued
    bool blankSeen = false; // empty lines since the last text line of the open field
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        const QString& raw = lines.at(i);
        if (raw.contains(QLatin1Char('\t')))
            return fail(lineNo, QStringLiteral("tab character; use blanks"));
        const QString trimmed = raw.trimmed();
        if (trimmed.isEmpty()) {
            blankSeen = open;
            continue;
        }
        if (raw.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype bad = firstUnstorable(trimmed);
        if (bad >= 0)
            return fail(lineNo, QStringLiteral("character U+%1 cannot be stored")
                                    .arg(trimmed.at(bad).unicode(), 4, 16, QLatin1Char('0')));
        if (raw.at(0).isSpace()) {
            if (!open)
                return fail(lineNo, QStringLiteral("indented text without a field above it"));
            QString& value = fields->back().value;
            if (blankSeen)
                value += QLatin1Char('\n');
            else if (!value.isEmpty())
                value += QLatin1Char(' ');
            value += trimmed;
            blankSeen = false;
            continue;
        }
        const QRegularExpressionMatch m = fieldLine.match(raw);
        if (!m.hasMatch())
            return fail(lineNo, QStringLiteral("expected \"name: value\""));
        fields->push_back({m.captured(1), m.captured(2).trimmed(), lineNo});
        open = true;
        blankSeen = false;
    }
    return true;
}

bool parseSourceFile(const QString& path, std::vector<SourceField>* fields, SourceError* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = {path, 0, QStringLiteral("cannot read: ") + file.errorString()};
        return false;
    }
    const QByteArray bytes = file.readAll();
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() != bytes) {
        if (error)
            *error = {path, 0, QStringLiteral("not valid UTF-8")};
        return false;
    }
    return parseSourceFields(text, QFileInfo(path).fileName(), fields, error);
}

} // namespace viro
