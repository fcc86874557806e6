#include "core/builtin_texts.h"
#include "core/text_cipher.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <vector>

namespace viro {
namespace {

struct KnownVector {
    const char* name;
    QString text;
    int key;
    int seed;
    QString hex;
};

// Worked out by hand and with a separate script from the cipher's definition.
std::vector<KnownVector> knownVectors() {
    return {
        {"two characters, first value 0", QStringLiteral("Ab"), 1, 0x10, QStringLiteral("100017")},
        {"text longer than the key phrase", QStringLiteral("Meridian balance 2024"), 1, 0xA7,
         QStringLiteral("A7A57E996FBF6BAD6EE00514EF36F52CF875CBB98ACC")},
        {"Windows-1252 letters, dash and euro", QString::fromUtf8("Straße – €5"), 5, 0x00,
         QStringLiteral("00648F72BCAE60D2273DD568")},
        {"byte 255 wraps", QString::fromUtf8("ÿ"), 5, 0x20, QStringLiteral("2017")},
        {"decimal text with the settings key", QStringLiteral("0.95"), 5, 0xC3,
         QStringLiteral("C3C4A5AE8C")},
        {"key wraps three times",
         QStringLiteral("Long text that wraps the seventeen character settings key twice"), 5, 0x5E,
         QStringLiteral("5E9D5AB84F5DA5599F6EE638F63FCA878B9BCB6BAEA124F80C62AF7D90A3759098889087"
                        "BD56D879AE40FA1AE4668F9371888494CC1747DD719EEC2FDC2EF20E")},
        // After 'a' the running value is 255, where 'ÿ' and the byte 0 meet.
        {"255 after a running value of 255", QString::fromUtf8("aÿ"), 1, 0x4D,
         QStringLiteral("4DFF75")},
    };
}

TEST(TextCipher, KnownVectorsEncryptAndDecrypt) {
    for (const KnownVector& v : knownVectors()) {
        SCOPED_TRACE(v.name);
        bool ok = false;
        EXPECT_EQ(TextCipher::encrypt(v.text, v.key, v.seed, &ok), v.hex);
        EXPECT_TRUE(ok);
        ok = false;
        EXPECT_EQ(TextCipher::decrypt(v.hex, v.key, &ok), v.text);
        EXPECT_TRUE(ok);
        EXPECT_EQ(TextCipher::decrypt(v.hex.toLower(), v.key, &ok), v.text);
    }
}

TEST(TextCipher, RoundTripsWithRandomSeeds) {
    QString everyByte;
    for (int b = 1; b <= 255; ++b)
        everyByte += fromWindows1252(QByteArray(1, char(b)));
    const std::vector<std::pair<const char*, QString>> texts{
        {"ascii", QStringLiteral("Tarvel Internet Web Site")},
        {"spaces kept", QStringLiteral("  Fn1  ")},
        {"high Windows-1252", QString::fromUtf8("€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ")},
        {"Latin-1 letters and ÿ", QString::fromUtf8("Crème brûlée, Ærø, ñ, ÿÿÿÿ")},
        {"every byte", everyByte},
        {"long, wraps every key", QString(500, QChar('m')) + everyByte},
    };
    for (int key = TextCipher::FirstKey; key <= TextCipher::LastKey; ++key) {
        for (const auto& [name, text] : texts) {
            SCOPED_TRACE(QStringLiteral("key %1, %2").arg(key).arg(name).toStdString());
            for (int round = 0; round < 20; ++round) {
                bool ok = false;
                const QString hex = TextCipher::encrypt(text, key, &ok);
                ASSERT_TRUE(ok);
                ASSERT_EQ(hex.size(), 2 * text.size() + 2);
                ASSERT_EQ(TextCipher::decrypt(hex, key, &ok), text);
                ASSERT_TRUE(ok);
            }
        }
    }
}

TEST(TextCipher, EverySeedRoundTripsEveryByte) {
    // Exhaustive over the seed, so every running value meets 'ÿ' at least once.
    QByteArray bytes;
    for (int b = 255; b >= 1; --b)
        bytes += char(b);
    for (int seed = 0; seed <= 255; ++seed) {
        SCOPED_TRACE(seed);
        bool ok = false;
        const QString hex = TextCipher::encryptBytes(bytes, TextCipher::SettingsKey, seed, &ok);
        ASSERT_TRUE(ok);
        ASSERT_EQ(TextCipher::decryptBytes(hex, TextCipher::SettingsKey, &ok), bytes);
    }
}

TEST(TextCipher, EmptyTextEncryptsToEmpty) {
    bool ok = false;
    EXPECT_EQ(TextCipher::encrypt(QString(), TextCipher::SettingsKey, &ok), QString());
    EXPECT_TRUE(ok);
    EXPECT_EQ(TextCipher::encrypt(QString(), 1, 0x33, &ok), QString());
    ok = false;
    EXPECT_EQ(TextCipher::decrypt(QString(), TextCipher::SettingsKey, &ok), QString());
    EXPECT_TRUE(ok);
}

TEST(TextCipher, TwoEncryptionsOfOneTextDiffer) {
    const QString text = QStringLiteral("Medical R&D Center");
    const QString first = TextCipher::encrypt(text, TextCipher::SettingsKey);
    // A fresh seed each time: one repeat in 256 is possible, ten in a row is not.
    bool differed = false;
    for (int i = 0; i < 10 && !differed; ++i) {
        const QString other = TextCipher::encrypt(text, TextCipher::SettingsKey);
        EXPECT_EQ(TextCipher::decrypt(other, TextCipher::SettingsKey), text);
        differed = other != first;
    }
    EXPECT_TRUE(differed);
    EXPECT_EQ(TextCipher::decrypt(first, TextCipher::SettingsKey), text);
}

TEST(TextCipher, InvalidHexFailsCleanly) {
    const std::vector<std::pair<const char*, QString>> cases{
        {"odd length", QStringLiteral("10001")},        {"seed only", QStringLiteral("10")},
        {"single digit", QStringLiteral("1")},          {"non-hex digit", QStringLiteral("10G017")},
        {"blank inside", QStringLiteral("10 017")},     {"plain text", QStringLiteral("hello!")},
        {"non-Latin digit", QString::fromUtf8("10٣٣")},
    };
    for (const auto& [name, hex] : cases) {
        SCOPED_TRACE(name);
        bool ok = true;
        EXPECT_EQ(TextCipher::decrypt(hex, TextCipher::ReferenceTextKey, &ok), QString());
        EXPECT_FALSE(ok);
        ok = true;
        EXPECT_TRUE(TextCipher::decryptBytes(hex, TextCipher::ReferenceTextKey, &ok).isEmpty());
        EXPECT_FALSE(ok);
    }
}

TEST(TextCipher, UnknownKeyOrSeedFails) {
    for (const int key : {0, 8, -1, 100}) {
        SCOPED_TRACE(key);
        EXPECT_FALSE(TextCipher::isValidKey(key));
        EXPECT_TRUE(TextCipher::keyPhrase(key).isEmpty());
        bool ok = true;
        EXPECT_EQ(TextCipher::encrypt(QStringLiteral("x"), key, &ok), QString());
        EXPECT_FALSE(ok);
        ok = true;
        EXPECT_EQ(TextCipher::decrypt(QStringLiteral("100017"), key, &ok), QString());
        EXPECT_FALSE(ok);
        ok = true;
        EXPECT_EQ(TextCipher::decrypt(QString(), key, &ok), QString());
        EXPECT_FALSE(ok);
    }
    for (const int seed : {-1, 256}) {
        SCOPED_TRACE(seed);
        bool ok = true;
        EXPECT_EQ(TextCipher::encrypt(QStringLiteral("x"), 1, seed, &ok), QString());
        EXPECT_FALSE(ok);
    }
}

TEST(TextCipher, KeyPhrases) {
    EXPECT_EQ(TextCipher::keyPhrase(TextCipher::ReferenceTextKey), QByteArray("QuillBarnFrog"));
    EXPECT_EQ(TextCipher::keyPhrase(TextCipher::SettingsKey), QByteArray("7Wpo2tRNzhcVgymuf"));
    EXPECT_EQ(TextCipher::keyPhrase(6), TextCipher::keyPhrase(1));
    const QString text = QStringLiteral("Lung meridian");
    for (int seed : {0, 99, 255})
        EXPECT_EQ(TextCipher::encrypt(text, 6, seed, nullptr),
                  TextCipher::encrypt(text, 1, seed, nullptr));
    // The other phrases are distinct, so texts under one key do not read under another.
    for (int a = 1; a <= 7; ++a)
        for (int b = a + 1; b <= 7; ++b)
            if (!(a == 1 && b == 6)) {
                SCOPED_TRACE(QStringLiteral("keys %1 and %2").arg(a).arg(b).toStdString());
                EXPECT_NE(TextCipher::keyPhrase(a), TextCipher::keyPhrase(b));
            }
}

TEST(Windows1252, MapsCharactersToBytes) {
    struct Case {
        const char* name;
        QString text;
        QByteArray bytes;
    };
    const std::vector<Case> cases{
        {"ascii", QStringLiteral("Fn1"), QByteArray("Fn1")},
        {"euro and quotes", QString::fromUtf8("€“”"), QByteArray("\x80\x93\x94")},
        {"0x9F", QString::fromUtf8("Ÿ"), QByteArray("\x9F")},
        {"Latin-1", QString::fromUtf8("éÿ") + QChar(0xA0), QByteArray("\xE9\xFF\xA0")},
        {"no byte", QString::fromUtf8("a中b"), QByteArray("a?b")},
        {"surrogate pair is one character", QString::fromUtf8("x😀y"), QByteArray("x?y")},
        {"C1 control without a byte", QString(QChar(0x0080)), QByteArray("?")},
        {"undefined byte keeps its number", QString(QChar(0x008D)), QByteArray("\x8D")},
        {"NUL cannot be stored", QString(QChar(0)), QByteArray("?")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(toWindows1252(c.text), c.bytes);
    }
    EXPECT_EQ(fromWindows1252(QByteArray("\x80\x8A\x9C\xE4")), QString::fromUtf8("€Šœä"));
    for (int b = 1; b <= 255; ++b) {
        const QByteArray one(1, char(b));
        EXPECT_EQ(toWindows1252(fromWindows1252(one)), one) << "byte " << b;
    }
}

TEST(BuiltinTexts, DecipherToTheirTexts) {
    const std::vector<std::pair<QString, QString>> cases{
        {builtin::productName(), QStringLiteral("V.I.R.O.")},
        {builtin::productTitle(), QStringLiteral("Meridian Energy Analysis System")},
        {builtin::makerName(), QStringLiteral("Tarvel Meridian Instruments")},
        {builtin::webAddress(), QStringLiteral("https://www.tarvel.example/")},
        {builtin::organisation(), QStringLiteral("Tarvel Meridian Research Institute")},
    };
    for (const auto& [actual, expected] : cases)
        EXPECT_EQ(actual, expected);
}

} // namespace
} // namespace viro
