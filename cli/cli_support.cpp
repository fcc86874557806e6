#include "cli/cli_support.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace viro::cli {

namespace {

const QString kHelp = QStringLiteral("help");

QString optionText(const QString& name) {
    return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

// "--name=value" -> "name".
QString bareName(const QString& argument) {
    QString name = argument.section('=', 0, 0);
    while (name.startsWith('-'))
        name.remove(0, 1);
    return name;
}

} // namespace

int fail(const QString& message, int status) {
    const QByteArray line = ("viro-cli: " + message + "\n").toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
    return status;
}

void printOut(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void printOut(const QString& text) {
    printOut(text.toUtf8());
}

void printJson(const QJsonDocument& document) {
    printOut(document.toJson(QJsonDocument::Compact) + '\n');
}

bool finishOutput(QString* error) {
    // A full disk often shows only when the buffer is flushed, and some file systems report a
    // lost write only when the file is closed.
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout);
    const int flushError = errno;
    const bool closed = std::fclose(stdout) == 0;
    if (flushed && closed)
        return true;
    const int code = flushed ? errno : flushError;
    *error = code ? QString::fromLocal8Bit(std::strerror(code)) : QStringLiteral("write error");
    return false;
}

CommandLine::CommandLine(QString command, QString usage)
    : command_(std::move(command)), usage_(std::move(usage)) {
    // "-name" is read as "--name", so a mistyped dash is an unknown option rather than a
    // string of one-letter options.
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser_.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), kHelp}));
}

void CommandLine::addOption(const QString& name, const QString& valueName,
                            const QString& description) {
    parser_.addOption(QCommandLineOption(name, description, valueName));
    specs_.push_back({name, valueName, description});
}

void CommandLine::addFlag(const QString& name, const QString& description) {
    parser_.addOption(QCommandLineOption(name, description));
    specs_.push_back({name, QString(), description});
}

std::optional<int> CommandLine::parse(const QStringList& args) {
    const bool parsed = parser_.parse(QStringList{QStringLiteral("viro-cli")} + args);
    // Help wins over every other mistake on the line.
    if (parser_.isSet(kHelp)) {
        printOut(helpText());
        return 0;
    }
    if (!parsed)
        return fail(parseError(args));
    const QStringList found = parser_.optionNames();
    for (const Spec& spec : specs_) {
        if (found.count(spec.name) > 1)
            return fail("--" + spec.name + " is given twice");
        if (spec.valueName.isEmpty() || !parser_.isSet(spec.name))
            continue;
        // Only "--name=--x" says for sure that "--x" is meant as the value.
        const QString v = parser_.value(spec.name);
        const bool explicitValue = std::any_of(args.begin(), args.end(), [&](const QString& a) {
            return bareName(a) == spec.name && a.contains('=');
        });
        if (v.startsWith(QLatin1String("--")) && !explicitValue)
            return fail("--" + spec.name + " needs a value, not the option " + v);
    }
    return std::nullopt;
}

QString CommandLine::parseError(const QStringList& args) const {
    const QStringList unknown = parser_.unknownOptionNames();
    if (!unknown.isEmpty()) {
        // Named as it was typed.
        for (const QString& a : args) {
            if (a == QLatin1String("--"))
                break;
            if (a.startsWith('-') && bareName(a) == unknown.first())
                return "unknown option " + a.section('=', 0, 0);
        }
        return "unknown option " + optionText(unknown.first());
    }
    // A value can only be missing after the last argument; anything else is Qt's own text.
    if (!args.isEmpty()) {
        const QString last = args.last();
        for (const Spec& spec : specs_)
            if (!spec.valueName.isEmpty() && (last == "--" + spec.name || last == "-" + spec.name))
                return "--" + spec.name + " needs a value";
    }
    QString text = parser_.errorText().trimmed();
    if (text.endsWith('.'))
        text.chop(1);
    if (!text.isEmpty())
        text[0] = text[0].toLower();
    return text;
}

std::optional<QString> CommandLine::value(const QString& name) const {
    if (!parser_.isSet(name))
        return std::nullopt;
    return parser_.value(name);
}

bool CommandLine::isSet(const QString& name) const {
    return parser_.isSet(name);
}

QStringList CommandLine::positional() const {
    return parser_.positionalArguments();
}

int CommandLine::fail(const QString& message, int status) const {
    return viro::cli::fail(command_ + ": " + message, status);
}

QString CommandLine::helpText() const {
    const QString program = QStringLiteral("viro-cli ");
    QString text;
    const QStringList lines = usage_.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        // Each synopsis starts with the command's name; the other lines continue one.
        if (i == 0)
            text += "usage: " + program + line + '\n';
        else if (line.startsWith(command_))
            text += "       " + program + line + '\n';
        else
            text += QString(7 + program.size(), ' ') + line + '\n';
    }
    QList<std::pair<QString, QString>> rows;
    for (const Spec& spec : specs_)
        rows.append({"--" + spec.name + (spec.valueName.isEmpty() ? "" : " " + spec.valueName),
                     spec.description});
    rows.append({QStringLiteral("-h, --help"), QStringLiteral("print this help and exit")});
    qsizetype width = 0;
    for (const auto& row : rows)
        width = std::max(width, row.first.size());
    text += QStringLiteral("\noptions:\n");
    for (const auto& [option, description] : rows)
        text += "  " + option.leftJustified(width) + "  " + description + '\n';
    return text;
}

} // namespace viro::cli
