#include "data/src/source_format.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <vector>

namespace viro {
namespace {

struct ParseCase {
    const char* name;
    QString text;
    std::vector<SourceField> expected; // name, value, line
};

TEST(SourceFormat, ReadsFieldsContinuationsAndParagraphs) {
    const std::vector<ParseCase> cases{
        {"single field", QStringLiteral("key: 3\n"), {{"key", "3", 1}}},
        {"comments and blank lines are skipped",
         QStringLiteral("# heading\n\nkey: 3\n\n# note\nDtEA1: text\n"),
         {{"key", "3", 3}, {"DtEA1", "text", 6}}},
        {"indented lines continue with one blank",
         QStringLiteral("DtMA1: first\n    second\n  third\n"),
         {{"DtMA1", "first second third", 1}}},
        {"an empty line between continuations starts a paragraph",
         QStringLiteral("DtMA1: one\n    two\n\n    three\nDtMA2: x\n"),
         {{"DtMA1", "one two\nthree", 1}, {"DtMA2", "x", 5}}},
        {"blank lines before the next field add nothing",
         QStringLiteral("a: one\n\n\nb: two\n"),
         {{"a", "one", 1}, {"b", "two", 4}}},
        {"a value may start on the next line",
         QStringLiteral("text:\n    begins here\n"),
         {{"text", "begins here", 1}}},
        {"carriage returns are ignored", QStringLiteral("a: x\r\n  y\r\n"), {{"a", "x y", 1}}},
        {"code page characters pass",
         QStringLiteral("a: caf\u00e9 \u2013 \u20ac\n"),
         {{"a", QStringLiteral("caf\u00e9 \u2013 \u20ac"), 1}}},
        {"value keeps inner colons",
         QStringLiteral("DtPot1: LU9 (H1): wrist\n"),
         {{"DtPot1", "LU9 (H1): wrist", 1}}},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<SourceField> fields;
        SourceError error;
        ASSERT_TRUE(parseSourceFields(c.text, QStringLiteral("t.txt"), &fields, &error))
            << error.toString().toStdString();
        ASSERT_EQ(fields.size(), c.expected.size());
        for (size_t i = 0; i < fields.size(); ++i) {
            EXPECT_EQ(fields[i].name, c.expected[i].name);
            EXPECT_EQ(fields[i].value, c.expected[i].value);
            EXPECT_EQ(fields[i].line, c.expected[i].line);
        }
    }
}

struct ErrorCase {
    const char* name;
    QString text;
    int line;
    const char* messagePart;
};

TEST(SourceFormat, RefusesMalformedTextWithItsLine) {
    const std::vector<ErrorCase> cases{
        {"continuation without a field", QStringLiteral("  orphan\n"), 1, "without a field"},
        {"line without a colon", QStringLiteral("a: x\njust words\n"), 2, "name: value"},
        {"name with a blank", QStringLiteral("two words: x\n"), 1, "name: value"},
        {"tab character", QStringLiteral("a: x\n\tmore\n"), 2, "tab"},
        {"character outside the code page", QStringLiteral("a: \u4e2d\n"), 1, "U+4e2d"},
        {"control character", QStringLiteral("a: x\u0007y\n"), 1, "U+0007"},
        {"C1 control character", QStringLiteral("a: x\u0081y\n"), 1, "U+0081"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<SourceField> fields;
        SourceError error;
        EXPECT_FALSE(parseSourceFields(c.text, QStringLiteral("t.txt"), &fields, &error));
        EXPECT_EQ(error.line, c.line);
        EXPECT_TRUE(error.message.contains(QLatin1String(c.messagePart)))
            << error.message.toStdString();
        EXPECT_TRUE(error.toString().startsWith(QStringLiteral("t.txt:%1: ").arg(c.line)));
    }
}

} // namespace
} // namespace viro
