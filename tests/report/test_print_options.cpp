#include "analysis/report/print_options.h"

#include <gtest/gtest.h>

namespace viro {
namespace {

TEST(PrintOptions, DefaultTextReadsAsTheWindowShowsIt) {
    const PrintOptions o = PrintOptions::fromText(kDefaultPrintOptions);
    struct Case {
        PrintOption option;
        bool on;
    };
    const Case cases[] = {
        {PrintOption::DetailedFormat, false}, {PrintOption::MeasurementTable, true},
        {PrintOption::BarDiagram, true},      {PrintOption::StatePage, true},
        {PrintOption::MeridianAnalysis, false}, {PrintOption::FiveElementsYangFu, false},
        {PrintOption::Colour, true},          {PrintOption::SmallFont, false},
        {PrintOption::FormFeed, false},       {PrintOption::MarginFirstPageOnly, false},
        {PrintOption::MarginInInches, true}, {PrintOption::ReportHeader, true},
        {PrintOption::PatientData, true},     {PrintOption::CompensatedValues, true},
        {PrintOption::DetailedPatientData, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(o[c.option], c.on) << int(c.option);
    EXPECT_EQ(o.marginMm, 20);
    EXPECT_EQ(o.printPointSize(), 10);
    // The default holds its margin as "020"; written back it is right-aligned in blanks.
    QString written = QString::fromLatin1(kDefaultPrintOptions);
    written.replace(35, 3, QStringLiteral(" 20"));
    EXPECT_EQ(o.toText(), written);
}

TEST(PrintOptions, EveryPositionRoundTripsAlone) {
    for (int p = 1; p <= kPrintOptionsLength; ++p) {
        if (p >= 36 && p <= 38)
            continue;
        QString text(kPrintOptionsLength, QLatin1Char('0'));
        text.replace(35, 3, QStringLiteral(" 20"));
        text[p - 1] = QLatin1Char('1');
        const PrintOptions o = PrintOptions::fromText(text);
        for (int q = 1; q <= kPrintOptionsLength; ++q) {
            if (q < 36 || q > 38) {
                EXPECT_EQ(o.flags[size_t(q)], q == p) << "set " << p << ", read " << q;
            }
        }
        EXPECT_EQ(o.toText(), text) << p;
    }
}

TEST(PrintOptions, ShortOrOddTextsAndMarginReadBacks) {
    struct Case {
        const char* name;
        QString text;
        double margin;
        bool header; // position 39
    };
    const Case cases[] = {
        {"two blanks and 5", QStringLiteral("00000000000000000000000000000000000  5"), 5, false},
        {"unreadable margin", QStringLiteral("00000000000000000000000000000000000x2y1"), 20, true},
        {"margin with inner blank", QStringLiteral("000000000000000000000000000000000001 51"), 20,
         true},
        {"empty", QString(), 20, false},
        {"beyond the end is off", QStringLiteral("1"), 20, false},
        {"three digits", QStringLiteral("000000000000000000000000000000000001021"), 102, true},
        {"anything but 1 is off", QStringLiteral("22222222222222222222222222222222222 10Y"), 10,
         false},
    };
    for (const Case& c : cases) {
        const PrintOptions o = PrintOptions::fromText(c.text);
        EXPECT_EQ(o.marginMm, c.margin) << c.name;
        EXPECT_EQ(o[PrintOption::ReportHeader], c.header) << c.name;
        EXPECT_EQ(o.toText().size(), kPrintOptionsLength) << c.name;
    }
    EXPECT_TRUE(PrintOptions::fromText(QStringLiteral("1"))[PrintOption::DetailedFormat]);
}

TEST(PrintOptions, MarginIsWrittenInThreeCharactersRounded) {
    PrintOptions o = PrintOptions::fromText(kDefaultPrintOptions);
    const std::pair<double, const char*> cases[] = {
        {5, "  5"}, {7.62, "  8"}, {101.6, "102"}, {0, "  0"}, {20, " 20"}};
    for (const auto& [mm, field] : cases) {
        o.marginMm = mm;
        EXPECT_EQ(o.toText().mid(35, 3), QLatin1String(field)) << mm;
        EXPECT_EQ(o.toText().size(), kPrintOptionsLength) << mm;
    }
}

TEST(PrintOptions, WellFormedTextsForTheCommandLine) {
    struct Case {
        QString text;
        bool ok;
    };
    const QString good = QString::fromLatin1(kDefaultPrintOptions);
    QString withLetter = good;
    withLetter[3] = QLatin1Char('x');
    QString twoInFlags = good;
    twoInFlags[0] = QLatin1Char('2');
    QString blankMargin = good;
    blankMargin.replace(35, 3, QStringLiteral("   "));
    QString letterInMargin = good;
    letterInMargin.replace(35, 3, QStringLiteral(" a5"));
    QString shortMargin = good;
    shortMargin.replace(35, 3, QStringLiteral("  5"));
    const Case cases[] = {{good, true},         {shortMargin, true},   {good.left(41), false},
                          {good + '1', false},  {withLetter, false},   {twoInFlags, false},
                          {blankMargin, false}, {letterInMargin, false}, {QString(), false}};
    for (const Case& c : cases) {
        QString error;
        EXPECT_EQ(PrintOptions::isWellFormed(c.text, &error), c.ok) << c.text.toStdString();
        EXPECT_EQ(error.isEmpty(), c.ok) << c.text.toStdString();
    }
}

TEST(PrintOptions, ControlsDependOnTheirParents) {
    struct Case {
        PrintOption child;
        PrintOption parent;
    };
    const Case cases[] = {
        {PrintOption::RyodorakuAnalysis, PrintOption::MeridianAnalysis},
        {PrintOption::HerbsAdvice, PrintOption::Protocols},
        {PrintOption::CompensatedValues, PrintOption::MeasurementTable},
        {PrintOption::DetailedPatientData, PrintOption::PatientData},
        {PrintOption::MarginFirstPageOnly, PrintOption::FormFeed},
        {PrintOption::MarginInInches, PrintOption::FormFeed},
    };
    for (const Case& c : cases) {
        PrintOptions o;
        EXPECT_FALSE(o.available(c.child)) << int(c.child);
        o.set(c.parent, true);
        EXPECT_TRUE(o.available(c.child)) << int(c.child);
    }
    EXPECT_TRUE(PrintOptions().available(PrintOption::BarDiagram));
}

TEST(PrintOptions, MarginControlInEitherUnit) {
    struct Case {
        double mm;
        bool inches;
        const char* display;
        int position;
        int maximum;
    };
    const Case cases[] = {
        {5, false, "0.5", 5, 102},   {5, true, "0.2", 2, 40},      {20, false, "2.0", 20, 102},
        {20, true, "0.8", 8, 40},    {101.6, true, "4.0", 40, 40}, {102, false, "10.2", 102, 102},
        {0, true, "0.0", 0, 40},
    };
    for (const Case& c : cases) {
        const MarginControl m = marginControl(c.mm, c.inches);
        EXPECT_EQ(m.display, QLatin1String(c.display)) << c.mm << (c.inches ? " in" : " cm");
        EXPECT_EQ(m.position, c.position) << c.mm << (c.inches ? " in" : " cm");
        EXPECT_EQ(m.maximum, c.maximum);
    }
    EXPECT_DOUBLE_EQ(marginFromStep(3, true), 7.62);
    EXPECT_DOUBLE_EQ(marginFromStep(3, false), 3);
    // A step in inches shows the stored millimetres in inches again.
    EXPECT_EQ(marginControl(marginFromStep(3, true), true).display, QLatin1String("0.3"));
}

} // namespace
} // namespace viro
