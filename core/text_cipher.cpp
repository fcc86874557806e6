#include "core/text_cipher.h"

#include <QList>
#include <QRandomGenerator>

#include <array>

namespace viro {

namespace {

// Characters of bytes 0x80-0x9F; an undefined byte keeps its own number (a C1 control).
constexpr std::array<char16_t, 32> kHighControls{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char byteOf(char32_t c) {
    if ((c >= 0x01 && c <= 0x7F) || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (int i = 0; i < int(kHighControls.size()); ++i)
        if (kHighControls[i] == c)
            return char(0x80 + i);
    return '?';
}

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

void appendHex(QString& out, int value) {
    static const char digits[] = "0123456789ABCDEF";
    out += QChar(digits[(value >> 4) & 0xF]);
    out += QChar(digits[value & 0xF]);
}

void setOk(bool* ok, bool value) {
    if (ok)
        *ok = value;
}

} // namespace

QByteArray toWindows1252(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const char32_t c : text.toUcs4())
        bytes += byteOf(c);
    return bytes;
}

QString fromWindows1252(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (const char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        text += (u >= 0x80 && u <= 0x9F) ? QChar(kHighControls[u - 0x80]) : QChar(u);
    }
    return text;
}

QByteArray TextCipher::keyPhrase(int key) {
    switch (key) {
    case 1:
    case 6:
        return QByteArrayLiteral("QuillBarnFrog");
    case 2:
        return QByteArrayLiteral("MossLanternVale");
    case 3:
        return QByteArrayLiteral("Hq4tPebbleDrum");
    case 4:
        return QByteArrayLiteral("CinderWharf82");
    case 5:
        return QByteArrayLiteral("7Wpo2tRNzhcVgymuf");
    case 7:
        return QByteArrayLiteral("Kv3nRiverSlateOwl");
    default:
        return {};
    }
}

QString TextCipher::encrypt(const QString& text, int key, bool* ok) {
    return encrypt(text, key, int(QRandomGenerator::global()->bounded(256)), ok);
}

QString TextCipher::encrypt(const QString& text, int key, int seed, bool* ok) {
    return encryptBytes(toWindows1252(text), key, seed, ok);
}

QString TextCipher::decrypt(const QString& hex, int key, bool* ok) {
    bool valid = false;
    const QByteArray bytes = decryptBytes(hex, key, &valid);
    setOk(ok, valid);
    return valid ? fromWindows1252(bytes) : QString();
}

QString TextCipher::encryptBytes(const QByteArray& bytes, int key, int seed, bool* ok) {
    const QByteArray phrase = keyPhrase(key);
    if (phrase.isEmpty() || seed < 0 || seed > 255) {
        setOk(ok, false);
        return {};
    }
    setOk(ok, true);
    if (bytes.isEmpty())
        return {};
    QString hex;
    hex.reserve(2 * bytes.size() + 2);
    int v = seed;
    appendHex(hex, v);
    for (int i = 0; i < bytes.size(); ++i) {
        const int c = static_cast<unsigned char>(bytes[i]);
        const int k = static_cast<unsigned char>(phrase[i % phrase.size()]);
        v = ((c + v) % 255) ^ k;
        appendHex(hex, v);
    }
    return hex;
}

QByteArray TextCipher::decryptBytes(const QString& hex, int key, bool* ok) {
    const QByteArray phrase = keyPhrase(key);
    setOk(ok, false);
    if (phrase.isEmpty())
        return {};
    if (hex.isEmpty()) {
        setOk(ok, true);
        return {};
    }
    if (hex.size() % 2 != 0 || hex.size() < 4)
        return {};
    QByteArray bytes;
    bytes.reserve(hex.size() / 2 - 1);
    int p = -1;
    for (int i = 0; i < hex.size(); i += 2) {
        const int hi = hexDigit(hex[i]);
        const int lo = hexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return {};
        const int v = hi * 16 + lo;
        if (p >= 0) {
            const int k = static_cast<unsigned char>(phrase[(i / 2 - 1) % phrase.size()]);
            const int a = v ^ k;
            int c = p < a ? a - p : a + 255 - p;
            // 0 never occurs in a text; this value can only have come from 255.
            if (c == 0)
                c = 255;
            bytes += char(c);
        }
        p = v;
    }
    setOk(ok, true);
    return bytes;
}

} // namespace viro
