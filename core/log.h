#pragma once

#include <QLoggingCategory>
#include <QString>

namespace viro {

Q_DECLARE_LOGGING_CATEGORY(lcCore)

// Copies every message of the program (all categories, warnings and above unless a category
// is switched on with QT_LOGGING_RULES) into a small log file that a practitioner can send
// with a fault report: "viro.log" in `folder`, moved to "viro.log.1" when it passes
// `maxBytes`, so at most about twice that is kept. Messages still reach the previous handler
// (the terminal). Installed for the lifetime of the object; one at a time.
class LogFile {
public:
    static constexpr qint64 kDefaultMaxBytes = 1024 * 1024;

    explicit LogFile(const QString& folder, qint64 maxBytes = kDefaultMaxBytes);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    QString path() const;
};

// The log file's name in the data folder.
QString logFileName();

} // namespace viro
