#include "analysis/report/print_options.h"

#include <cmath>

namespace viro {

namespace {

constexpr int kMarginFirst = 36;
constexpr int kMarginLast = 38;

bool isMarginPosition(int p) {
    return p >= kMarginFirst && p <= kMarginLast;
}

} // namespace

PrintOptions PrintOptions::fromText(const QString& text) {
    PrintOptions o;
    for (int p = 1; p <= kPrintOptionsLength; ++p)
        if (!isMarginPosition(p))
            o.flags[size_t(p)] = p <= text.size() && text.at(p - 1) == QLatin1Char('1');
    // Read back as a whole number of millimetres, blanks around it allowed.
    bool ok = false;
    const int mm = text.mid(kMarginFirst - 1, 3).trimmed().toInt(&ok);
    o.marginMm = ok ? mm : kDefaultPrintMarginMm;
    return o;
}

QString PrintOptions::toText() const {
    QString text;
    text.reserve(kPrintOptionsLength);
    for (int p = 1; p < kMarginFirst; ++p)
        text += flags[size_t(p)] ? QLatin1Char('1') : QLatin1Char('0');
    text += QString::asprintf("%3.0f", marginMm).right(3);
    for (int p = kMarginLast + 1; p <= kPrintOptionsLength; ++p)
        text += flags[size_t(p)] ? QLatin1Char('1') : QLatin1Char('0');
    return text;
}

bool PrintOptions::isWellFormed(const QString& text, QString* error) {
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (text.size() != kPrintOptionsLength)
        return fail(QStringLiteral("the print options must be %1 characters, not %2")
                        .arg(kPrintOptionsLength)
                        .arg(text.size()));
    for (int p = 1; p <= kPrintOptionsLength; ++p) {
        const QChar c = text.at(p - 1);
        if (isMarginPosition(p)) {
            if (!c.isDigit() && c != QLatin1Char(' '))
                return fail(QStringLiteral("position %1 of the print options (the margin) must "
                                           "be a digit or a blank")
                                .arg(p));
        } else if (c != QLatin1Char('0') && c != QLatin1Char('1')) {
            return fail(QStringLiteral("position %1 of the print options must be 0 or 1").arg(p));
        }
    }
    bool ok = false;
    text.mid(kMarginFirst - 1, 3).trimmed().toInt(&ok);
    if (!ok)
        return fail(QStringLiteral("positions 36-38 of the print options must hold the margin "
                                   "in millimetres"));
    return true;
}

bool PrintOptions::available(PrintOption o) const {
    switch (o) {
    case PrintOption::RyodorakuAnalysis:
        return (*this)[PrintOption::MeridianAnalysis];
    case PrintOption::HerbsAdvice:
        return (*this)[PrintOption::Protocols];
    case PrintOption::CompensatedValues:
        return (*this)[PrintOption::MeasurementTable];
    case PrintOption::DetailedPatientData:
        return (*this)[PrintOption::PatientData];
    case PrintOption::MarginFirstPageOnly:
    case PrintOption::MarginInInches:
        return (*this)[PrintOption::FormFeed];
    default:
        return true;
    }
}

MarginControl marginControl(double marginMm, bool inches) {
    MarginControl c;
    if (inches) {
        c.display = QString::asprintf("%3.1f", marginMm / 25.4);
        c.position = int(std::nearbyint(marginMm / 2.54));
        c.maximum = 40;
    } else {
        c.display = QString::asprintf("%3.1f", marginMm / 10);
        c.position = int(std::nearbyint(marginMm));
        c.maximum = 102;
    }
    return c;
}

double marginFromStep(int position, bool inches) {
    return inches ? position * 2.54 : position;
}

} // namespace viro
