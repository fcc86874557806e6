#include "records/access_file.h"

#include "records/log.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>

#include <sys/resource.h>

#include <cstring>

namespace viro {

namespace {

// Messages libmdb prints when it meets damage it then reads past.
const char* const kDamageSigns[] = {"beyond EOF", "Invalid", "Unhandled"};

constexpr int kExitMemoTooLong = 3;

QString quotedName(const QString& name) {
    QString n = name;
    n.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + n + QLatin1Char('"');
}

// Reads the helper's stream. Every length is checked against what is left of the file, so a
// damaged stream fails instead of allocating or reading past its end.
class StreamParser {
public:
    StreamParser(QFile& file, AccessSink& sink) : file_(file), sink_(sink) {}

    bool run(QString* error) {
        if (!parse()) {
            if (error)
                *error =
                    error_.isEmpty() ? QStringLiteral("the reader's output is damaged") : error_;
            return false;
        }
        return true;
    }

private:
    bool bad(const QString& message = {}) {
        if (error_.isEmpty())
            error_ = message;
        return false;
    }

    bool line(QByteArray& out) {
        out = file_.readLine(128);
        if (!out.endsWith('\n'))
            return false;
        out.chop(1);
        return true;
    }

    bool number(const QByteArray& text, qint64& out) {
        bool ok = false;
        out = text.toLongLong(&ok);
        return ok;
    }

    // The bytes after a "X length" header line, then a newline.
    bool block(const QByteArray& header, QByteArray& out) {
        qint64 size = 0;
        if (header.size() < 3 || header[1] != ' ' || !number(header.mid(2), size) || size < 0 ||
            size > file_.bytesAvailable())
            return false;
        out = file_.read(size);
        if (out.size() != size)
            return false;
        char nl = 0;
        return file_.getChar(&nl) && nl == '\n';
    }

    bool value(QVariant& out) {
        QByteArray header;
        if (!line(header) || header.isEmpty())
            return false;
        switch (header[0]) {
        case 'N':
            out = QVariant();
            return header.size() == 1;
        case 'I': {
            qint64 v = 0;
            if (header.size() < 3 || !number(header.mid(2), v))
                return false;
            out = v;
            return true;
        }
        case 'F': {
            if (header.size() != 18)
                return false;
            bool ok = false;
            const quint64 bits = header.mid(2).toULongLong(&ok, 16);
            if (!ok)
                return false;
            double d = 0;
            std::memcpy(&d, &bits, sizeof d);
            out = d;
            return true;
        }
        case 'S': {
            QByteArray bytes;
            if (!block(header, bytes))
                return false;
            out = QString::fromUtf8(bytes);
            return true;
        }
        case 'B': {
            QByteArray bytes;
            if (!block(header, bytes))
                return false;
            out = bytes;
            return true;
        }
        default:
            return false;
        }
    }

    bool parse() {
        QByteArray l;
        if (!line(l) || l != "VIRO-MDB 1")
            return bad();
        qint64 tables = 0;
        while (line(l)) {
            if (l.startsWith("Z ")) {
                qint64 count = 0;
                if (!number(l.mid(2), count) || count != tables || !file_.atEnd())
                    return bad();
                return true;
            }
            if (!l.startsWith("T "))
                return bad();
            QByteArray name;
            if (!block(l, name))
                return bad();
            if (!table(QString::fromUtf8(name)))
                return false;
            ++tables;
        }
        return bad(); // the stream stopped before its end mark
    }

    bool table(const QString& name) {
        std::vector<AccessColumn> columns;
        QByteArray l;
        bool begun = false;
        while (line(l)) {
            if (l.startsWith("C ")) {
                if (begun)
                    return bad();
                // "C type size N length" then the name
                const QList<QByteArray> parts = l.split(' ');
                qint64 type = 0, size = 0;
                if (parts.size() != 5 || !number(parts[1], type) || !number(parts[2], size) ||
                    parts[3] != "N")
                    return bad();
                QByteArray colName;
                if (!block("N " + parts[4], colName))
                    return bad();
                columns.push_back({QString::fromUtf8(colName), int(type), int(size)});
                continue;
            }
            if (!begun) {
                if (!sink_.beginTable(name, columns))
                    return bad(QStringLiteral("cannot store table ") + name);
                begun = true;
            }
            if (l == "E")
                return sink_.endTable() || bad(QStringLiteral("cannot store table ") + name);
            if (l != "R")
                return bad();
            QVariantList values;
            values.reserve(int(columns.size()));
            for (size_t c = 0; c < columns.size(); ++c) {
                QVariant v;
                if (!value(v))
                    return bad();
                values << v;
            }
            if (!sink_.row(values))
                return bad(QStringLiteral("cannot store a row of ") + name);
        }
        return bad();
    }

    QFile& file_;
    AccessSink& sink_;
    QString error_;
};

struct RunResult {
    bool finished = false;
    bool crashed = false;
    bool timedOut = false;
    int exitCode = -1;
    QByteArray stderrText;
    QString startError;
};

RunResult runReader(const QString& helper, const QStringList& args, const QString& outFile,
                    const AccessReadLimits& limits, int cpuSeconds, int wallSeconds,
                    qint64 outputBytes) {
    RunResult r;
    QProcess p;
    p.setProgram(helper);
    p.setArguments(args);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(outFile, QIODevice::Truncate);
    const rlim_t memory = rlim_t(limits.memoryBytes);
    const rlim_t cpu = rlim_t(cpuSeconds);
    const rlim_t output = rlim_t(outputBytes);
    // Runs in the child between fork and exec: only async-signal-safe calls.
    p.setChildProcessModifier([memory, cpu, output]() {
        struct rlimit l;
        l.rlim_cur = l.rlim_max = memory;
        setrlimit(RLIMIT_AS, &l);
        l.rlim_cur = l.rlim_max = cpu;
        setrlimit(RLIMIT_CPU, &l);
        l.rlim_cur = l.rlim_max = output;
        setrlimit(RLIMIT_FSIZE, &l);
        l.rlim_cur = l.rlim_max = 0;
        setrlimit(RLIMIT_CORE, &l);
    });
    p.start();
    if (!p.waitForStarted(10000)) {
        r.startError = p.errorString();
        return r;
    }
    auto takeStderr = [&]() {
        const QByteArray chunk = p.readAllStandardError();
        const qint64 room = limits.stderrBytes - r.stderrText.size();
        if (room > 0)
            r.stderrText += chunk.left(room);
    };
    QElapsedTimer clock;
    clock.start();
    const qint64 wallLimit = qint64(wallSeconds) * 1000;
    if (QCoreApplication::instance()) {
        // The caller's windows keep painting while the helper reads; input waits until it ends.
        QEventLoop loop;
        QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer tick;
        tick.setInterval(50);
        QObject::connect(&tick, &QTimer::timeout, &loop, [&]() {
            takeStderr();
            if (p.state() == QProcess::NotRunning || clock.elapsed() > wallLimit)
                loop.quit();
        });
        tick.start();
        if (p.state() != QProcess::NotRunning)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    } else {
        while (!p.waitForFinished(50) && p.state() != QProcess::NotRunning &&
               clock.elapsed() <= wallLimit)
            takeStderr();
    }
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(5000);
        r.timedOut = true;
        return r;
    }
    takeStderr();
    r.finished = true;
    r.crashed = p.exitStatus() == QProcess::CrashExit;
    r.exitCode = p.exitCode();
    return r;
}

QString firstLine(const QByteArray& text) {
    const QString s = QString::fromUtf8(text).trimmed();
    return s.section(QLatin1Char('\n'), 0, 0).left(200);
}

// Writes what was read into a SQLite file, all in one transaction.
class SqliteSink : public AccessSink {
public:
    explicit SqliteSink(QSqlDatabase db) : db_(std::move(db)) {}

    bool beginTable(const QString& name, const std::vector<AccessColumn>& columns) override {
        QStringList defs, names, marks;
        for (const AccessColumn& c : columns) {
            defs << quotedName(c.name) + QLatin1Char(' ') + sqlType(c.type);
            names << quotedName(c.name);
            marks << QStringLiteral("?");
        }
        QSqlQuery create(db_);
        if (!create.exec(QStringLiteral("CREATE TABLE ") + quotedName(name) + QStringLiteral(" (") +
                         defs.join(QStringLiteral(", ")) + QLatin1Char(')')))
            return false;
        insert_ = QSqlQuery(db_);
        if (columns.empty())
            return true;
        return insert_.prepare(QStringLiteral("INSERT INTO ") + quotedName(name) +
                               QStringLiteral(" (") + names.join(QStringLiteral(", ")) +
                               QStringLiteral(") VALUES (") + marks.join(QStringLiteral(", ")) +
                               QLatin1Char(')'));
    }
    bool row(const QVariantList& values) override {
        if (values.isEmpty())
            return true;
        for (int i = 0; i < values.size(); ++i)
            insert_.bindValue(i, values[i]);
        return insert_.exec();
    }
    bool endTable() override {
        insert_.finish();
        return true;
    }

private:
    static QString sqlType(int type) {
        switch (type) {
        case kJetBool:
        case kJetByte:
        case kJetInt:
        case kJetLong:
        case kJetComplex:
            return QStringLiteral("INTEGER");
        case kJetMoney:
        case kJetFloat:
        case kJetDouble:
        case kJetDateTime:
            return QStringLiteral("REAL");
        case kJetBinary:
        case kJetOle:
            return QStringLiteral("BLOB");
        default:
            return QStringLiteral("TEXT");
        }
    }

    QSqlDatabase db_;
    QSqlQuery insert_;
};

} // namespace

JetFormat jetFormat(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return JetFormat::None;
    const QByteArray head = f.read(0x20);
    if (head.size() < 0x20 || head.left(4) != QByteArray("\x00\x01\x00\x00", 4))
        return JetFormat::None;
    const QByteArray sig = head.mid(4, 16);
    if (sig == QByteArray("Standard ACE DB\0", 16))
        return JetFormat::Ace;
    if (sig != QByteArray("Standard Jet DB\0", 16))
        return JetFormat::None;
    return head[0x14] == 0 ? JetFormat::Jet3 : JetFormat::Jet4;
}

QString jetTypeName(int type) {
    switch (type) {
    case kJetBool:
        return QStringLiteral("Yes/No");
    case kJetByte:
        return QStringLiteral("Byte");
    case kJetInt:
        return QStringLiteral("Integer");
    case kJetLong:
        return QStringLiteral("Long");
    case kJetMoney:
        return QStringLiteral("Currency");
    case kJetFloat:
        return QStringLiteral("Single");
    case kJetDouble:
        return QStringLiteral("Double");
    case kJetDateTime:
        return QStringLiteral("Date/Time");
    case kJetBinary:
        return QStringLiteral("Binary");
    case kJetText:
        return QStringLiteral("Text");
    case kJetOle:
        return QStringLiteral("OLE Object");
    case kJetMemo:
        return QStringLiteral("Memo");
    case kJetRepId:
        return QStringLiteral("Replication ID");
    case kJetNumeric:
        return QStringLiteral("Decimal");
    case kJetComplex:
        return QStringLiteral("Complex");
    default:
        return QStringLiteral("Unknown");
    }
}

QString mdbReaderPath() {
    const QString name = QStringLiteral("viro-mdb-reader");
    QStringList candidates;
    if (const QString env = qEnvironmentVariable("VIRO_MDB_READER"); !env.isEmpty())
        candidates << env;
    const QString appDir = QCoreApplication::applicationDirPath();
    if (!appDir.isEmpty()) {
        candidates << appDir + QLatin1Char('/') + name;
        candidates << appDir + QStringLiteral("/../libexec/viro/") + name;
    }
#ifdef VIRO_MDB_READER_BUILD_PATH
    candidates << QStringLiteral(VIRO_MDB_READER_BUILD_PATH);
#endif
    for (const QString& c : candidates) {
        const QFileInfo info(c);
        if (info.isFile() && info.isExecutable())
            return info.absoluteFilePath();
    }
    return {};
}

bool readAccessFile(const QString& path, AccessSink& sink, QString* error,
                    const AccessReadLimits& limits) {
    auto failWith = [&](const QString& message) {
        if (error)
            *error = QStringLiteral("cannot read the Access file ") + path + QStringLiteral(": ") +
                     message;
        return false;
    };
    const JetFormat format = jetFormat(path);
    if (format == JetFormat::None)
        return failWith(QStringLiteral("not an Access database"));
    if (format == JetFormat::Ace)
        return failWith(QStringLiteral("Access 2007 files are not supported"));
    const qint64 pageSize = format == JetFormat::Jet3 ? 2048 : 4096;
    const qint64 size = QFileInfo(path).size();
    if (size < 2 * pageSize || size % pageSize != 0)
        return failWith(QStringLiteral("the file is damaged or incomplete"));
    const QString helper = mdbReaderPath();
    if (helper.isEmpty())
        return failWith(QStringLiteral("the reader program viro-mdb-reader is missing"));

    const qint64 megabytes = size >> 20;
    const int cpu = limits.cpuSeconds > 0 ? limits.cpuSeconds : int(20 + 2 * megabytes);
    const int wall = limits.wallSeconds > 0 ? limits.wallSeconds : cpu + 10;
    const qint64 output =
        limits.outputBytes > 0 ? limits.outputBytes : 16 * size + (qint64(64) << 20);

    QTemporaryDir dir;
    if (!dir.isValid())
        return failWith(QStringLiteral("no temporary folder"));
    const QString outFile = dir.filePath(QStringLiteral("tables.stream"));
    RunResult r;
    // Memos longer than the read buffer make the reader stop; read again with a larger one.
    for (qint64 bind : {qint64(65536), qint64(4) << 20}) {
        r = runReader(helper,
                      {QStringLiteral("--bind-size"), QString::number(bind),
                       QFileInfo(path).absoluteFilePath()},
                      outFile, limits, cpu, wall, output);
        if (!(r.finished && !r.crashed && r.exitCode == kExitMemoTooLong))
            break;
    }
    if (!r.startError.isEmpty())
        return failWith(QStringLiteral("the reader did not start: ") + r.startError);
    if (r.timedOut)
        return failWith(QStringLiteral("the file is damaged (reading took too long)"));
    if (r.crashed)
        return failWith(QStringLiteral("the file is damaged (the reader stopped)"));
    if (r.exitCode != 0) {
        const QString why = firstLine(r.stderrText);
        return failWith(why.isEmpty() ? QStringLiteral("the file is damaged") : why);
    }
    for (const char* sign : kDamageSigns)
        if (r.stderrText.contains(sign))
            return failWith(QStringLiteral("the file is damaged (") + firstLine(r.stderrText) +
                            QLatin1Char(')'));
    QFile stream(outFile);
    if (!stream.open(QIODevice::ReadOnly))
        return failWith(stream.errorString());
    StreamParser parser(stream, sink);
    QString message;
    if (!parser.run(&message))
        return failWith(message);
    return true;
}

bool convertAccessFile(const QString& path, const QString& target, QString* error,
                       const AccessReadLimits& limits) {
    // A file already there would be written into rather than replaced.
    if (QFile::exists(target) && !QFile::remove(target)) {
        if (error)
            *error = QStringLiteral("Could not replace %1.").arg(target);
        return false;
    }
    const QString name =
        QStringLiteral("viro-convert-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(target);
        if (!db.open()) {
            if (error)
                *error = db.lastError().text();
        } else {
            QSqlQuery(db).exec(QStringLiteral("PRAGMA journal_mode=OFF"));
            if (db.transaction()) {
                {
                    SqliteSink sink(db);
                    ok = readAccessFile(path, sink, error, limits);
                }
                ok = ok ? db.commit() : (db.rollback(), false);
                if (!ok && error && error->isEmpty())
                    *error = db.lastError().text();
            } else if (error) {
                *error = db.lastError().text();
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    if (!ok && QFile::exists(target) && !QFile::remove(target))
        qCWarning(lcRecords).noquote() << "Cannot remove the unfinished conversion" << target;
    return ok;
}

} // namespace viro
