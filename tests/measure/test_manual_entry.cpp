#include "measure/manual_entry.h"

#include "analysis/jet_date.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace {

using viro::EntryCell;
using viro::EntryGridCell;
using viro::ManualEntryMode;
using viro::ManualEntrySheet;
using State = EntryCell::State;

TEST(ManualEntryRules, EachModeHasItsCaptionTitleAndStatus) {
    const QString modify = "Modify the original data. Please input value between 0.1 - 200.0. "
                           "Value outside of the range will be invalid.";
    const QString add = "Add new meridian energy data. Please input value between 0.1 - 200.0. "
                        "Value outside of the range will be invalid.";
    struct Case {
        ManualEntryMode mode;
        QString caption, title, status;
    };
    const Case cases[] = {
        {ManualEntryMode::ModifyStored, "Modify Meridian Energy Value",
         "Modify meridian energy values", modify},
        {ManualEntryMode::AddStored, "Enter New Meridian Energy Value",
         "Manual entry of meridian energy values", add},
        {ManualEntryMode::EditCurrent, "Enter New Meridian Energy Value",
         "Manual entry of meridian energy values", add},
    };
    for (const Case& c : cases) {
        const viro::ManualEntryTexts t = viro::manualEntryTexts(c.mode);
        EXPECT_EQ(t.caption, c.caption) << int(c.mode);
        EXPECT_EQ(t.title, c.title) << int(c.mode);
        EXPECT_EQ(t.status, c.status) << int(c.mode);
    }
}

TEST(ManualEntryRules, OnlyTheCharactersOfANumberReachACell) {
    for (QChar c : QStringLiteral("0123456789.-,"))
        EXPECT_TRUE(viro::isEntryCharacter(c)) << QString(c).toStdString();
    // The arrow keys' codes are no characters a value is written with.
    for (QChar c : QStringLiteral("%&'( aeE+/\t"))
        EXPECT_FALSE(viro::isEntryCharacter(c)) << QString(c).toStdString();

    EXPECT_EQ(viro::entryText("12,5"), std::optional<QString>("12.5"));
    EXPECT_EQ(viro::entryText("-0.5"), std::optional<QString>("-0.5"));
    EXPECT_EQ(viro::entryText(""), std::optional<QString>(""));
    EXPECT_EQ(viro::entryText("12a"), std::nullopt);
    EXPECT_EQ(viro::entryText("1e5"), std::nullopt);
}

TEST(ManualEntryRules, ALeftCellIsEmptiedLimitedOrShownToOneDecimal) {
    struct Case {
        const char* typed;
        State state;
        double value;
        const char* shown;
    };
    const Case cases[] = {
        {"", State::Empty, 0, ""},
        {"   ", State::Empty, 0, ""},
        {"0", State::Empty, 0, ""},
        {"0.05", State::Empty, 0, ""},
        {"0.09", State::Empty, 0, ""},
        {"-3", State::Empty, 0, ""},
        {"0.091", State::Value, 0.1, "0.1"},
        {"0.1", State::Value, 0.1, "0.1"},
        {"45.67", State::Value, 45.7, "45.7"},
        {" 12 ", State::Value, 12, "12.0"},
        {"5.", State::Value, 5, "5.0"},
        {".5", State::Value, 0.5, "0.5"},
        {"200", State::Value, 200, "200.0"},
        {"200.04", State::Value, 200, "200.0"},
        {"250", State::Value, 200, "200.0"},
        {"99999999", State::Value, 200, "200.0"},
        {"1.2.3", State::NotANumber, 0, "1.2.3"},
        {"-", State::NotANumber, 0, "-"},
        {".", State::NotANumber, 0, "."},
        {"--1", State::NotANumber, 0, "--1"},
        {"1-2", State::NotANumber, 0, "1-2"},
        {"1e5", State::NotANumber, 0, "1e5"},
    };
    for (const Case& c : cases) {
        const EntryCell cell = viro::enteredCell(c.typed);
        EXPECT_EQ(cell.state, c.state) << c.typed;
        EXPECT_DOUBLE_EQ(cell.value, c.value) << c.typed;
        EXPECT_EQ(cell.text, c.shown) << c.typed;
    }
}

TEST(ManualEntryRules, AHeldValueKeepsItsDigitsWithinTheRange) {
    struct Case {
        double held;
        State state;
        double value;
        const char* shown;
    };
    const Case cases[] = {
        {0, State::Empty, 0, ""},
        {0.09, State::Empty, 0, ""},
        {-4, State::Empty, 0, ""},
        {std::nan(""), State::Empty, 0, ""},
        {0.095, State::Value, 0.1, "0.1"},
        {45.678, State::Value, 45.678, "45.7"},
        {123.45678, State::Value, 123.45678, "123.5"},
        {250, State::Value, 200, "200.0"},
    };
    for (const Case& c : cases) {
        const EntryCell cell = viro::heldCell(c.held);
        EXPECT_EQ(cell.state, c.state) << c.held;
        EXPECT_DOUBLE_EQ(cell.value, c.value) << c.held;
        EXPECT_EQ(cell.text, c.shown) << c.held;
    }
}

TEST(ManualEntryRules, EnterRunsAlongTheFirstRowThenTheSecondAndStopsAtTheEnd) {
    struct Case {
        EntryGridCell from, to;
    };
    const Case cases[] = {
        {{1, 1}, {1, 2}},  {{1, 6}, {1, 7}}, {{1, 11}, {1, 12}},
        {{1, 12}, {2, 1}}, {{2, 1}, {2, 2}}, {{2, 12}, {2, 12}},
    };
    for (const Case& c : cases) {
        const EntryGridCell to = viro::cellAfterEnter(c.from);
        EXPECT_EQ(to, c.to) << c.from.row << "," << c.from.column;
    }
}

TEST(ManualEntryRules, AWrongCellIsNamedBySideAndMeridian) {
    const viro::MeasuringSequence natural = viro::buildMeasuringSequence(0, viro::kNaturalOrder);
    const viro::MeasuringSequence paired = viro::buildMeasuringSequence(1, viro::kNaturalOrder);
    EXPECT_EQ(viro::entryCellName(natural, 1), "Left LU");
    EXPECT_EQ(viro::entryCellName(natural, 7), "Right LU");
    EXPECT_EQ(viro::entryCellName(natural, 13), "Left SP");
    EXPECT_EQ(viro::entryCellName(natural, 24), "Right ST");
    EXPECT_EQ(viro::entryCellName(paired, 2), "Left LI");
    EXPECT_EQ(viro::entryCellName(paired, 20), "Right ST");

    const QString message = viro::notANumberMessage("Left LU", "1.2.3");
    EXPECT_TRUE(message.contains("Left LU")) << message.toStdString();
    EXPECT_TRUE(message.contains("\"1.2.3\"")) << message.toStdString();
    EXPECT_TRUE(message.contains("between 0.1 and 200.0")) << message.toStdString();
}

TEST(ManualEntryRules, TheDateShownDependsOnTheModeAndWhetherTheStoredOneIsReal) {
    constexpr double now = 45500.75;
    struct Case {
        ManualEntryMode mode;
        double stored;
        bool dated;
        double shown;
    };
    const Case cases[] = {
        {ManualEntryMode::ModifyStored, 45000.25, true, 45000.25},
        {ManualEntryMode::ModifyStored, 0, false, now},
        {ManualEntryMode::ModifyStored, 4000, false, now},
        {ManualEntryMode::AddStored, 45000.25, true, now},
        {ManualEntryMode::AddStored, 0, true, now},
        {ManualEntryMode::EditCurrent, 45000.25, true, 45000.25},
        {ManualEntryMode::EditCurrent, 0, true, now},
    };
    for (const Case& c : cases) {
        const viro::EntryDate d = viro::initialEntryDate(c.mode, c.stored, now);
        EXPECT_EQ(d.dated, c.dated) << int(c.mode) << " " << c.stored;
        EXPECT_DOUBLE_EQ(d.shown, c.shown) << int(c.mode) << " " << c.stored;
    }
}

TEST(ManualEntryRules, TheDateStoredIsThePickersToTheSecondOrNone) {
    const QDate day(2024, 3, 9);
    EXPECT_EQ(viro::enteredDate(false, day, QTime(10, 20, 30)), 0);
    EXPECT_DOUBLE_EQ(viro::enteredDate(true, day, QTime(10, 20, 30, 999)),
                     viro::jetFromDateTime(QDateTime(day, QTime(10, 20, 30))));
    EXPECT_DOUBLE_EQ(viro::enteredDate(true, day, QTime(0, 0)), viro::jetFromDate(day));
}

class ManualEntrySheetTest : public ::testing::Test {
protected:
    // The paired order, so that positions and point indices differ.
    viro::MeasuringSequence sequence = viro::buildMeasuringSequence(1, viro::kNaturalOrder);
    ManualEntrySheet sheet{sequence};

    int positionOf(int point) const {
        for (int p = 1; p <= viro::kPointCount; ++p)
            if (sequence.position[size_t(p - 1)] == point)
                return p;
        return 0;
    }
};

TEST_F(ManualEntrySheetTest, CellsFollowTheMeasuringOrderAndKeepWhatWasNotRetyped) {
    std::array<double, viro::kPointCount> values{};
    for (int i = 0; i < viro::kPointCount; ++i)
        values[size_t(i)] = 20.123 + i;
    sheet.load(values);

    // Point 6 (left LI) is measured second in the paired order.
    ASSERT_EQ(positionOf(6), 2);
    EXPECT_EQ(sheet.cell(2).text, "25.1");
    EXPECT_TRUE(sheet.anyValue());

    // Leaving a cell as it shows keeps every digit; typing over it stores what is shown.
    sheet.leave(2, "25.1");
    EXPECT_DOUBLE_EQ(sheet.values()[5], 25.123);
    EXPECT_FALSE(sheet.changed(6));
    sheet.leave(2, "30");
    EXPECT_DOUBLE_EQ(sheet.values()[5], 30);
    EXPECT_TRUE(sheet.changed(6));
    EXPECT_FALSE(sheet.changed(2));

    sheet.leave(positionOf(24), "0.05");
    EXPECT_EQ(sheet.values()[23], 0);
    EXPECT_TRUE(sheet.changed(24));
}

TEST_F(ManualEntrySheetTest, AWrongCellIsFoundUntilCorrectedAndClearEmptiesAll) {
    sheet.load({});
    EXPECT_FALSE(sheet.anyValue());
    EXPECT_EQ(sheet.firstWrong(), std::nullopt);

    sheet.leave(9, "1..2");
    sheet.leave(4, "-");
    EXPECT_EQ(sheet.cell(9).state, State::NotANumber);
    EXPECT_EQ(sheet.cell(9).text, "1..2");
    EXPECT_EQ(sheet.firstWrong(), 4);
    sheet.leave(4, "4");
    EXPECT_EQ(sheet.firstWrong(), 9);
    sheet.leave(9, "12");
    EXPECT_EQ(sheet.firstWrong(), std::nullopt);
    EXPECT_TRUE(sheet.anyValue());

    sheet.leave(3, "1.2.3");
    sheet.clear();
    EXPECT_FALSE(sheet.anyValue());
    EXPECT_EQ(sheet.firstWrong(), std::nullopt);
    for (int p = 1; p <= viro::kPointCount; ++p)
        EXPECT_EQ(sheet.cell(p), EntryCell{}) << p;
}

} // namespace
