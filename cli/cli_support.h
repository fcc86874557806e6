#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <optional>

namespace viro::cli {

// Exit status for bad arguments or input that cannot be processed.
inline constexpr int kUsageError = 2;

// Prints "viro-cli: MESSAGE" as one line on standard error and returns kUsageError.
int fail(const QString& message);

// Writes text to standard output as UTF-8.
void printOut(const QString& text);

// A real written so that it reads back to the same double.
QString formatReal(double value);

// Minimal JSON text building with exact control over number formatting. Items passed in are
// already JSON texts.
QString jsonString(const QString& text);
QString jsonArray(const QStringList& items);
QString jsonObject(const QList<std::pair<QString, QString>>& members);
QString jsonBool(bool value);

// Options of one command: "--name value" pairs and "--flag" switches, the rest positional.
class Arguments {
public:
    explicit Arguments(QStringList args) : args_(std::move(args)) {}

    // Removes "--name VALUE" (or "--name=VALUE") and returns VALUE. A missing value is an error.
    std::optional<QString> option(const QString& name);
    // Removes "--name" and tells whether it was there.
    bool flag(const QString& name);
    // What is left once all known options are taken.
    const QStringList& rest() const { return args_; }
    // First error met (a value missing after an option), empty when none.
    const QString& error() const { return error_; }
    // After all option()/flag() calls: an error text for leftover "--options", or empty.
    QString unknownOptions() const;

private:
    QStringList args_;
    QString error_;
};

} // namespace viro::cli
