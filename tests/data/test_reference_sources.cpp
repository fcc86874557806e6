#include "analysis/meridian_model.h"
#include "data/src/reference_texts.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <vector>

namespace viro {
namespace {

std::vector<SourceField> topicFields(const QString& key) {
    return {{"key", key, 1},
            {"DtMA1", "about", 2},
            {"DtMA2", "normal", 3},
            {"DtMH1", "high", 4},
            {"DtML1", "low", 5}};
}

TEST(ReferenceEntry, AcceptsAGeneralTopicWithItsFourTexts) {
    ReferenceEntry entry;
    SourceError error;
    ASSERT_TRUE(readReferenceEntry(topicFields("15"), "t.txt", &entry, &error))
        << error.toString().toStdString();
    EXPECT_EQ(entry.key, 15);
    EXPECT_EQ(entry.texts.size(), 4);
    EXPECT_EQ(entry.texts.value("DtMH1"), QStringLiteral("high"));
}

TEST(ReferenceEntry, RefusesEntriesTheWindowsCouldNotShow) {
    struct Case {
        const char* name;
        std::vector<SourceField> fields;
        const char* messagePart;
    };
    auto with = [](std::vector<SourceField> f, SourceField extra) {
        f.push_back(extra);
        return f;
    };
    auto without = [](std::vector<SourceField> f, const char* name) {
        std::erase_if(f, [&](const SourceField& x) { return x.name == QLatin1String(name); });
        return f;
    };
    const std::vector<Case> cases{
        {"no key first", {{"DtMA1", "x", 1}, {"key", "13", 2}}, "start with"},
        {"key out of range", topicFields("18"), "key must be"},
        {"key not a number", topicFields("one"), "key must be"},
        {"unknown field", with(topicFields("13"), {"DtXX1", "x", 9}), "unknown field"},
        {"field a topic never shows", with(topicFields("13"), {"DtEA1", "x", 9}), "not read"},
        {"field twice", with(topicFields("13"), {"DtMA1", "again", 9}), "twice"},
        {"empty text", with(without(topicFields("13"), "DtML1"), {"DtML1", "", 9}), "empty"},
        {"missing text", without(topicFields("13"), "DtMH1"), "\"DtMH1\" is missing"},
        {"meridian without its label fields", topicFields("3"), "is missing"},
        {"one-line field too long",
         {{"key", "1", 1}, {"DtEA1", QString(kOneLineFieldLimit + 1, QLatin1Char('x')), 2}},
         "one line"},
        {"one-line field with a paragraph", {{"key", "1", 1}, {"DtPot1", "a\nb", 2}}, "one line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReferenceEntry entry;
        SourceError error;
        EXPECT_FALSE(readReferenceEntry(c.fields, "t.txt", &entry, &error));
        EXPECT_TRUE(error.message.contains(QLatin1String(c.messagePart)))
            << error.message.toStdString();
    }
}

void writeFile(const QString& path, const QByteArray& text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

TEST(ReferenceFolder, NeedsEveryKeyExactlyOnce) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    writeFile(dir.filePath("a.txt"), "key: 13\nDtMA1: a\nDtMA2: b\nDtMH1: c\nDtML1: d\n");
    std::vector<ReferenceEntry> entries;
    SourceError error;
    EXPECT_FALSE(loadReferenceEntries(dir.path(), &entries, &error));
    EXPECT_TRUE(error.message.contains("no file gives key 1")) << error.message.toStdString();

    writeFile(dir.filePath("b.txt"), "key: 13\nDtMA1: a\nDtMA2: b\nDtMH1: c\nDtML1: d\n");
    EXPECT_FALSE(loadReferenceEntries(dir.path(), &entries, &error));
    EXPECT_EQ(error.file, QStringLiteral("b.txt"));
    EXPECT_TRUE(error.message.contains("also given in a.txt")) << error.message.toStdString();
}

class ReferenceSources : public ::testing::Test {
protected:
    void SetUp() override {
        SourceError error;
        ASSERT_TRUE(
            loadReferenceEntries(QStringLiteral(VIRO_DATA_SOURCE_DIR "/texts"), &entries, &error))
            << error.toString().toStdString();
    }
    std::vector<ReferenceEntry> entries;
};

TEST_F(ReferenceSources, HoldKeysOneToSeventeenWithEveryFieldTheWindowsRead) {
    ASSERT_EQ(entries.size(), 17u);
    for (int key = 1; key <= 17; ++key) {
        SCOPED_TRACE(key);
        const ReferenceEntry& e = entries[size_t(key - 1)];
        EXPECT_EQ(e.key, key);
        // The fields the references window, analysis window and report read (by hand).
        QStringList expected;
        if (key <= 12)
            expected = {"DtEA1",  "DtEA2", "DtEA3", "DtEA4", "DtEA5", "DtPot1", "DtPot2",
                        "DtPot3", "DtMA1", "DtMA2", "DtMA3", "DtMH1", "DtMH2",  "DtMH3",
                        "DtMH4",  "DtMH5", "DtML1", "DtML2", "DtML3", "DtML4",  "DtML5"};
        else
            expected = {"DtMA1", "DtMA2", "DtMH1", "DtML1"};
        for (const QString& field : expected)
            EXPECT_FALSE(e.texts.value(field).trimmed().isEmpty()) << field.toStdString();
    }
}

TEST_F(ReferenceSources, AgreeWithTheMeridianTable) {
    for (int m = 1; m <= 12; ++m) {
        const MeridianInfo& info = meridian(m);
        SCOPED_TRACE(info.name.toStdString());
        const auto& t = entries[size_t(m - 1)].texts;
        const QStringList source = info.sourcePoint.simplified().split(' ');
        ASSERT_EQ(source.size(), 2);
        // Measuring point: the table's point name and code.
        EXPECT_TRUE(t.value("DtPot1").contains(source.at(0))) << t.value("DtPot1").toStdString();
        EXPECT_TRUE(t.value("DtPot1").contains(source.at(1) + ' ') ||
                    t.value("DtPot1").contains(source.at(1) + ',') ||
                    t.value("DtPot1").contains(source.at(1) + '('))
            << t.value("DtPot1").toStdString();
        EXPECT_TRUE(t.value("DtEA5").startsWith(info.clockHours)) << t.value("DtEA5").toStdString();
        EXPECT_TRUE(t.value("DtEA4").contains(info.element)) << t.value("DtEA4").toStdString();
        EXPECT_TRUE(t.value("DtEA1").contains(info.channel)) << t.value("DtEA1").toStdString();
        EXPECT_TRUE(t.value("DtEA1").startsWith(isYinZang(m) ? "Yin " : "Yang "));
        EXPECT_TRUE(t.value("DtEA1").contains(m <= 6 ? "of the hand" : "of the foot"));
        // The Ryodoraku texts name the point label H1..H6 / F1..F6 of this meridian.
        const QString label =
            (m <= 6 ? QStringLiteral("H%1") : QStringLiteral("F%1")).arg(m <= 6 ? m : m - 6);
        EXPECT_TRUE(t.value("DtMH5").contains(label)) << label.toStdString();
        EXPECT_TRUE(t.value("DtML5").contains(label)) << label.toStdString();
        EXPECT_TRUE(t.value("DtPot1").contains('(' + label + ')'));
        // Point protocols use the inhibiting point for excess and the stimulating point for
        // deficiency.
        const QString inhibit = t.value("DtPot2").section(',', 0, 0).simplified();
        const QString stimulate = t.value("DtPot3").section(',', 0, 0).simplified();
        EXPECT_TRUE(t.value("DtMH3").contains(inhibit)) << inhibit.toStdString();
        EXPECT_TRUE(t.value("DtML3").contains(stimulate)) << stimulate.toStdString();
    }
}

// The five-element rule: the stimulating point is the element of the mother, the inhibiting
// point that of the child. Worked out by hand for each meridian's element.
TEST_F(ReferenceSources, TonificationAndSedationPointsFollowTheElementCycle) {
    struct Case {
        int meridian;
        const char* stimulatingElement;
        const char* inhibitingElement;
    };
    const std::vector<Case> cases{
        {1, "Earth", "Water"}, {2, "Wood", "Earth"},  {3, "Wood", "Earth"},  {4, "Wood", "Earth"},
        {5, "Wood", "Earth"},  {6, "Earth", "Water"}, {7, "Fire", "Metal"},  {8, "Water", "Fire"},
        {9, "Metal", "Wood"},  {10, "Metal", "Wood"}, {11, "Water", "Fire"}, {12, "Fire", "Metal"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.meridian);
        const auto& t = entries[size_t(c.meridian - 1)].texts;
        const QString stimulating = QStringLiteral("%1 point").arg(c.stimulatingElement);
        EXPECT_TRUE(t.value("DtPot3").contains(stimulating)) << t.value("DtPot3").toStdString();
        const QString inhibiting = QStringLiteral("%1 point").arg(c.inhibitingElement);
        EXPECT_TRUE(t.value("DtPot2").contains(inhibiting)) << t.value("DtPot2").toStdString();
    }
}

TEST_F(ReferenceSources, MakeNoClaimOfDiagnosisOrCure) {
    const QStringList forbidden{"cure", "cures", "diagnos", "guarantee", "heals"};
    for (const ReferenceEntry& e : entries) {
        for (auto it = e.texts.cbegin(); it != e.texts.cend(); ++it) {
            for (const QString& word : forbidden) {
                const QString lower = it.value().toLower();
                EXPECT_FALSE(QRegularExpression("\\b" + word).match(lower).hasMatch())
                    << e.file.toStdString() << " " << it.key().toStdString() << ": "
                    << word.toStdString();
            }
        }
    }
}

} // namespace
} // namespace viro
