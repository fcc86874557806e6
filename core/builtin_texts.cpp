#include "core/builtin_texts.h"

#include "core/text_cipher.h"

namespace viro::builtin {

namespace {

QString decipher(const char* hex) {
    return TextCipher::decrypt(QString::fromLatin1(hex), TextCipher::BuiltinTextKey);
}

} // namespace

QString productName() {
    static const QString text = decipher("3CD97EF44DCD9297A0");
    return text;
}

QString productTitle() {
    static const QString text =
        decipher("91958CCD59EF30E7332135CF54B27FB7A08DB064E333F437DC999E4BD226FF08");
    return text;
}

QString makerName() {
    static const QString text =
        decipher("0710074AAE46DB8DBF579A68AD63A15F083DE022A576B94EC551B778");
    return text;
}

QString webAddress() {
    static const QString text =
        decipher("D4769C22FC22351224E932C59273B16B96974F0B43D565BB5AA37BF9");
    return text;
}

QString organisation() {
    static const QString text =
        decipher("6E899C3CDC101543F529C85EA379BF61F625C1439B9257D34A0F2ACB53A664BD7C8780");
    return text;
}

} // namespace viro::builtin
