#pragma once

#include <QString>

#include <vector>

namespace viro {

// One "name: value" entry of a data source file, with the line it starts on.
struct SourceField {
    QString name;
    QString value;
    int line = 0;
};

// A problem in a source file, reported as "file:line: message" so an editor can jump to it.
struct SourceError {
    QString file;
    int line = 0;
    QString message;

    QString toString() const;
};

// Reads the plain "name: value" format of the data sources:
// - a line starting in column 1 with '#' is a comment;
// - a line starting in column 1 holds "name: value" (name of letters, digits and '-');
// - an indented line continues the value of the field above, joined with one blank;
// - empty lines separate fields; between two continuation lines they start a new paragraph
//   ("\n" in the value).
// Every character must be storable in the single-byte code page of the databases; tabs and
// other control characters are refused so the texts look the same everywhere.
// Returns false with the first problem found.
bool parseSourceFields(const QString& text, const QString& fileName,
                       std::vector<SourceField>* fields, SourceError* error);

// Reads a whole file (UTF-8) and parses it.
bool parseSourceFile(const QString& path, std::vector<SourceField>* fields, SourceError* error);

} // namespace viro
