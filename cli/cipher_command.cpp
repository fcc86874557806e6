#include "cli/cli_support.h"
#include "cli/commands.h"

#include "core/text_cipher.h"

namespace viro::cli {

namespace {

const QString kUsage = QStringLiteral("usage: cipher encrypt|decrypt --key N TEXT");

} // namespace

int runCipher(const QStringList& args) {
    Arguments a(args);
    const std::optional<QString> keyText = a.option("key");
    if (!a.error().isEmpty())
        return fail("cipher: " + a.error());
    if (const QString unknown = a.unknownOptions(); !unknown.isEmpty())
        return fail("cipher: " + unknown);
    const QStringList& rest = a.rest();
    if (rest.isEmpty())
        return fail("cipher: missing sub-command; " + kUsage);
    const QString sub = rest.first();
    if (sub != QLatin1String("encrypt") && sub != QLatin1String("decrypt"))
        return fail("cipher: unknown sub-command " + sub + "; " + kUsage);
    if (!keyText)
        return fail("cipher: --key N is required (1 to 7)");
    bool numeric = false;
    const int key = keyText->toInt(&numeric);
    if (!numeric || !TextCipher::isValidKey(key))
        return fail("cipher: key must be a number from 1 to 7, not " + *keyText);
    if (rest.size() < 2)
        return fail("cipher " + sub + ": missing " + (sub == "encrypt" ? "TEXT" : "HEX"));
    if (rest.size() > 2)
        return fail("cipher " + sub + ": too many arguments");

    bool ok = false;
    if (sub == QLatin1String("encrypt")) {
        const QString hex = TextCipher::encrypt(rest[1], key, &ok);
        if (!ok)
            return fail("cipher encrypt: cannot encrypt with key " + *keyText);
        printOut(hex + '\n');
        return 0;
    }
    const QString text = TextCipher::decrypt(rest[1], key, &ok);
    if (!ok)
        return fail("cipher decrypt: not a valid cipher text: " + rest[1]);
    printOut(text + '\n');
    return 0;
}

const CommandRegistration registration("cipher",
                                       "cipher encrypt --key N TEXT\n"
                                       "cipher decrypt --key N HEX",
                                       runCipher);

} // namespace viro::cli
