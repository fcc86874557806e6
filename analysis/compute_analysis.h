#pragma once

#include "analysis/analysis_result.h"
#include "analysis/measurement_record.h"
#include "analysis/meridian_model.h"

#include <optional>

namespace viro {

// The analysis works in x87 extended precision (64-bit mantissa) and stores doubles. The helpers
// below are the pieces the charts and texts need to agree with it to the last bit.

// Band unit for an average: 1.0 at an average of 50; the bands narrow for weak measurements.
double bandUnit(double average);

// Classifiers of a signed difference x from the average on band unit u. The bounds are exact
// multiples of u; a difference equal to a bound falls into the outer class.
int fourLevelClass(long double x, double u);  // -3..+3
int twoLevelClass(long double x, double u);   // -2..+2
int differenceClass(long double x, double u); // -2..+2

// A ratio of two stored means, rounded to double: the value that is classed and shown.
double meanRatio(double numerator, double denominator);

int bodyEnergyClass(double average, bool male);
int upDownClass(double ratio, bool male);
int leftRightClass(double ratio);
int yinYangClass(double ratio);
int ansClass(double hiLowRatio);

// Age in years at the measurement (Jet dates). A negative birth date is unknown and counts as
// 40; a birth date of 0 is taken as it is, which makes the patient very old.
long double ageInYears(double measured, double birthDate);
// Average a healthy person of this sex and age is expected to show.
long double expectedAverage(bool male, long double age);

// Final point score from a raw score out of 100: tenths, rounded half to even after adding
// one half, and never below 1.0.
double pointScoreFromRaw(long double raw);

// The two points of element pair 1..12 (Yin-Zang member first).
struct PairPoints {
    int yinZang;
    int yangFu;
};
PairPoints pairPoints(int pair);
// Element pair on the left side (1..6) of a meridian's element.
int leftPairOf(int meridianNumber);

// Analyses one measurement. Only complete records are analysed: nullopt when a value is not a
// finite number above 0, or a correction factor is not a finite number above 0.
std::optional<AnalysisResult> ComputeAnalysis(const MeasurementRecord& record, bool male,
                                              double birthDate, const CorrectionFactors& factors);

} // namespace viro
