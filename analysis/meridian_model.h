#pragma once

#include <QString>

#include <array>

namespace viro {

inline constexpr int kPointCount = 24;
inline constexpr int kMeridianCount = 12;

// One row of the meridian table; meridian numbers run 1 to 12.
struct MeridianInfo {
    QString name;
    QString code;
    QString channel;
    QString element;
    QString sourcePoint; // keeps its inner blanks: aligned for a fixed-pitch column
    QString label;
    QString clockHours;
};

// The twelve meridians in meridian-number order (element 0 is meridian 1).
const std::array<MeridianInfo, kMeridianCount>& meridianTable();
const MeridianInfo& meridian(int meridianNumber);

// Point indices run 1 to 24: 1-6 left hand, 7-12 right hand, 13-18 left foot, 19-24 right foot.
constexpr int leftPointOf(int meridianNumber) {
    return meridianNumber <= 6 ? meridianNumber : meridianNumber + 6;
}
constexpr int rightPointOf(int meridianNumber) {
    return meridianNumber <= 6 ? meridianNumber + 6 : meridianNumber + 12;
}
constexpr int meridianOfPoint(int point) {
    return point <= 6 ? point : point <= 18 ? point - 6 : point - 12;
}
constexpr bool isHandPoint(int point) { return point <= 12; }
constexpr bool isLeftPoint(int point) { return point <= 6 || (point >= 13 && point <= 18); }
constexpr bool isYinZang(int meridianNumber) {
    return meridianNumber == 1 || meridianNumber == 2 || meridianNumber == 3 ||
           meridianNumber == 7 || meridianNumber == 8 || meridianNumber == 9;
}
// The same meridian on the other side.
constexpr int oppositePoint(int point) {
    const int m = meridianOfPoint(point);
    return isLeftPoint(point) ? rightPointOf(m) : leftPointOf(m);
}
// The element partner (LR/GB, HT/SI, PC/TE, SP/ST, LU/LI, KI/BL).
int elementPartner(int meridianNumber);

// Meridian order used for measuring and for every grid and chart, with its derived tables.
// Arrays are 0-based; element i holds position i + 1.
struct MeasuringSequence {
    std::array<int, kMeridianCount> order{};             // meridian number at position 1..12
    std::array<int, kPointCount> position{};             // position 1..24 -> point index
    std::array<int, kPointCount> meridianOfPosition{};   // position 1..24 -> meridian number
    std::array<int, kMeridianCount> pairLeft{};          // position 1..12 -> left point of s(i)
    std::array<int, kMeridianCount> pairRight{};         // position 1..12 -> right point of s(i)
};

inline constexpr std::array<int, kMeridianCount> kNaturalOrder{1, 2, 3, 4, 5, 6,
                                                               7, 8, 9, 10, 11, 12};
inline constexpr std::array<int, kMeridianCount> kPairedOrder{1, 6, 2, 5, 3, 4,
                                                              7, 12, 8, 11, 9, 10};

// A custom order is usable when it visits every meridian once, the six hand meridians (1-6)
// first, as every grid and chart lays positions 1-6 out as the hand part.
bool isValidMeridianOrder(const std::array<int, kMeridianCount>& order);

// Mode 0 natural order, 1 paired order, anything else the custom list. A custom number outside
// 1..12 is replaced by its own position; a list that is still not a valid order (a meridian
// twice, another never) gives the natural order, so no point goes unmeasured.
MeasuringSequence buildMeasuringSequence(int mode, const std::array<int, kMeridianCount>& custom);

using CorrectionFactors = std::array<double, kMeridianCount>; // by meridian number - 1

inline constexpr CorrectionFactors kDefaultCorrectionFactors{
    0.8541, 0.9318, 1.1081, 0.9318, 0.8039, 0.8039, 1.0, 1.2424, 1.0, 1.0789, 1.2424, 1.1388};

// Mode 0 standard factors, 1 all 1.0, anything else the custom list.
CorrectionFactors buildCorrectionFactors(int mode, const CorrectionFactors& custom);

} // namespace viro
