#pragma once

#include "core/settings.h"

#include <QDate>
#include <QString>
#include <QStringList>

namespace viro {

// The settings file holds 78 lines, each the cipher hex (SettingsKey) of one value's text, in
// the line order of `Settings`. Integers are decimal, decimals the shortest text that reads back
// to the same double with '.' as the decimal point (C locale, whatever the user's locale),
// flags "1" or "0". Lines end in CR LF; reading accepts CR LF, LF or a lone CR, and ignores a
// UTF-8 byte order mark, so a file that went through a text editor on any system still reads.
//
// Reading never fails on content: a missing line, an empty line, a line that is not valid
// cipher hex or a number that does not convert takes the line's read-back value.

enum class SettingsValueType { Integer, Decimal, Flag, Text };

// Type of file line 1-78 (Text for a number outside that range).
SettingsValueType settingsLineType(int line);

// Reads the file into `out` and rebuilds the derived tables. Only a file that cannot be opened
// is an error; `out` is then left as it was.
bool loadSettings(const QString& path, Settings& out, QString* error);

// Writes all 78 lines with a fresh seed per line, atomically: on any failure the old file is
// left as it was and the error's message is returned. Something at `path` that cannot be read
// (no read permission, a folder) is never replaced.
bool saveSettings(const QString& path, const Settings& in, QString* error);
// Same, after rebuilding the derived tables of `settings` from its stored fields.
bool saveSettings(const QString& path, Settings& settings, QString* error);

// The program's one settings file, through which every window loads and saves. A file that
// exists but cannot be read (permissions, an I/O error, a folder in its place) may still hold
// the user's settings: once a load found it so, every later save is refused for the rest of the
// run, even if the fault has passed, rather than put defaults over it.
class SettingsStore {
public:
    enum class LoadResult {
        Loaded,     // read; damaged lines took their read-back values
        Missing,    // nothing there yet (first start); `out` untouched
        Unreadable, // there but not readable; `out` takes the read-back values of an empty file
    };

    explicit SettingsStore(QString path) : path_(std::move(path)) {}

    const QString& path() const { return path_; }

    // Reads the file into `out`; the error's message comes back for Unreadable.
    LoadResult load(Settings& out, QString* error);
    // Writes `settings` after rebuilding its derived tables; refused (false, with a message)
    // while the file is held unreadable.
    bool save(Settings& settings, QString* error);
    // A load found the file unreadable: saves are refused.
    bool savesRefused() const { return savesRefused_; }

private:
    QString path_;
    bool savesRefused_ = false;
};

// The plain texts of the 78 lines and back. Reading applies the read-back rules; missing lines
// read as empty. `today` fills an empty calibration date.
Settings settingsFromLines(const QStringList& plainLines);
Settings settingsFromLines(const QStringList& plainLines, const QDate& today);
QStringList settingsToLines(const Settings& settings);

// Splits file content at CR LF, LF or lone CR; a final line end does not start a new line.
QStringList splitSettingsFileLines(const QByteArray& content);

} // namespace viro
