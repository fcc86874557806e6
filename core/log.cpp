#include "core/log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

namespace viro {

Q_LOGGING_CATEGORY(lcCore, "viro.core", QtInfoMsg)

namespace {

struct LogState {
    QMutex mutex; // guards everything below; messages arrive from any thread
    QString path;
    qint64 maxBytes = 0;
    QtMessageHandler previous = nullptr;
    bool installed = false;
};

LogState& state() {
    static LogState s;
    return s;
}

const char* levelName(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "?";
}

// Appends one line; a log that cannot be written is given up silently, since there is no
// one left to tell and the program must go on.
void appendLine(LogState& s, const QByteArray& line) {
    QFile file(s.path);
    if (file.exists() && file.size() + line.size() > s.maxBytes) {
        const QString old = s.path + QStringLiteral(".1");
        QFile::remove(old);
        QFile::rename(s.path, old);
    }
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(line);
}

void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    LogState& s = state();
    QtMessageHandler previous = nullptr;
    {
        QMutexLocker lock(&s.mutex);
        previous = s.previous;
        if (s.installed) {
            const QByteArray line =
                QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() + ' ' +
                levelName(type) + ' ' + (context.category ? context.category : "default") +
                ": " + message.toUtf8() + '\n';
            appendLine(s, line);
        }
    }
    if (previous)
        previous(type, context, message);
}

} // namespace

QString logFileName() { return QStringLiteral("viro.log"); }

LogFile::LogFile(const QString& folder, qint64 maxBytes) {
    LogState& s = state();
    QMutexLocker lock(&s.mutex);
    s.path = QDir(folder).filePath(logFileName());
    s.maxBytes = maxBytes;
    s.installed = true;
    s.previous = qInstallMessageHandler(handleMessage);
}

LogFile::~LogFile() {
    LogState& s = state();
    QMutexLocker lock(&s.mutex);
    qInstallMessageHandler(s.previous);
    s.previous = nullptr;
    s.installed = false;
}

QString LogFile::path() const {
    LogState& s = state();
    QMutexLocker lock(&s.mutex);
    return s.path;
}

} // namespace viro
