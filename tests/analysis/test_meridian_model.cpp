#include "analysis/meridian_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using viro::kMeridianCount;
using viro::kPointCount;
using Order = std::array<int, kMeridianCount>;
using Positions = std::array<int, kPointCount>;

TEST(MeridianModel, TableRowsKeepTheirTexts) {
    const auto& table = viro::meridianTable();
    const std::vector<QString> codes{"LU", "PC", "HT", "SI", "TE", "LI",
                                     "SP", "LR", "KI", "BL", "GB", "ST"};
    for (int m = 1; m <= kMeridianCount; ++m) {
        SCOPED_TRACE(m);
        EXPECT_EQ(table[m - 1].code, codes[m - 1]);
        EXPECT_EQ(viro::meridian(m).code, codes[m - 1]);
        EXPECT_EQ(table[m - 1].label, table[m - 1].name + "(" + codes[m - 1] + ")");
    }
    // Inner blanks of the source points are kept for the fixed-pitch column.
    EXPECT_EQ(table[0].sourcePoint, "TaiYuan  LU9");
    EXPECT_EQ(table[1].sourcePoint, "DaLing   PC7");
    EXPECT_EQ(table[11].sourcePoint, "ChongYang ST42");
    EXPECT_EQ(table[7].element, "Wood");
    EXPECT_EQ(table[4].clockHours, "9pm-11pm");
}

TEST(MeridianModel, PointIndexFunctionsRoundTrip) {
    const Order leftPoints{1, 2, 3, 4, 5, 6, 13, 14, 15, 16, 17, 18};
    const Order rightPoints{7, 8, 9, 10, 11, 12, 19, 20, 21, 22, 23, 24};
    for (int m = 1; m <= kMeridianCount; ++m) {
        SCOPED_TRACE(m);
        const int l = viro::leftPointOf(m);
        const int r = viro::rightPointOf(m);
        EXPECT_EQ(l, leftPoints[m - 1]);
        EXPECT_EQ(r, rightPoints[m - 1]);
        EXPECT_EQ(viro::meridianOfPoint(l), m);
        EXPECT_EQ(viro::meridianOfPoint(r), m);
        EXPECT_TRUE(viro::isLeftPoint(l));
        EXPECT_FALSE(viro::isLeftPoint(r));
        EXPECT_EQ(viro::isHandPoint(l), m <= 6);
        EXPECT_EQ(viro::oppositePoint(l), r);
        EXPECT_EQ(viro::oppositePoint(r), l);
    }
}

TEST(MeridianModel, ElementPartnersShareTheElementAcrossYinAndYang) {
    const std::vector<int> yinZang{1, 2, 3, 7, 8, 9};
    for (int m = 1; m <= kMeridianCount; ++m) {
        SCOPED_TRACE(m);
        const int partner = viro::elementPartner(m);
        EXPECT_EQ(viro::elementPartner(partner), m);
        EXPECT_NE(partner, m);
        EXPECT_EQ(viro::meridian(partner).element, viro::meridian(m).element);
        EXPECT_EQ(viro::isYinZang(m),
                  std::find(yinZang.begin(), yinZang.end(), m) != yinZang.end());
        EXPECT_NE(viro::isYinZang(partner), viro::isYinZang(m));
        // Partners stay on the same limb.
        EXPECT_EQ(partner <= 6, m <= 6);
    }
}

struct SequenceCase {
    const char* name;
    int mode;
    Order custom;
    Order order;
    Positions position;
};

TEST(MeridianModel, MeasuringSequenceTables) {
    const Order unused{};
    const std::vector<SequenceCase> cases{
        {"natural", 0, unused, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, {1,  2,  3,  4,  5,  6,
                                                                         7,  8,  9,  10, 11, 12,
                                                                         13, 14, 15, 16, 17, 18,
                                                                         19, 20, 21, 22, 23, 24}},
        {"paired", 1, unused, {1, 6, 2, 5, 3, 4, 7, 12, 8, 11, 9, 10}, {1,  6,  2,  5,  3,  4,
                                                                        7,  12, 8,  11, 9,  10,
                                                                        13, 18, 14, 17, 15, 16,
                                                                        19, 24, 20, 23, 21, 22}},
        {"custom",
         2,
         {2, 1, 3, 4, 5, 6, 12, 11, 10, 9, 8, 7},
         {2, 1, 3, 4, 5, 6, 12, 11, 10, 9, 8, 7},
         {2, 1, 3, 4, 5, 6, 8, 7, 9, 10, 11, 12, 18, 17, 16, 15, 14, 13, 24, 23, 22, 21, 20, 19}},
        // Unreadable numbers fall back to their own position.
        {"custom out of range",
         7,
         {0, 13, -4, 6, 5, 4, 7, 8, 9, 10, 11, 99},
         {1, 2, 3, 6, 5, 4, 7, 8, 9, 10, 11, 12},
         {1, 2, 3, 6, 5, 4, 7, 8, 9, 12, 11, 10, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}},
        // A list that would measure one meridian twice and another never, or put a foot
        // meridian under the hand part, gives the natural order.
        {"custom with a duplicate",
         2,
         {1, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}},
        {"custom duplicate made by a replaced number",
         2,
         {2, 0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}},
        {"custom with a foot meridian among the hands",
         2,
         {7, 2, 3, 4, 5, 6, 1, 8, 9, 10, 11, 12},
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}},
        // The built-in modes ignore the custom list.
        {"paired ignores custom",
         1,
         {12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1},
         {1, 6, 2, 5, 3, 4, 7, 12, 8, 11, 9, 10},
         {1, 6, 2, 5, 3, 4, 7, 12, 8, 11, 9, 10, 13, 18, 14, 17, 15, 16, 19, 24, 20, 23, 21, 22}},
    };
    for (const SequenceCase& c : cases) {
        SCOPED_TRACE(c.name);
        const viro::MeasuringSequence seq = viro::buildMeasuringSequence(c.mode, c.custom);
        EXPECT_EQ(seq.order, c.order);
        EXPECT_EQ(seq.position, c.position);
        for (int pos = 0; pos < kPointCount; ++pos)
            EXPECT_EQ(seq.meridianOfPosition[pos], viro::meridianOfPoint(c.position[pos]))
                << "position " << pos + 1;
        for (int i = 0; i < kMeridianCount; ++i) {
            EXPECT_EQ(seq.pairLeft[i], viro::leftPointOf(c.order[i])) << "pair " << i + 1;
            EXPECT_EQ(seq.pairRight[i], viro::rightPointOf(c.order[i])) << "pair " << i + 1;
        }
    }
}

TEST(MeridianModel, CorrectionFactorModes) {
    const viro::CorrectionFactors custom{1.5, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0.25};
    const viro::CorrectionFactors standard = viro::buildCorrectionFactors(0, custom);
    EXPECT_EQ(standard[0], 0.8541);  // LU
    EXPECT_EQ(standard[2], 1.1081);  // HT
    EXPECT_EQ(standard[7], 1.2424);  // LR
    EXPECT_EQ(standard[9], 1.0789);  // BL
    EXPECT_EQ(standard[11], 1.1388); // ST
    const viro::CorrectionFactors ones = viro::buildCorrectionFactors(1, custom);
    for (double f : ones)
        EXPECT_EQ(f, 1.0);
    EXPECT_EQ(viro::buildCorrectionFactors(2, custom), custom);
    EXPECT_EQ(viro::buildCorrectionFactors(-1, custom), custom);
}

} // namespace
