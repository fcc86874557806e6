#pragma once

#include <QByteArray>
#include <QString>

namespace viro {

// Windows-1252, the single-byte code page the enciphered texts are stored in. Characters
// 0x00-0x7F and 0xA0-0xFF are Latin-1; 0x80-0x9F carry the Windows typographic characters
// (euro sign, curly quotes, dashes, ...). The five bytes Windows leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) map to the C1 control of the same number, so every byte 1-255 survives a
// decode/encode round trip. A character with no byte (Chinese, emoji, U+0000, other C1
// controls) becomes '?'; a surrogate pair counts as one character.
QByteArray toWindows1252(const QString& text);
QString fromWindows1252(const QByteArray& bytes);

// A reversible, seeded text cipher with a numbered key phrase. The hex text is a two-digit
// seed followed by one two-digit value per byte, upper-case; an empty text enciphers to an
// empty hex text. Key numbers run 1 to 7; 6 is an alias of 1.
//
// The cipher cannot store the byte 0. It also maps byte 255 after a running value of 255 to
// the same value as byte 0 would give; since texts never hold 0, decryption reads that value
// as 255, so 'ÿ' always comes back.
class TextCipher {
public:
    static constexpr int ReferenceTextKey = 1; // reference texts of the meridian table
    static constexpr int SettingsKey = 5;      // every line of the settings file
    static constexpr int BuiltinTextKey = 7;   // product and maker texts built into the program
    static constexpr int FirstKey = 1;
    static constexpr int LastKey = 7;

    static bool isValidKey(int key) { return key >= FirstKey && key <= LastKey; }
    // The phrase of a key number; empty for an unknown number.
    static QByteArray keyPhrase(int key);

    // Enciphers with a fresh random seed (0-255). Unknown key: empty result, ok = false.
    static QString encrypt(const QString& text, int key, bool* ok = nullptr);
    // Same with a given seed, so results are reproducible. A seed outside 0-255 fails like an
    // unknown key.
    static QString encrypt(const QString& text, int key, int seed, bool* ok);
    // Hex that is not seed-plus-values (odd length, non-hex digits, a seed without values) or
    // an unknown key gives an empty text and ok = false. An empty hex text is an empty text.
    // Lower-case digits are accepted.
    static QString decrypt(const QString& hex, int key, bool* ok = nullptr);

    // The byte-level cipher behind encrypt/decrypt.
    static QString encryptBytes(const QByteArray& bytes, int key, int seed, bool* ok);
    static QByteArray decryptBytes(const QString& hex, int key, bool* ok);
};

} // namespace viro
