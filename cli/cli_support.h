#pragma once

#include <QByteArray>
#include <QCommandLineParser>
#include <QJsonDocument>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace viro::cli {

// Exit status when the work itself failed: a file that cannot be read or written, no probe.
inline constexpr int kFailure = 1;
// Exit status for bad arguments or input that cannot be processed.
inline constexpr int kUsageError = 2;

// Prints "viro-cli: MESSAGE" as one line on standard error and returns `status`.
int fail(const QString& message, int status = kUsageError);

// Writes to standard output; text as UTF-8. Failures show when the output is finished.
void printOut(const QByteArray& bytes);
void printOut(const QString& text);
// One JSON document on one line. Qt writes numbers in the C locale, as the shortest text that
// reads back to the same double, and the non-finite ones as null.
void printJson(const QJsonDocument& document);

// Flushes and closes standard output; false, with the reason, when anything written to it was
// lost.
bool finishOutput(QString* error);

// The options of one command, parsed by QCommandLineParser with the tool's own rules on top:
// an option's value must not itself look like an option ("--values --sex male" is missing its
// values, not given "--sex"), and no option may be given twice.
class CommandLine {
public:
    // `command` prefixes every message ("analyze", "chart"); `usage` is the synopsis that
    // --help prints above the options.
    CommandLine(QString command, QString usage);

    // "--name VALUE" (also "--name=VALUE").
    void addOption(const QString& name, const QString& valueName, const QString& description);
    // "--name" alone.
    void addFlag(const QString& name, const QString& description);

    // nullopt when the command goes on; otherwise the exit status to return at once: 0 after
    // printing the help for --help, kUsageError after printing what is wrong.
    std::optional<int> parse(const QStringList& args);

    std::optional<QString> value(const QString& name) const;
    bool isSet(const QString& name) const;
    QStringList positional() const;

    // fail() with the command's name in front of the message.
    int fail(const QString& message, int status = kUsageError) const;
    QString helpText() const;

private:
    QString parseError(const QStringList& args) const;

    struct Spec {
        QString name;
        QString valueName; // empty for a flag
        QString description;
    };
    QString command_;
    QString usage_;
    QCommandLineParser parser_;
    std::vector<Spec> specs_;
};

} // namespace viro::cli
