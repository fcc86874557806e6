#include "cli/cli_support.h"
#include "cli/commands.h"

#include "core/text_cipher.h"

namespace viro::cli {

namespace {

QString usage() {
    return QStringLiteral("cipher encrypt --key N TEXT\n"
                          "cipher decrypt --key N HEX");
}

int runCipher(const QStringList& args) {
    CommandLine line(QStringLiteral("cipher"), usage());
    line.addOption("key", "N", "the cipher key, 1 to 7 (required)");
    if (const std::optional<int> status = line.parse(args))
        return *status;
    const QString hint = QStringLiteral("; usage: cipher encrypt|decrypt --key N TEXT");
    const QStringList rest = line.positional();
    if (rest.isEmpty())
        return line.fail("missing sub-command" + hint);
    const QString sub = rest.first();
    if (sub != QLatin1String("encrypt") && sub != QLatin1String("decrypt"))
        return line.fail("unknown sub-command " + sub + hint);
    const std::optional<QString> keyText = line.value("key");
    if (!keyText)
        return line.fail("--key N is required (1 to 7)");
    bool numeric = false;
    const int key = keyText->toInt(&numeric);
    if (!numeric || !TextCipher::isValidKey(key))
        return line.fail("key must be a number from 1 to 7, not " + *keyText);
    const QString what = "cipher " + sub;
    if (rest.size() < 2)
        return fail(what + ": missing " + (sub == "encrypt" ? "TEXT" : "HEX"));
    if (rest.size() > 2)
        return fail(what + ": too many arguments");

    bool ok = false;
    if (sub == QLatin1String("encrypt")) {
        const QString hex = TextCipher::encrypt(rest[1], key, &ok);
        if (!ok)
            return fail(what + ": cannot encrypt with key " + *keyText);
        printOut(hex + '\n');
        return 0;
    }
    const QString text = TextCipher::decrypt(rest[1], key, &ok);
    if (!ok)
        return fail(what + ": not a valid cipher text: " + rest[1]);
    printOut(text + '\n');
    return 0;
}

} // namespace

const CommandRegistration registration("cipher", usage, runCipher);

} // namespace viro::cli
