#include "device/probe_protocol.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace viro::probe;

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

QByteArray spaces(int n) {
    return QByteArray(n, ' ');
}

// Shift table 05 0B 03 09 07, worked out by hand for each case.
TEST(ProbeProtocol, OutputReportBytes) {
    struct Case {
        const char* name;
        QString command;
        int length;
        QByteArray expected;
    };
    const std::vector<Case> cases{
        {"five characters, short report", "D0000", 9,
         bytes({0x00, 0x49, 0x3B, 0x33, 0x39, 0x37}) + spaces(3)},
        {"five characters, full report", "X0000", 65,
         bytes({0x00, 0x5D, 0x3B, 0x33, 0x39, 0x37}) + spaces(59)},
        {"three characters padded with spaces", "K01", 9,
         bytes({0x00, 0x50, 0x3B, 0x34}) + spaces(5)},
        {"characters after the fifth unshifted", "ABCDEFG", 9,
         bytes({0x00, 0x46, 0x4D, 0x46, 0x4D, 0x4C, 0x46, 0x47, 0x20})},
        {"command longer than the report is cut", "ABCDEFG", 4, bytes({0x00, 0x46, 0x4D, 0x46})},
        {"empty command is all spaces", "", 5, bytes({0x00}) + spaces(4)},
        {"no room for anything", "D0000", 0, QByteArray()},
        {"report ID only", "D0000", 1, bytes({0x00})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(buildOutputReport(c.command, kShiftTable, c.length).toHex(' '),
                  c.expected.toHex(' '));
    }
}

TEST(ProbeProtocol, AtMostSixtyFourCommandBytes) {
    const QString command(70, QLatin1Char('A'));
    const QByteArray report = buildOutputReport(command, kNoShift, 80);
    ASSERT_EQ(report.size(), 80);
    EXPECT_EQ(report.mid(1, 64), QByteArray(64, 'A'));
    EXPECT_EQ(report.mid(65), spaces(15));
}

TEST(ProbeProtocol, ShiftWrapsModulo256) {
    const ShiftTable shift{0x05, 0x0B, 0x03, 0x09, 0x07};
    EXPECT_EQ(shiftForward(bytes({0xFE, 0xF8, 0x10}), shift), bytes({0x03, 0x03, 0x13}));
    EXPECT_EQ(shiftBack(bytes({0x03, 0x03, 0x13}), shift), bytes({0xFE, 0xF8, 0x10}));
}

TEST(ProbeProtocol, ReplyTrimmingAndBackwardShift) {
    struct Case {
        const char* name;
        QByteArray wire;
        QString reply;
    };
    // "D0ABC" shifted: 49 3B 44 4B 4A = "I;DKJ".
    const std::vector<Case> cases{
        {"five characters are shifted back", "I;DKJ", "D0ABC"},
        {"padding and control characters are trimmed",
         bytes({0x20, 0x01}) + "I;DKJ" + QByteArray(58, '\0'), "D0ABC"},
        {"six characters are taken as they are", "I;DKJ1", "I;DKJ1"},
        {"rejection travels unshifted", QByteArray("Z0000") + QByteArray(59, '\0'), "Z0000"},
        {"acknowledgement travels unshifted", "  Z0001  ", "Z0001"},
        {"fewer than five are shifted back too", "W;", "R0"},
        {"nothing but padding", QByteArray(64, '\0'), ""},
        {"spaces inside are kept", "I; KJ",
         "D0\x1d"
         "BC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decodeReply(c.wire, kShiftTable), c.reply);
    }
}

TEST(ProbeProtocol, EncodeReplyFollowsTheSameRule) {
    EXPECT_EQ(encodeReply("D0ABC", kShiftTable), QByteArray("I;DKJ"));
    EXPECT_EQ(encodeReply("Z0000", kShiftTable), QByteArray("Z0000"));
    EXPECT_EQ(encodeReply("Z0001", kShiftTable), QByteArray("Z0001"));
    EXPECT_EQ(encodeReply("ABCDEF", kShiftTable), QByteArray("ABCDEF"));
}

TEST(ProbeProtocol, SoundEffects) {
    struct Case {
        int effect;
        QStringList commands;
    };
    const std::vector<Case> cases{
        {1, {"S8863"}},
        {2, {"S885E", "S8862"}},
        {3, {"S5662", "S8960"}},
        {4, {"SB660"}},
        {5, {"S6862"}},
        {6, {"S6864", "S4F62"}},
        {7, {"SD05D"}},
        {8, {"SA060"}},
        {9, {"SD05D"}},
        {10, {"SAB5D"}},
        {11, {"S905D"}},
        {12, {"S685D"}},
        {13, {"SC040"}},
        {0, {}},
        {14, {}},
        {-1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.effect);
        EXPECT_EQ(soundEffectCommands(c.effect), c.commands);
    }
}

TEST(ProbeProtocol, HexDigitsOnly) {
    struct Case {
        const char* text;
        std::optional<int> value;
    };
    const std::vector<Case> cases{
        {"0", 0},
        {"FFF", 4095},
        {"abc", 2748},
        {"0aF", 175},
        {"FFFFFFF", 0xFFFFFFF},
        // Everything a general number parse would let through.
        {"-FF", std::nullopt},
        {"+1F", std::nullopt},
        {"0x1F", std::nullopt},
        {"0X1F", std::nullopt},
        {" 1F", std::nullopt},
        {"1F ", std::nullopt},
        {"1G", std::nullopt},
        {"", std::nullopt},
        {"10000000", std::nullopt}, // eight digits need not fit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseHex(QString::fromLatin1(c.text)), c.value);
    }
}

TEST(ProbeProtocol, TwoHexDigits) {
    EXPECT_EQ(hex2(0), "00");
    EXPECT_EQ(hex2(0x0B), "0B");
    EXPECT_EQ(hex2(255), "FF");
}

} // namespace
