#pragma once

#include <QString>

#include <array>

namespace viro {

// The positions (1-42) of the analysis window's print options text. Each is one character,
// "1" on; 36-38 hold the margin.
enum class PrintOption {
    DetailedFormat = 1, // "Detailed" print format, off: "Simple"
    MeasurementTable = 2,
    BarDiagram = 3,
    StatePage = 4, // "Body Energy and Mental State"
    MeridianAnalysis = 5,
    Dietary = 6,
    Applications = 7,
    SlopeDiagram = 8,
    YinYangBalanceA = 9,
    QiBloodBalanceA = 10,
    Notes = 11,
    YinYangBalanceB = 12,
    QiBloodBalanceB = 13,
    Protocols = 14,         // "Protocols Advice of Points"
    RyodorakuAnalysis = 15, // the second text of each meridian topic
    HerbsAdvice = 16,       // "Protocols Advice of Herbs"
    RyodorakuDiagram = 17,
    AnsDiagram = 18,
    BodyEnergyBalance = 19,
    TimeCycleB = 20,
    QiBloodExcessDeficiencyB = 21,
    YinYangExcessDeficiencyB = 22,
    TimeCycleA = 23,
    QiBloodExcessDeficiencyA = 24,
    YinYangExcessDeficiencyA = 25,
    EciPie = 26,
    QualityDiagram = 27,
    FiveElementsIntegrated = 28,
    FiveElementsYinZang = 29,
    FiveElementsYangFu = 30,
    Colour = 31,              // off: monochrome
    SmallFont = 32,           // 8 points, off: 10
    FormFeed = 33,            // the top margin is on
    MarginFirstPageOnly = 34, // off: on every page
    MarginInInches = 35,      // the unit the margin is shown in; off: cm
    ReportHeader = 39,
    PatientData = 40,
    CompensatedValues = 41,
    DetailedPatientData = 42,
};

inline constexpr int kPrintOptionsLength = 42;
// What the print options are when the settings hold none.
inline constexpr const char* kDefaultPrintOptions = "011100000000000000000000000000100010201111";
// A margin field that cannot be read.
inline constexpr double kDefaultPrintMarginMm = 20;

// The print options of the analysis window and its report, as the settings file's line 5
// holds them.
struct PrintOptions {
    std::array<bool, kPrintOptionsLength + 1> flags{}; // by position; 0 and 36-38 unused
    double marginMm = kDefaultPrintMarginMm;

    bool operator[](PrintOption o) const { return flags[size_t(o)]; }
    void set(PrintOption o, bool on) { flags[size_t(o)] = on; }

    // Reads a stored text: "1" is on, anything else off, a position beyond the end of a shorter
    // text off; the margin is read as a whole number of millimetres, 20 when it cannot be read.
    static PrintOptions fromText(const QString& text);
    // The 42 characters, the margin right-aligned in three ("%3.0f").
    QString toText() const;
    // Whether `text` is a complete options text as the program writes it: 42 characters, "0" or
    // "1" everywhere but the margin, which holds digits and blanks. False with the reason.
    static bool isWellFormed(const QString& text, QString* error);

    // Whether the control of an option can be changed: "Ryodoraku Analysis" needs "Meridian
    // Analysis", "Protocols Advice of Herbs" needs "Protocols Advice of Points", "Compensated
    // Value" needs "Data of Meridian Measurement", the patient data format needs "Patient
    // Data", and the margin controls (positions 34 and 35) need "Form Feed ".
    bool available(PrintOption o) const;

    int printPointSize() const { return (*this)[PrintOption::SmallFont] ? 8 : 10; }
};

// The margin's display and step control in the chosen unit: in cm the display shows mm / 10 and
// the control counts millimetres up to 102; in inches the display shows mm / 25.4 and the
// control counts tenths of an inch (round(mm / 2.54)) up to 40. Displays use "%3.1f".
struct MarginControl {
    QString display;
    int position = 0;
    int maximum = 0;
};
MarginControl marginControl(double marginMm, bool inches);
// The margin in millimetres that a step control position stands for.
double marginFromStep(int position, bool inches);

} // namespace viro
