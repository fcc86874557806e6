#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>

namespace viro {

// Jet date values: days since 1899-12-30 00:00 with the time of day as the fraction. Before that
// day the whole part still counts the day and the fraction is still the time of day, so -1.25 is
// 1899-12-29 06:00 (not 1899-12-28 18:00). Values carry no time zone: they are wall-clock
// readings. Calendar dates run from 0100-01-01 to 9999-12-31.

inline constexpr double kJetFirstDay = -657434; // 0100-01-01
inline constexpr double kJetLastDay = 2958465;  // 9999-12-31

// An invalid or out-of-range date gives 0, the value this system writes for "no date".
double jetFromDate(const QDate& date);
// Uses the wall-clock date and time of the value, to the millisecond.
double jetFromDateTime(const QDateTime& dateTime);

// The calendar day of a value; an invalid QDate when it is not finite or outside the range.
QDate jetToDate(double jet);
// Date and time of a value, rounded to the millisecond, as local wall-clock time (in a
// daylight-saving gap the toolkit moves the time forward); invalid when out of range.
QDateTime jetToDateTime(double jet);

// Command-line forms. A date is "YYYY-MM-DD" or a plain number; a date-time is
// "YYYY-MM-DDTHH:MM:SS", "YYYY-MM-DD" (midnight) or a plain number. Numbers are taken as they
// are (negative ones included) but must be finite. nullopt for anything else.
std::optional<double> parseJetDate(const QString& text);
std::optional<double> parseJetDateTime(const QString& text);

} // namespace viro
