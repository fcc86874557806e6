#include "measure/measurement_journal.h"

#include "core/data_folder.h"
#include "measure/log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace viro {

namespace {

// Each line of the file is one record: compact JSON, a tab, the CRC-32 of the JSON bytes as 8
// lower-case hex digits, a newline. Compact JSON never holds a raw tab or newline, so a record
// is found without parsing it, and the checksum tells a whole record from a torn or damaged one
// before its JSON is looked at.
constexpr QLatin1String kFormatName("viro measurement journal");
constexpr int kFormatVersion = 1;
constexpr int kCrcDigits = 8;

// A 24-point run with a few thousand readings a point makes well under a megabyte; anything far
// beyond that is not a journal we wrote, and is not read into memory whole.
constexpr qint64 kMaxFileBytes = 32 * 1024 * 1024;
constexpr qsizetype kMaxRecordBytes = 4 * 1024 * 1024;

quint32 crc32(const char* data, qsizetype size) {
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 crc = 0xFFFFFFFFu;
    for (qsizetype i = 0; i < size; ++i)
        crc = table[(crc ^ static_cast<quint8>(data[i])) & 0xFFu] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

QByteArray recordLine(const QJsonObject& object) {
    QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact);
    const quint32 crc = crc32(line.constData(), line.size());
    line += '\t';
    line += QByteArray::number(crc, 16).rightJustified(kCrcDigits, '0');
    line += '\n';
    return line;
}

QJsonObject headerObject(const JournalHeader& header) {
    return QJsonObject{
        {QStringLiteral("format"), kFormatName},
        {QStringLiteral("version"), kFormatVersion},
        {QStringLiteral("started"), header.started},
        {QStringLiteral("highPotential"), header.highPotential},
        {QStringLiteral("channel"), header.channel},
        {QStringLiteral("key"), header.key},
        {QStringLiteral("custNo"), header.custNo},
        {QStringLiteral("patientName"), header.patientName},
    };
}

QJsonObject pointObject(const JournalPoint& point) {
    // The trace as one flat array of (ms, counts) pairs keeps a long trace compact.
    QJsonArray trace;
    for (const TraceSample& s : point.trace) {
        trace.append(static_cast<qint64>(s.timeMs));
        trace.append(static_cast<int>(s.counts));
    }
    return QJsonObject{
        {QStringLiteral("position"), point.position},
        {QStringLiteral("point"), point.point},
        {QStringLiteral("value"), point.value},
        {QStringLiteral("compensated"), point.compensated},
        {QStringLiteral("quality"), point.quality},
        {QStringLiteral("dateTime"), point.dateTime},
        {QStringLiteral("samples"), point.samples},
        {QStringLiteral("trace"), trace},
    };
}

// JSON has no NaN or infinity (they would come back as null), so such a value is refused rather
// than stored as something else; so is anything read() would not take back.
QString unstorableHeader(const JournalHeader& header) {
    if (!std::isfinite(header.started))
        return QStringLiteral("its start time is not a finite number");
    if (header.channel < 0 || header.channel > 4)
        return QStringLiteral("channel %1 is not 0-4").arg(header.channel);
    return {};
}

QString unstorableField(const JournalPoint& point) {
    if (point.position < 1 || point.position > kPointCount)
        return QStringLiteral("position %1 is not 1-24").arg(point.position);
    if (point.point < 1 || point.point > kPointCount)
        return QStringLiteral("point index %1 is not 1-24").arg(point.point);
    if (point.samples < 0)
        return QStringLiteral("sample count %1 is negative").arg(point.samples);
    const std::array<std::pair<const char*, double>, 4> numbers{{{"value", point.value},
                                                                 {"compensated", point.compensated},
                                                                 {"quality", point.quality},
                                                                 {"dateTime", point.dateTime}}};
    for (const auto& [name, v] : numbers)
        if (!std::isfinite(v))
            return QStringLiteral("its %1 is not a finite number").arg(QLatin1String(name));
    return {};
}

bool isWhole(double d, double min, double max) {
    return d >= min && d <= max && d == std::floor(d);
}

bool readInt(const QJsonObject& o, const QString& name, qint64 min, qint64 max, qint64* out) {
    const QJsonValue v = o.value(name);
    if (!v.isDouble() || !isWhole(v.toDouble(), double(min), double(max)))
        return false;
    *out = static_cast<qint64>(v.toDouble());
    return true;
}

bool readInt(const QJsonObject& o, const QString& name, int min, int max, int* out) {
    qint64 v = 0;
    if (!readInt(o, name, qint64(min), qint64(max), &v))
        return false;
    *out = static_cast<int>(v);
    return true;
}

bool readDouble(const QJsonObject& o, const QString& name, double* out) {
    const QJsonValue v = o.value(name);
    if (!v.isDouble())
        return false;
    *out = v.toDouble();
    return std::isfinite(*out);
}

bool readString(const QJsonObject& o, const QString& name, QString* out) {
    const QJsonValue v = o.value(name);
    if (!v.isString())
        return false;
    *out = v.toString();
    return true;
}

bool parseHeader(const QJsonObject& o, JournalHeader* header) {
    const QJsonValue highPotential = o.value(QStringLiteral("highPotential"));
    if (!highPotential.isBool())
        return false;
    header->highPotential = highPotential.toBool();
    return readDouble(o, QStringLiteral("started"), &header->started) &&
           readInt(o, QStringLiteral("channel"), 0, 4, &header->channel) &&
           readInt(o, QStringLiteral("key"), std::numeric_limits<int>::min(),
                   std::numeric_limits<int>::max(), &header->key) &&
           readString(o, QStringLiteral("custNo"), &header->custNo) &&
           readString(o, QStringLiteral("patientName"), &header->patientName);
}

bool parsePoint(const QJsonObject& o, JournalPoint* point) {
    if (!(readInt(o, QStringLiteral("position"), 1, kPointCount, &point->position) &&
          readInt(o, QStringLiteral("point"), 1, kPointCount, &point->point) &&
          readDouble(o, QStringLiteral("value"), &point->value) &&
          readDouble(o, QStringLiteral("compensated"), &point->compensated) &&
          readDouble(o, QStringLiteral("quality"), &point->quality) &&
          readDouble(o, QStringLiteral("dateTime"), &point->dateTime) &&
          readInt(o, QStringLiteral("samples"), 0, std::numeric_limits<int>::max(),
                  &point->samples)))
        return false;
    const QJsonValue traceValue = o.value(QStringLiteral("trace"));
    if (!traceValue.isArray())
        return false;
    const QJsonArray trace = traceValue.toArray();
    if (trace.size() % 2 != 0)
        return false;
    point->trace.clear();
    point->trace.reserve(static_cast<size_t>(trace.size() / 2));
    for (qsizetype i = 0; i < trace.size(); i += 2) {
        const double ms = trace.at(i).toDouble(-1);
        const double counts = trace.at(i + 1).toDouble(-1);
        if (!isWhole(ms, 0, std::numeric_limits<quint32>::max()) ||
            !isWhole(counts, 0, std::numeric_limits<quint16>::max()))
            return false;
        point->trace.push_back({static_cast<quint32>(ms), static_cast<quint16>(counts)});
    }
    return true;
}

// The JSON object of one line without its newline, or nothing when the checksum or the JSON
// does not hold.
std::optional<QJsonObject> checkedObject(QByteArrayView line) {
    if (line.size() > kMaxRecordBytes)
        return std::nullopt;
    const qsizetype tab = line.lastIndexOf('\t');
    if (tab < 0 || line.size() - tab - 1 != kCrcDigits)
        return std::nullopt;
    quint32 stored = 0;
    for (const char ch : line.sliced(tab + 1)) {
        const int digit = ch >= '0' && ch <= '9'   ? ch - '0'
                          : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10
                                                   : -1;
        if (digit < 0)
            return std::nullopt;
        stored = stored << 4 | static_cast<quint32>(digit);
    }
    if (stored != crc32(line.data(), tab))
        return std::nullopt;
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(line.first(tab).toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

// What read() found, with where the last whole record ends so that resume() can cut there.
struct Scan {
    JournalContents contents;
    bool headerGood = false;
    qint64 goodEnd = 0;
};

// Where the damage begins, in the words of the points before it.
QString after(qsizetype points) {
    return points == 0 ? QStringLiteral("its header") : QStringLiteral("point %1").arg(points);
}

QString records(qsizetype n) {
    return n == 1 ? QStringLiteral("1 record") : QStringLiteral("%1 records").arg(n);
}

// The header line's damage, or empty when `header` was read from it.
QString readHeader(QByteArrayView line, JournalHeader* header) {
    const std::optional<QJsonObject> o = checkedObject(line);
    if (!o)
        return QStringLiteral("the journal's header is damaged");
    if (o->value(QStringLiteral("format")).toString() != kFormatName)
        return QStringLiteral("the file is not a measurement journal");
    const int version = o->value(QStringLiteral("version")).toInt(0);
    if (version > kFormatVersion)
        return QStringLiteral("the journal was written by a newer version of the program "
                              "(format %1)")
            .arg(version);
    if (version != kFormatVersion || !parseHeader(*o, header)) {
        *header = {};
        return QStringLiteral("the journal's header is damaged");
    }
    return {};
}

// `data` is the file's start; `more` says the file goes on beyond it.
Scan scan(QByteArrayView data, bool more) {
    Scan result;
    JournalContents& c = result.contents;
    const qsizetype headerEnd = data.indexOf('\n');
    if (data.isEmpty()) {
        c.damage = QStringLiteral("the journal is empty");
        return result;
    }
    if (headerEnd < 0) {
        c.damage = QStringLiteral("the journal's header is cut short");
        return result;
    }
    c.damage = readHeader(data.first(headerEnd), &c.header);
    if (!c.damage.isEmpty())
        return result;
    result.headerGood = true;
    qsizetype at = headerEnd + 1;
    result.goodEnd = at;
    // The points, up to the first record that is not whole.
    while (at < data.size()) {
        const qsizetype end = data.indexOf('\n', at);
        const qsizetype taken = static_cast<qsizetype>(c.points.size());
        if (end < 0) {
            c.damage = more ? QStringLiteral("the journal is larger than any run makes; what "
                                             "follows %1 was not read")
                                  .arg(after(taken))
                            : QStringLiteral("the journal is cut short after %1").arg(after(taken));
            return result;
        }
        const std::optional<QJsonObject> o = checkedObject(data.sliced(at, end - at));
        JournalPoint point;
        if (!o || !parsePoint(*o, &point)) {
            c.damage = QStringLiteral("a record after %1 is damaged").arg(after(taken));
            const qsizetype later = data.sliced(end + 1).count('\n');
            if (later > 0)
                c.damage +=
                    QStringLiteral("; the %1 after it could not be read").arg(records(later));
            return result;
        }
        c.points.push_back(std::move(point));
        at = end + 1;
        result.goodEnd = at;
    }
    if (more)
        c.damage = QStringLiteral("the journal is larger than any run makes; what follows %1 "
                                  "was not read")
                       .arg(after(static_cast<qsizetype>(c.points.size())));
    return result;
}

std::optional<Scan> scanFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        Scan unreadable;
        unreadable.contents.damage =
            QStringLiteral("the journal could not be read: %1").arg(file.errorString());
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return unreadable;
    }
    const bool tooLarge = file.size() > kMaxFileBytes;
    const QByteArray data = file.read(kMaxFileBytes);
    return scan(data, tooLarge);
}

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// Writes all of `data` at the file's end. Qt says only "Unknown error" when a write stops part
// way (a full disk), so the system's own reason is taken where there is one.
bool writeAll(QFile& file, QByteArrayView data, QString* reason) {
#ifdef Q_OS_WIN
    if (file.write(data.data(), data.size()) != data.size()) {
        *reason = file.errorString();
        return false;
    }
    return true;
#else
    const int fd = file.handle();
    if (::lseek(fd, 0, SEEK_END) < 0) {
        *reason = systemError(errno);
        return false;
    }
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, static_cast<size_t>(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *reason = n < 0 ? systemError(errno) : QStringLiteral("nothing could be written");
            return false;
        }
        done += n;
    }
    return true;
#endif
}

bool syncFile(QFile& file, QString* reason) {
    if (!file.flush()) {
        *reason = file.errorString();
        return false;
    }
#ifdef Q_OS_WIN
    if (::_commit(file.handle()) != 0) {
        *reason = systemError(errno);
        return false;
    }
#else
    if (::fsync(file.handle()) != 0) {
        *reason = systemError(errno);
        return false;
    }
#endif
    return true;
}

// A new or renamed file is only durable once the folder's entry for it is on the disk too.
bool syncFolderOf(const QString& path, QString* reason) {
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    Q_UNUSED(reason);
    return true;
#else
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        *reason = systemError(errno);
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    if (!ok)
        *reason = systemError(errno);
    ::close(fd);
    return ok;
#endif
}

bool replaceFile(const QString& from, const QString& to, QString* reason) {
#ifdef Q_OS_WIN
    if (!MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
                     reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *reason = QStringLiteral("error %1").arg(GetLastError());
        return false;
    }
    return true;
#else
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        *reason = systemError(errno);
        return false;
    }
    return true;
#endif
}

bool fail(QString* error, const QString& message) {
    qCWarning(lcMeasure) << message;
    if (error)
        *error = message;
    return false;
}

} // namespace

int JournalContents::nextPosition() const {
    if (points.empty())
        return 1;
    const int last = points.back().position;
    return last >= kPointCount ? 0 : last + 1;
}

MeasurementRecord JournalContents::record() const {
    MeasurementRecord m;
    m.highPotential = header.highPotential;
    m.key = header.key;
    for (const JournalPoint& p : points) {
        if (p.point < 1 || p.point > kPointCount)
            continue;
        // A point taken again later in the run replaces the earlier one.
        const size_t i = size_t(p.point - 1);
        m.values[i] = p.value;
        m.compensated[i] = p.compensated;
        m.quality[i] = p.quality;
        m.samples[i] = p.samples;
        m.traces[i] = p.trace;
        m.dateTime = p.dateTime;
    }
    return m;
}

int JournalContents::pointsTaken() const {
    std::array<bool, kPointCount> taken{};
    for (const JournalPoint& p : points)
        if (p.point >= 1 && p.point <= kPointCount)
            taken[size_t(p.point - 1)] = true;
    return int(std::count(taken.begin(), taken.end(), true));
}

MeasurementJournal::MeasurementJournal(QString path) : path_(std::move(path)) {}

QString MeasurementJournal::pathIn(const QString& dataFolder) {
    return QDir(dataFolder).filePath(dataFileName(QStringLiteral("Measure.journal")));
}

bool MeasurementJournal::writeWhole(const QByteArray& data, QString* error) {
    open_ = false;
    const QString temp = path_ + QStringLiteral(".tmp");
    QString reason;
    {
        QFile file(temp);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            return fail(error, QStringLiteral("Could not create the measurement journal %1: %2")
                                   .arg(temp, file.errorString()));
        if (!writeAll(file, data, &reason)) {
            file.close();
            QFile::remove(temp);
            return fail(
                error,
                QStringLiteral("Could not write the measurement journal %1: %2").arg(temp, reason));
        }
        if (!syncFile(file, &reason)) {
            file.close();
            QFile::remove(temp);
            return fail(error, QStringLiteral("Could not write the measurement journal %1 to "
                                              "the disk: %2")
                                   .arg(temp, reason));
        }
    }
    if (!replaceFile(temp, path_, &reason)) {
        QFile::remove(temp);
        return fail(error, QStringLiteral("Could not put the measurement journal in place as "
                                          "%1: %2")
                               .arg(path_, reason));
    }
    if (!syncFolderOf(path_, &reason))
        return fail(error, QStringLiteral("Could not write the folder of the measurement "
                                          "journal %1 to the disk: %2")
                               .arg(path_, reason));
    open_ = true;
    return true;
}

bool MeasurementJournal::begin(const JournalHeader& header, QString* error) {
    open_ = false;
    const QString why = unstorableHeader(header);
    if (!why.isEmpty())
        return fail(
            error,
            QStringLiteral("Could not begin the measurement journal %1: %2").arg(path_, why));
    return writeWhole(recordLine(headerObject(header)), error);
}

bool MeasurementJournal::resume(const JournalContents& contents, QString* error) {
    open_ = false;
    QString readError;
    const std::optional<Scan> found = scanFile(path_, &readError);
    // Most often the file still starts with exactly what read() returned: cutting off the
    // damaged tail keeps it. Otherwise (gone, header lost, changed since) it is written anew.
    if (found && found->headerGood && found->contents.header == contents.header &&
        found->contents.points == contents.points) {
        QFile file(path_);
        if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
            return fail(error, QStringLiteral("Could not open the measurement journal %1: %2")
                                   .arg(path_, file.errorString()));
        QString reason;
        if (file.size() != found->goodEnd && !file.resize(found->goodEnd))
            return fail(error, QStringLiteral("Could not cut the damaged end off the "
                                              "measurement journal %1: %2")
                                   .arg(path_, file.errorString()));
        if (!syncFile(file, &reason))
            return fail(error, QStringLiteral("Could not write the measurement journal %1 to "
                                              "the disk: %2")
                                   .arg(path_, reason));
        open_ = true;
        return true;
    }
    const QString headerProblem = unstorableHeader(contents.header);
    if (!headerProblem.isEmpty())
        return fail(error, QStringLiteral("Could not resume the measurement journal %1: %2")
                               .arg(path_, headerProblem));
    QByteArray data = recordLine(headerObject(contents.header));
    for (const JournalPoint& point : contents.points) {
        const QString why = unstorableField(point);
        if (!why.isEmpty())
            return fail(error, QStringLiteral("Could not keep point %1 in the measurement "
                                              "journal %2: %3")
                                   .arg(point.point)
                                   .arg(path_, why));
        data += recordLine(pointObject(point));
    }
    return writeWhole(data, error);
}

bool MeasurementJournal::append(const JournalPoint& point, QString* error) {
    if (!open_)
        return fail(error, QStringLiteral("The measurement journal %1 was not begun, or an "
                                          "earlier write to it failed")
                               .arg(path_));
    const QString why = unstorableField(point);
    if (!why.isEmpty())
        return fail(error, QStringLiteral("Could not keep point %1 in the measurement journal "
                                          "%2: %3")
                               .arg(point.point)
                               .arg(path_, why));
    const QByteArray line = recordLine(pointObject(point));
    if (line.size() > kMaxRecordBytes)
        return fail(error, QStringLiteral("Could not keep point %1 in the measurement journal "
                                          "%2: its trace is too long")
                               .arg(point.point)
                               .arg(path_));
    // Appending never creates the file: a journal removed behind our back is an error.
    QFile file(path_);
    if (!file.exists() || !file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return fail(error, QStringLiteral("Could not open the measurement journal %1: %2")
                               .arg(path_, file.exists() ? file.errorString()
                                                         : QStringLiteral("it is gone")));
    const qint64 before = file.size();
    // read() takes no more than this; a point beyond it would be written but never come back.
    if (before + line.size() > kMaxFileBytes)
        return fail(error, QStringLiteral("Could not write point %1 to the measurement journal "
                                          "%2: the journal is full")
                               .arg(point.point)
                               .arg(path_));
    QString reason;
    if (writeAll(file, line, &reason) && syncFile(file, &reason))
        return true;
    // Take back the part written so the next point does not follow a torn record; if even that
    // fails, later points would be lost behind it, so the journal takes no more.
    QString rollback;
    if (!file.resize(before) || !syncFile(file, &rollback)) {
        open_ = false;
        qCWarning(lcMeasure) << "The torn end of" << path_ << "could not be taken back;"
                             << "the journal takes no more points";
    }
    return fail(error, QStringLiteral("Could not write point %1 to the measurement journal %2: %3")
                           .arg(point.point)
                           .arg(path_, reason));
}

bool MeasurementJournal::remove(QString* error) {
    open_ = false;
    QFile::remove(path_ + QStringLiteral(".tmp"));
    QFile file(path_);
    if (!file.exists())
        return true;
    if (!file.remove())
        return fail(error, QStringLiteral("Could not remove the measurement journal %1: %2")
                               .arg(path_, file.errorString()));
    QString reason;
    if (!syncFolderOf(path_, &reason))
        qCWarning(lcMeasure) << "Could not write the removal of" << path_
                             << "to the disk:" << reason;
    return true;
}

std::optional<JournalContents> MeasurementJournal::read(const QString& path) {
    QString error;
    std::optional<Scan> found = scanFile(path, &error);
    if (!error.isEmpty())
        qCWarning(lcMeasure) << "Could not read the measurement journal" << error;
    if (!found)
        return std::nullopt;
    if (!found->contents.damage.isEmpty())
        qCWarning(lcMeasure) << "Measurement journal" << path << ":" << found->contents.damage;
    return std::move(found->contents);
}

} // namespace viro
