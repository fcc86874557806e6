#pragma once

#include "data/src/source_format.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <vector>

namespace viro {

inline constexpr int kFirstMeridianKey = 1;
inline constexpr int kLastMeridianKey = 12;
inline constexpr int kFirstTopicKey = 13;
inline constexpr int kLastTopicKey = 17;

// Every text field of the reference table, in column order.
const QStringList& referenceTextFields();
// The fields an entry must have: all of them for a meridian (keys 1-12), only the ones the
// analysis window reads for a general topic (keys 13-17). Empty for any other key.
QStringList requiredReferenceFields(int key);
// Fields shown beside a caption on one line; kept short.
bool isOneLineReferenceField(const QString& field);
inline constexpr int kOneLineFieldLimit = 90;

// One reference entry as written in its source file.
struct ReferenceEntry {
    int key = 0;
    QString file;
    QMap<QString, QString> texts; // field name -> plain text
};

// Checks one parsed source file and turns it into an entry.
bool readReferenceEntry(const std::vector<SourceField>& fields, const QString& file,
                        ReferenceEntry* entry, SourceError* error);

// Reads every "*.txt" file of `folder` (one entry each). Keys 1 to 17 must each appear exactly
// once; the result is ordered by key.
bool loadReferenceEntries(const QString& folder, std::vector<ReferenceEntry>* entries,
                          SourceError* error);

} // namespace viro
