#include "cli/cli_support.h"
#include "cli/commands.h"

#include "core/data_folder.h"
#include "core/settings_file.h"

namespace viro::cli {

namespace {

QString jsonValue(const QString& text, SettingsValueType type) {
    switch (type) {
    case SettingsValueType::Integer:
        return text;
    case SettingsValueType::Decimal:
        return formatReal(text.toDouble());
    case SettingsValueType::Flag:
        return jsonBool(text == QLatin1String("1"));
    case SettingsValueType::Text:
        break;
    }
    return jsonString(text);
}

} // namespace

int runSettings(const QStringList& args) {
    Arguments a(args);
    const std::optional<QString> file = a.option("file");
    if (!a.error().isEmpty())
        return fail("settings: " + a.error());
    if (const QString unknown = a.unknownOptions(); !unknown.isEmpty())
        return fail("settings: " + unknown);
    const QStringList& rest = a.rest();
    if (rest.isEmpty())
        return fail("settings: missing sub-command; usage: settings show [--file PATH]");
    if (rest.first() != QLatin1String("show"))
        return fail("settings: unknown sub-command " + rest.first());
    if (rest.size() > 1)
        return fail("settings show: too many arguments");

    const QString path =
        file ? *file : dataFolder() + dataFileName(QLatin1String(kSettingsFileName));
    Settings settings;
    QString error;
    if (!loadSettings(path, settings, &error))
        return fail("settings show: " + error);

    const QStringList lines = settingsToLines(settings);
    QStringList items;
    items.reserve(lines.size());
    for (int i = 0; i < lines.size(); ++i)
        items << jsonValue(lines[i], settingsLineType(i + 1));
    printOut(jsonArray(items) + '\n');
    return 0;
}

const CommandRegistration registration("settings", "settings show [--file PATH]", runSettings);

} // namespace viro::cli
