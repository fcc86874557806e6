#include "analysis/jet_date.h"

#include <QRegularExpression>
#include <QTime>

#include <cmath>

namespace viro {

namespace {

constexpr qint64 kMsecsPerDay = 86400000;

QDate jetEpoch() {
    return QDate(1899, 12, 30);
}

// The whole part counts days, the fraction is the time of day on either side of the epoch.
double combine(qint64 day, qint64 msecsOfDay) {
    const double fraction = double(msecsOfDay) / double(kMsecsPerDay);
    return day >= 0 ? double(day) + fraction : double(day) - fraction;
}

std::optional<double> parseNumber(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<QDate> parseIsoDate(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^([0-9]{4})-([0-9]{2})-([0-9]{2})$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!date.isValid() || date.year() < 100)
        return std::nullopt;
    return date;
}

} // namespace

double jetFromDate(const QDate& date) {
    if (!date.isValid() || date.year() < 100 || date.year() > 9999)
        return 0;
    return double(jetEpoch().daysTo(date));
}

double jetFromDateTime(const QDateTime& dateTime) {
    if (!dateTime.isValid())
        return 0;
    const QDate date = dateTime.date();
    if (date.year() < 100 || date.year() > 9999)
        return 0;
    return combine(jetEpoch().daysTo(date), dateTime.time().msecsSinceStartOfDay());
}

QDate jetToDate(double jet) {
    if (!std::isfinite(jet) || jet <= kJetFirstDay - 1 || jet >= kJetLastDay + 1)
        return {};
    return jetEpoch().addDays(qint64(std::trunc(jet)));
}

QDateTime jetToDateTime(double jet) {
    const QDate date = jetToDate(jet);
    if (!date.isValid())
        return {};
    const double fraction = std::fabs(jet - std::trunc(jet));
    const qint64 msecs = std::llround(fraction * double(kMsecsPerDay));
    // Built from the wall clock, not by adding an interval, so a daylight-saving change on that
    // day does not shift the time. A time that rounds up to midnight is the next day's start.
    const QDate day = date.addDays(msecs / kMsecsPerDay);
    if (day.year() > 9999)
        return {};
    return QDateTime(day, QTime::fromMSecsSinceStartOfDay(int(msecs % kMsecsPerDay)));
}

std::optional<double> parseJetDate(const QString& text) {
    if (const std::optional<QDate> date = parseIsoDate(text))
        return jetFromDate(*date);
    return parseNumber(text);
}

std::optional<double> parseJetDateTime(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("^([0-9]{4}-[0-9]{2}-[0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (m.hasMatch()) {
        const std::optional<QDate> date = parseIsoDate(m.captured(1));
        const QTime time(m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt());
        if (!date || !time.isValid())
            return std::nullopt;
        return combine(jetEpoch().daysTo(*date), time.msecsSinceStartOfDay());
    }
    return parseJetDate(text);
}

} // namespace viro
