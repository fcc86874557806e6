#include "analysis/jet_date.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

struct DateTimeCase {
    const char* name;
    QDateTime dateTime;
    double jet;
};

// Day numbers counted by hand from 1899-12-30 (1900 is not a leap year).
std::vector<DateTimeCase> knownDateTimes() {
    return {
        {"epoch", QDateTime(QDate(1899, 12, 30), QTime(0, 0)), 0},
        {"epoch noon", QDateTime(QDate(1899, 12, 30), QTime(12, 0)), 0.5},
        {"first of 1900", QDateTime(QDate(1900, 1, 1), QTime(0, 0)), 2},
        {"no leap day in 1900", QDateTime(QDate(1900, 3, 1), QTime(0, 0)), 61},
        {"millennium", QDateTime(QDate(2000, 1, 1), QTime(6, 0)), 36526.25},
        {"2024 evening", QDateTime(QDate(2024, 5, 1), QTime(18, 0)), 45413.75},
        // Before the epoch the fraction is still the time of day.
        {"day before, morning", QDateTime(QDate(1899, 12, 29), QTime(6, 0)), -1.25},
        {"two days before, evening", QDateTime(QDate(1899, 12, 28), QTime(18, 0)), -2.75},
        {"19th century", QDateTime(QDate(1800, 1, 1), QTime(0, 0)), -36522},
        {"first day", QDateTime(QDate(100, 1, 1), QTime(0, 0)), -657434},
        {"last day", QDateTime(QDate(9999, 12, 31), QTime(0, 0)), 2958465},
    };
}

TEST(JetDate, ConvertsKnownDateTimesBothWays) {
    for (const DateTimeCase& c : knownDateTimes()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(viro::jetFromDateTime(c.dateTime), c.jet);
        EXPECT_EQ(viro::jetFromDate(c.dateTime.date()), std::trunc(c.jet));
        EXPECT_EQ(viro::jetToDate(c.jet), c.dateTime.date());
        EXPECT_EQ(viro::jetToDateTime(c.jet).date(), c.dateTime.date());
        EXPECT_EQ(viro::jetToDateTime(c.jet).time(), c.dateTime.time());
    }
}

TEST(JetDate, KeepsMillisecondsAndRoundsToTheNextDay) {
    const QDateTime precise(QDate(2024, 5, 1), QTime(12, 34, 56, 789));
    const QDateTime back = viro::jetToDateTime(viro::jetFromDateTime(precise));
    EXPECT_EQ(back.date(), precise.date());
    EXPECT_EQ(back.time(), precise.time());

    const QDateTime beforeEpoch(QDate(1899, 12, 20), QTime(23, 59, 59, 999));
    const QDateTime backBefore = viro::jetToDateTime(viro::jetFromDateTime(beforeEpoch));
    EXPECT_EQ(backBefore.date(), beforeEpoch.date());
    EXPECT_EQ(backBefore.time(), beforeEpoch.time());

    // 23:59:59.99996 rounds to midnight, which is the start of the next day.
    const QDateTime midnight = viro::jetToDateTime(45413.9999999995);
    EXPECT_EQ(midnight.date(), QDate(2024, 5, 2));
    EXPECT_EQ(midnight.time(), QTime(0, 0));
    const QDateTime midnightBefore = viro::jetToDateTime(-1.9999999999995);
    EXPECT_EQ(midnightBefore.date(), QDate(1899, 12, 30));
    EXPECT_EQ(midnightBefore.time(), QTime(0, 0));
}

TEST(JetDate, RejectsValuesOutsideTheCalendar) {
    const std::vector<double> bad{std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  -657435,
                                  2958466,
                                  2958465.9999999999,
                                  1e300};
    for (double jet : bad) {
        SCOPED_TRACE(jet);
        EXPECT_FALSE(viro::jetToDateTime(jet).isValid());
    }
    EXPECT_FALSE(viro::jetToDate(2958466).isValid());
    EXPECT_TRUE(viro::jetToDate(2958465.5).isValid());
    EXPECT_TRUE(viro::jetToDate(-657434.5).isValid());
    // Invalid input gives the "no date" value.
    EXPECT_EQ(viro::jetFromDate(QDate()), 0);
    EXPECT_EQ(viro::jetFromDateTime(QDateTime()), 0);
    EXPECT_EQ(viro::jetFromDate(QDate(99, 12, 31)), 0);
}

struct ParseCase {
    QString text;
    std::optional<double> date;     // as a date
    std::optional<double> dateTime; // as a date-time
};

TEST(JetDate, ParsesCommandLineForms) {
    const std::optional<double> none;
    const std::vector<ParseCase> cases{
        {"2024-05-01", 45413, 45413},
        {"1900-03-01", 61, 61},
        {"1899-12-29", -1, -1},
        {"2024-05-01T12:00:00", none, 45413.5},
        {"2000-01-01T06:00:00", none, 36526.25},
        {"1899-12-29T06:00:00", none, -1.25},
        {"2024-02-29T23:59:59", none, 45351 + 86399.0 / 86400.0},
        {"0", 0, 0},
        {"-1", -1, -1},
        {"36526.25", 36526.25, 36526.25},
        {"1e3", 1000, 1000},
        {"", none, none},
        {"abc", none, none},
        {"nan", none, none},
        {"inf", none, none},
        {"2024-13-01", none, none},
        {"2023-02-29", none, none},
        {"2024-5-1", none, none},
        {"24-05-01", none, none},
        {"0099-12-31", none, none},
        {"2024-05-01T24:00:00", none, none},
        {"2024-05-01T12:60:00", none, none},
        {"2024-05-01T12:00", none, none},
        {"2024-05-01 12:00:00", none, none},
        {"2024-05-01T12:00:00Z", none, none},
        {"2024-05-01x", none, none},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(viro::parseJetDate(c.text), c.date);
        EXPECT_EQ(viro::parseJetDateTime(c.text), c.dateTime);
    }
}

} // namespace
