#include "core/settings_file.h"

#include "core/builtin_texts.h"
#include "core/log.h"
#include "core/text_cipher.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <cmath>

namespace viro {

namespace {

constexpr int kCalibrationDefault = 4000;
constexpr int kCalibrationMinimum = 2000;

// Line numbers of the groups that repeat.
constexpr int kCaptionLine = 28;
constexpr int kHintLine = 34;
constexpr int kProgramLine = 40;
constexpr int kParameterLine = 46;
constexpr int kCustomOrderLine = 53;
constexpr int kCustomFactorLine = 66;

class LineReader {
public:
    explicit LineReader(const QStringList& lines) : lines_(lines) {}

    QString raw(int line) const { return line <= lines_.size() ? lines_[line - 1] : QString(); }
    QString trimmed(int line) const { return raw(line).trimmed(); }

    QString text(int line, const QString& whenEmpty) const {
        const QString t = trimmed(line);
        return t.isEmpty() ? whenEmpty : t;
    }

    int integer(int line, int fallback) const {
        bool ok = false;
        const int v = trimmed(line).toInt(&ok);
        return ok ? v : fallback;
    }

    int calibration(int line) const {
        const int v = integer(line, kCalibrationDefault);
        return v < kCalibrationMinimum ? kCalibrationDefault : v;
    }

    double decimal(int line, double fallback) const {
        QString t = trimmed(line);
        bool ok = false;
        double v = t.toDouble(&ok);
        // Older files were written with the user's locale; take "0,95" as 0.95.
        if (!ok && t.count(',') == 1 && !t.contains('.'))
            v = t.replace(',', '.').toDouble(&ok);
        return ok && std::isfinite(v) ? v : fallback;
    }

    bool flag(int line) const { return trimmed(line) == QLatin1String("1"); }

private:
    const QStringList& lines_;
};

QString decimalText(double value) {
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

QString flagText(bool value) {
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

bool writeLines(const QString& path, const Settings& settings, QString* error) {
    // Whatever is there and cannot be read may be the user's settings that a passing fault hides.
    const QFileInfo existing(path);
    if (existing.exists() && !(existing.isFile() && existing.isReadable())) {
        if (error)
            *error = QStringLiteral("The settings file %1 cannot be read, so it is not saved over")
                         .arg(path);
        return false;
    }
    QByteArray content;
    for (const QString& line : settingsToLines(settings)) {
        content += TextCipher::encrypt(line, TextCipher::SettingsKey).toLatin1();
        content += "\r\n";
    }
    QSaveFile file(path);
    // Unbuffered, so a short write (full disk, size limit) shows here and not as a commit
    // that quietly keeps a truncated file.
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    for (qsizetype done = 0; written && done < content.size();) {
        const qint64 n = file.write(content.constData() + done, content.size() - done);
        written = n > 0;
        done += n;
    }
    if (!written || !file.commit()) {
        if (error)
            *error = QStringLiteral("Cannot write the settings file %1: %2")
                         .arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}

} // namespace

SettingsValueType settingsLineType(int line) {
    if ((line >= 1 && line <= 4) || line == 15 || (line >= 18 && line <= 26) ||
        (line >= 52 && line <= 65) || line == 78)
        return SettingsValueType::Integer;
    if (line == 6 || line == 16 || (line >= 66 && line <= 77))
        return SettingsValueType::Decimal;
    if (line == 13 || line == 14 || line == 17)
        return SettingsValueType::Flag;
    return SettingsValueType::Text;
}

Settings settingsFromLines(const QStringList& plainLines) {
    return settingsFromLines(plainLines, QDate::currentDate());
}

Settings settingsFromLines(const QStringList& plainLines, const QDate& today) {
    const LineReader in(plainLines);
    const Settings defaults = Settings::firstStartDefaults(today);
    Settings s;
    s.calibrationNormal = in.calibration(1);
    s.calibrationHigh = in.calibration(2);
    s.electrodeCalibrationNormal = in.calibration(3);
    s.electrodeCalibrationHigh = in.calibration(4);
    s.analysisOptions = in.text(5, defaults.analysisOptions);
    s.sensitivity = in.decimal(6, 1.0);
    s.lastCalibrationDate = in.text(7, defaults.lastCalibrationDate);
    s.windowTitle = in.text(8, defaults.windowTitle);
    s.reportTitle = in.text(9, defaults.reportTitle);
    s.organisation = in.text(10, defaults.organisation);
    s.department = in.text(11, defaults.department);
    s.flagText = in.text(12, defaults.flagText);
    s.locatorSound = in.flag(13);
    s.locatorKeepHighest = in.flag(14);
    s.locatorSensitivity = in.integer(15, 2);
    s.locatorHighest = in.decimal(16, 0);
    s.locatorHighPotential = in.flag(17);
    s.guidePictureMode = in.integer(18, 1);
    s.soundMode = in.integer(19, 1);
    s.calibrationSoundMode = in.integer(20, 1);
    s.spareInteger = in.integer(21, 1);
    s.measurementMethod = in.integer(22, 1);
    s.measurementChannel = in.integer(23, 0);
    s.measurementProcedure = in.integer(24, 0);
    s.userMeasuringTime = in.integer(25, 2000);
    s.userAveragingWindow = in.integer(26, 500);
    s.functionButtonVisibility = in.text(27, QStringLiteral("000000"));
    for (int i = 0; i < 6; ++i) {
        s.functionCaption[i] = in.raw(kCaptionLine + i);
        s.functionHint[i] = in.raw(kHintLine + i);
        s.functionProgram[i] = in.raw(kProgramLine + i);
        s.functionParameter[i] = in.raw(kParameterLine + i);
    }
    s.orderMode = in.integer(52, 0);
    for (int i = 0; i < kMeridianCount; ++i)
        s.customOrder[i] = in.integer(kCustomOrderLine + i, i + 1);
    s.compensationMode = in.integer(65, 0);
    for (int i = 0; i < kMeridianCount; ++i)
        s.customFactors[i] = in.decimal(kCustomFactorLine + i, 1.0);
    s.indexDisplayMode = in.integer(78, 1);
    s.rebuildDerivedTables();
    return s;
}

QStringList settingsToLines(const Settings& s) {
    QStringList out;
    out.reserve(kSettingsLineCount);
    out << QString::number(s.calibrationNormal) << QString::number(s.calibrationHigh)
        << QString::number(s.electrodeCalibrationNormal)
        << QString::number(s.electrodeCalibrationHigh) << s.analysisOptions
        << decimalText(s.sensitivity) << s.lastCalibrationDate << s.windowTitle << s.reportTitle
        << s.organisation << s.department << s.flagText << flagText(s.locatorSound)
        << flagText(s.locatorKeepHighest) << QString::number(s.locatorSensitivity)
        << decimalText(s.locatorHighest) << flagText(s.locatorHighPotential)
        << QString::number(s.guidePictureMode) << QString::number(s.soundMode)
        << QString::number(s.calibrationSoundMode) << QString::number(s.spareInteger)
        << QString::number(s.measurementMethod) << QString::number(s.measurementChannel)
        << QString::number(s.measurementProcedure) << QString::number(s.userMeasuringTime)
        << QString::number(s.userAveragingWindow) << s.functionButtonVisibility;
    for (const auto* group :
         {&s.functionCaption, &s.functionHint, &s.functionProgram, &s.functionParameter})
        for (const QString& text : *group)
            out << text;
    out << QString::number(s.orderMode);
    for (const int m : s.customOrder)
        out << QString::number(m);
    out << QString::number(s.compensationMode);
    for (const double f : s.customFactors)
        out << decimalText(f);
    out << QString::number(s.indexDisplayMode);
    return out;
}

QStringList splitSettingsFileLines(const QByteArray& content) {
    QByteArray data = content;
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char c = data[i];
        if (c != '\n' && c != '\r')
            continue;
        lines << QString::fromLatin1(data.mid(start, i - start));
        if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < data.size())
        lines << QString::fromLatin1(data.mid(start));
    return lines;
}

bool loadSettings(const QString& path, Settings& out, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot read the settings file %1: %2")
                         .arg(path, file.errorString());
        return false;
    }
    const QStringList hexLines = splitSettingsFileLines(file.readAll());
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("Cannot read the settings file %1: %2")
                         .arg(path, file.errorString());
        return false;
    }
    QStringList plain;
    plain.reserve(kSettingsLineCount);
    for (int i = 0; i < kSettingsLineCount && i < hexLines.size(); ++i) {
        bool ok = false;
        const QString text =
            TextCipher::decrypt(hexLines[i].trimmed(), TextCipher::SettingsKey, &ok);
        plain << (ok ? text : QString());
    }
    out = settingsFromLines(plain);
    return true;
}

SettingsStore::LoadResult SettingsStore::load(Settings& out, QString* error) {
    // A dangling link or nothing at all is a first start; anything else that is there counts.
    if (!QFileInfo::exists(path_))
        return LoadResult::Missing;
    QString message;
    if (loadSettings(path_, out, &message))
        return LoadResult::Loaded;
    qCWarning(lcCore).noquote() << message << "- running on defaults, saves refused";
    savesRefused_ = true;
    out = settingsFromLines(QStringList());
    if (error)
        *error = message;
    return LoadResult::Unreadable;
}

bool SettingsStore::save(Settings& settings, QString* error) {
    // The changed settings work for the rest of the run even when they cannot be kept.
    settings.rebuildDerivedTables();
    QString message;
    if (savesRefused_) {
        message = QStringLiteral("The settings file %1 could not be read at start, so it is not "
                                 "saved over; the changed settings last until the program ends")
                      .arg(path_);
    } else if (saveSettings(path_, settings, &message)) {
        return true;
    }
    qCWarning(lcCore).noquote() << message;
    if (error)
        *error = message;
    return false;
}

bool saveSettings(const QString& path, const Settings& in, QString* error) {
    return writeLines(path, in, error);
}

bool saveSettings(const QString& path, Settings& settings, QString* error) {
    settings.rebuildDerivedTables();
    return writeLines(path, settings, error);
}

} // namespace viro
