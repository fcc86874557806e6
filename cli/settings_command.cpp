#include "cli/cli_support.h"
#include "cli/commands.h"

#include "core/data_folder.h"
#include "core/settings_file.h"

#include <QJsonArray>

namespace viro::cli {

namespace {

QJsonValue jsonValue(const QString& text, SettingsValueType type) {
    bool ok = false;
    switch (type) {
    case SettingsValueType::Integer:
        if (const qint64 v = text.toLongLong(&ok); ok)
            return v;
        break;
    case SettingsValueType::Decimal:
        if (const double v = text.toDouble(&ok); ok)
            return v;
        break;
    case SettingsValueType::Flag:
        return text == QLatin1String("1");
    case SettingsValueType::Text:
        break;
    }
    // Read-back values are always numbers where a number belongs; anything else stays text
    // rather than break the output.
    return text;
}

QString usage() {
    return QStringLiteral("settings show [--file PATH]");
}

int runSettings(const QStringList& args) {
    CommandLine line(QStringLiteral("settings"), usage());
    line.addOption("file", "PATH", "the settings file (default zedefe6c.ini in the data folder)");
    if (const std::optional<int> status = line.parse(args))
        return *status;
    const QStringList rest = line.positional();
    if (rest.isEmpty())
        return line.fail("missing sub-command; usage: settings show [--file PATH]");
    if (rest.first() != QLatin1String("show"))
        return line.fail("unknown sub-command " + rest.first());
    if (rest.size() > 1)
        return fail("settings show: too many arguments");

    const std::optional<QString> file = line.value("file");
    const QString path =
        file ? *file : dataFolder() + dataFileName(QLatin1String(kSettingsFileName));
    Settings settings;
    QString error;
    if (!loadSettings(path, settings, &error))
        return fail("settings show: " + error);

    const QStringList lines = settingsToLines(settings);
    QJsonArray items;
    for (int i = 0; i < lines.size(); ++i)
        items.append(jsonValue(lines[i], settingsLineType(i + 1)));
    printJson(QJsonDocument(items));
    return 0;
}

} // namespace

const CommandRegistration registration("settings", usage, runSettings);

} // namespace viro::cli
