#include "data/src/reference_texts.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace viro {

const QStringList& referenceTextFields() {
    static const QStringList fields = [] {
        QStringList f;
        for (int i = 1; i <= 5; ++i)
            f << QStringLiteral("DtEA%1").arg(i);
        for (int i = 1; i <= 3; ++i)
            f << QStringLiteral("DtPot%1").arg(i);
        for (int i = 1; i <= 3; ++i)
            f << QStringLiteral("DtMA%1").arg(i);
        for (int i = 1; i <= 5; ++i)
            f << QStringLiteral("DtMH%1").arg(i);
        for (int i = 1; i <= 5; ++i)
            f << QStringLiteral("DtML%1").arg(i);
        return f;
    }();
    return fields;
}

QStringList requiredReferenceFields(int key) {
    if (key >= kFirstMeridianKey && key <= kLastMeridianKey)
        return referenceTextFields();
    if (key >= kFirstTopicKey && key <= kLastTopicKey)
        return {QStringLiteral("DtMA1"), QStringLiteral("DtMA2"), QStringLiteral("DtMH1"),
                QStringLiteral("DtML1")};
    return {};
}

bool isOneLineReferenceField(const QString& field) {
    return field.startsWith(QLatin1String("DtEA")) || field.startsWith(QLatin1String("DtPot"));
}

bool readReferenceEntry(const std::vector<SourceField>& fields, const QString& file,
                        ReferenceEntry* entry, SourceError* error) {
    auto fail = [&](int line, const QString& message) {
        if (error)
            *error = {file, line, message};
        return false;
    };
    if (fields.empty() || fields.front().name != QLatin1String("key"))
        return fail(fields.empty() ? 0 : fields.front().line,
                    QStringLiteral("the file must start with \"key: N\""));
    bool ok = false;
    const int key = fields.front().value.toInt(&ok);
    const QStringList allowed = requiredReferenceFields(key);
    if (!ok || allowed.isEmpty())
        return fail(fields.front().line, QStringLiteral("key must be a number from %1 to %2")
                                             .arg(kFirstMeridianKey)
                                             .arg(kLastTopicKey));

    ReferenceEntry out;
    out.key = key;
    out.file = file;
    for (size_t i = 1; i < fields.size(); ++i) {
        const SourceField& f = fields[i];
        if (!referenceTextFields().contains(f.name))
            return fail(f.line, QStringLiteral("unknown field \"%1\"").arg(f.name));
        if (!allowed.contains(f.name))
            return fail(f.line,
                        QStringLiteral("\"%1\" is not read for key %2").arg(f.name).arg(key));
        if (out.texts.contains(f.name))
            return fail(f.line, QStringLiteral("\"%1\" appears twice").arg(f.name));
        if (f.value.isEmpty())
            return fail(f.line, QStringLiteral("\"%1\" is empty").arg(f.name));
        if (isOneLineReferenceField(f.name) &&
            (f.value.size() > kOneLineFieldLimit || f.value.contains(QLatin1Char('\n'))))
            return fail(f.line, QStringLiteral("\"%1\" is shown on one line: at most %2 characters")
                                    .arg(f.name)
                                    .arg(kOneLineFieldLimit));
        out.texts.insert(f.name, f.value);
    }
    for (const QString& name : allowed)
        if (!out.texts.contains(name))
            return fail(0, QStringLiteral("field \"%1\" is missing").arg(name));
    *entry = out;
    return true;
}

bool loadReferenceEntries(const QString& folder, std::vector<ReferenceEntry>* entries,
                          SourceError* error) {
    entries->clear();
    const QFileInfoList files =
        QDir(folder).entryInfoList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
    for (const QFileInfo& info : files) {
        std::vector<SourceField> fields;
        if (!parseSourceFile(info.filePath(), &fields, error))
            return false;
        ReferenceEntry entry;
        if (!readReferenceEntry(fields, info.fileName(), &entry, error))
            return false;
        for (const ReferenceEntry& e : *entries) {
            if (e.key == entry.key) {
                if (error)
                    *error = {info.fileName(), 0,
                              QStringLiteral("key %1 is also given in %2").arg(e.key).arg(e.file)};
                return false;
            }
        }
        entries->push_back(entry);
    }
    std::sort(entries->begin(), entries->end(),
              [](const ReferenceEntry& a, const ReferenceEntry& b) { return a.key < b.key; });
    for (int key = kFirstMeridianKey; key <= kLastTopicKey; ++key) {
        const bool found = std::any_of(entries->begin(), entries->end(),
                                       [key](const ReferenceEntry& e) { return e.key == key; });
        if (!found) {
            if (error)
                *error = {folder, 0, QStringLiteral("no file gives key %1").arg(key)};
            return false;
        }
    }
    return true;
}

} // namespace viro
