#include "analysis/compute_analysis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

using viro::AnalysisResult;
using viro::kPointCount;
using Values = std::array<double, kPointCount>;
using PointClasses = std::array<int, kPointCount>;
using MeridianClasses = std::array<int, viro::kMeridianCount>;

constexpr viro::CorrectionFactors kOnes{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
constexpr viro::CorrectionFactors kCustomFactors{1.1, 0.9,  1.05, 0.95, 1.2, 0.85,
                                                 1.0, 1.15, 0.8,  1.25, 0.9, 1.1};
constexpr double kMay2024 = 45413; // 2024-05-01 00:00

Values uniform(double value) {
    Values v;
    v.fill(value);
    return v;
}

viro::MeasurementRecord recordOf(const Values& values, double date = kMay2024,
                                 const Values& quality = {}) {
    viro::MeasurementRecord record;
    record.values = values;
    record.quality = quality;
    record.dateTime = date;
    return record;
}

AnalysisResult analyse(const Values& values, bool male = true, double birth = -1,
                       const viro::CorrectionFactors& factors = kOnes, double date = kMay2024) {
    const std::optional<AnalysisResult> result =
        viro::ComputeAnalysis(recordOf(values, date), male, birth, factors);
    EXPECT_TRUE(result.has_value());
    return result.value_or(AnalysisResult{});
}

template <std::size_t N>
void expectAllDoubleEq(const std::array<double, N>& actual, const std::array<double, N>& expected,
                       const char* what) {
    for (std::size_t i = 0; i < N; ++i)
        EXPECT_DOUBLE_EQ(actual[i], expected[i]) << what << "[" << i << "]";
}

// A flat measurement with factors 1: average 50, band unit exactly 1, nothing out of the normal
// band; the index only reflects the shortfall against the 58 expected at 40 years:
// 90 + 0.3 * (50 - 58) / 58 * 100.
TEST(ComputeAnalysis, FlatFiftyIsNormalEverywhere) {
    const AnalysisResult r = analyse(uniform(50), true, -1);
    EXPECT_EQ(r.Average, 50.0);
    EXPECT_EQ(r.BandUnit, 1.0);
    EXPECT_EQ(r.ExcessNormal, 11.5);
    EXPECT_EQ(r.ExcessTolerable, 21.0);
    EXPECT_EQ(r.DeficiencyNormal, 10.5);
    EXPECT_EQ(r.DeficiencyTolerable, 20.0);
    EXPECT_EQ(r.DiffNormal, 22.0);
    EXPECT_EQ(r.DiffTolerable, 41.0);
    EXPECT_EQ(r.PointClass, PointClasses{});
    EXPECT_EQ(r.MeridianClass, MeridianClasses{});
    EXPECT_EQ(r.SideDiffClass, MeridianClasses{});
    EXPECT_EQ(r.PairClass, MeridianClasses{});
    EXPECT_EQ(r.PairDiffClass, MeridianClasses{});
    EXPECT_EQ(r.ElementClass, viro::ElementClasses{});
    for (double ratio : {viro::meanRatio(r.Up, r.Down), viro::meanRatio(r.Left, r.Right),
                         viro::meanRatio(r.Yin, r.Yang), viro::meanRatio(r.Hi, r.Low)})
        EXPECT_EQ(ratio, 1.0);
    EXPECT_EQ(r.BodyEnergyClass, 0);
    EXPECT_EQ(r.AnsClass, 0);
    EXPECT_DOUBLE_EQ(r.IntegratedIndex, 90 - 0.3 * 800.0 / 58.0);
    // 100 + 0.5 rounds to the even 100: every score is the full 10.0.
    EXPECT_EQ(r.PointScore, uniform(10.0));
    EXPECT_EQ(r.MeridiansIndex, 10.0);
    EXPECT_FALSE(r.LowEnergy);
}

struct PointEdgeCase {
    const char* name;
    double first; // point 1; point 2 balances it so the average stays 50 and u 1
    double second;
    int firstClass;
    int secondClass;
};

TEST(ComputeAnalysis, PointClassesAtTheBandEdges) {
    const std::vector<PointEdgeCase> cases{
        {"10.5u above is normal, 10.5u below is -1", 60.5, 39.5, 0, -1},
        {"10.4u either side is normal", 60.4, 39.6, 0, 0},
        {"exactly 11.5u above is +1", 61.5, 38.5, 1, -1},
        {"just under 11.5u above is normal", 61.49, 38.51, 0, -1},
        {"21u above is +2, 21u below -2", 71, 29, 2, -2},
        {"30u either side is +2 and -2", 80, 20, 2, -2},
        {"30.5u below is -3", 80.5, 19.5, 2, -3},
        {"32.5u above is +3", 82.5, 17.5, 3, -3},
    };
    for (const PointEdgeCase& c : cases) {
        SCOPED_TRACE(c.name);
        Values v = uniform(50);
        v[0] = c.first;
        v[1] = c.second;
        const AnalysisResult r = analyse(v);
        ASSERT_EQ(r.Average, 50.0);
        ASSERT_EQ(r.BandUnit, 1.0);
        EXPECT_EQ(r.PointClass[0], c.firstClass);
        EXPECT_EQ(r.PointClass[1], c.secondClass);
    }
}

struct PipelineCase {
    const char* name;
    Values values;
    bool male;
    int AnalysisResult::*field;
    int expected;
};

Values handsAndFeet(double hands, double feet) {
    Values v = uniform(feet);
    std::fill(v.begin(), v.begin() + 12, hands);
    return v;
}

Values firstGroupAt(double value) {
    Values v = uniform(50);
    std::fill(v.begin(), v.begin() + 3, value);
    return v;
}

// Ratios are rounded to double and compared with bounds held in extended precision.
TEST(ComputeAnalysis, RatioClassesOnTheDoubleNearTheBound) {
    const std::vector<PipelineCase> cases{
        {"Up/Down 60/50 man: 1.2 as a double is below the bound", handsAndFeet(60, 50), true,
         &AnalysisResult::UpDownClass, 0},
        {"Up/Down 60/50 woman", handsAndFeet(60, 50), false, &AnalysisResult::UpDownClass, 2},
        {"Up/Down 0.88 man: above the bound, normal", handsAndFeet(44, 50), true,
         &AnalysisResult::UpDownClass, 0},
        {"Up/Down 0.87 man", handsAndFeet(43.5, 50), true, &AnalysisResult::UpDownClass, -1},
        {"Up/Down 0.78 woman", handsAndFeet(39, 50), false, &AnalysisResult::UpDownClass, 0},
        {"Hi/Low exactly 1.5", firstGroupAt(75), true, &AnalysisResult::AnsClass, 0},
        {"Hi/Low 90/50 lies above 1.8", firstGroupAt(90), true, &AnalysisResult::AnsClass, 2},
        {"Hi/Low exactly 2.0", firstGroupAt(100), true, &AnalysisResult::AnsClass, 2},
        {"Hi/Low 101/50", firstGroupAt(101), true, &AnalysisResult::AnsClass, 3},
    };
    for (const PipelineCase& c : cases) {
        SCOPED_TRACE(c.name);
        const AnalysisResult r = analyse(c.values, c.male);
        EXPECT_EQ(r.*c.field, c.expected);
    }
}

struct RatioCase {
    const char* name;
    int (*classify)(double);
    double ratio;
    int expected;
};

int upDownMale(double ratio) {
    return viro::upDownClass(ratio, true);
}
int upDownFemale(double ratio) {
    return viro::upDownClass(ratio, false);
}
int bodyMale(double average) {
    return viro::bodyEnergyClass(average, true);
}
int bodyFemale(double average) {
    return viro::bodyEnergyClass(average, false);
}

TEST(ComputeAnalysis, RatioAndBodyEnergyTables) {
    const std::vector<RatioCase> cases{
        {"Up/Down man 0.7299", upDownMale, 0.7299, -3},
        {"Up/Down man 0.73 lies below", upDownMale, 0.73, -3},
        {"Up/Down man 0.83 lies below", upDownMale, 0.83, -2},
        {"Up/Down man 0.88 lies above", upDownMale, 0.88, 0},
        {"Up/Down man 1.3 lies above", upDownMale, 1.3, 2},
        {"Up/Down man 1.4 lies below", upDownMale, 1.4, 2},
        {"Up/Down man 1.41", upDownMale, 1.41, 3},
        {"Up/Down woman 0.6499", upDownFemale, 0.6499, -3},
        {"Up/Down woman 0.65 lies above", upDownFemale, 0.65, -2},
        {"Up/Down woman 0.75 exact", upDownFemale, 0.75, -1},
        {"Up/Down woman 1.1 lies above", upDownFemale, 1.1, 1},
        {"Up/Down woman 1.15 lies below", upDownFemale, 1.15, 1},
        {"Up/Down woman 1.25 exact", upDownFemale, 1.25, 3},
        {"Left/Right 0.68 lies above", viro::leftRightClass, 0.68, -2},
        {"Left/Right 0.78 lies above", viro::leftRightClass, 0.78, -1},
        {"Left/Right 0.88 lies above", viro::leftRightClass, 0.88, 0},
        {"Left/Right 1.15 lies below", viro::leftRightClass, 1.15, 0},
        {"Left/Right 1.25 exact", viro::leftRightClass, 1.25, 2},
        {"Left/Right 1.35 lies above", viro::leftRightClass, 1.35, 3},
        {"Yin/Yang 0.62 lies below", viro::yinYangClass, 0.62, -3},
        {"Yin/Yang 0.72 lies below", viro::yinYangClass, 0.72, -2},
        {"Yin/Yang 0.82 lies below", viro::yinYangClass, 0.82, -1},
        {"Yin/Yang 1.25 exact", viro::yinYangClass, 1.25, 1},
        {"Yin/Yang 1.35 lies above", viro::yinYangClass, 1.35, 2},
        {"Yin/Yang 1.45 lies below", viro::yinYangClass, 1.45, 2},
        {"ANS 1.5 at most", viro::ansClass, 1.5, 0},
        {"ANS just above 1.5", viro::ansClass, 1.5000000000000002, 1},
        {"ANS just below 1.8", viro::ansClass, 1.7999999999999998, 1},
        {"ANS 1.8 lies above", viro::ansClass, 1.8, 2},
        {"ANS 2.0 at most", viro::ansClass, 2.0, 2},
        {"ANS just above 2.0", viro::ansClass, 2.0000000000000004, 3},
        {"body man 18.9", bodyMale, 18.9, -3},
        {"body man 29.99", bodyMale, 29.99, -1},
        {"body man 30", bodyMale, 30, 0},
        {"body man 64.99", bodyMale, 64.99, 0},
        {"body man 65", bodyMale, 65, 1},
        {"body man 75", bodyMale, 75, 3},
        {"body woman 17.9", bodyFemale, 17.9, -3},
        {"body woman 18", bodyFemale, 18, -2},
        {"body woman 28", bodyFemale, 28, 0},
        {"body woman 62", bodyFemale, 62, 1},
        {"body woman 72", bodyFemale, 72, 3},
    };
    for (const RatioCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.classify(c.ratio), c.expected);
    }
}

struct ClassifierCase {
    double x;
    int fourLevel;
    int twoLevel;
    int difference;
};

// u = 0.75 keeps every bound exact: 11.5u 8.625, 21u 15.75, 32.5u 24.375, 10.5u 7.875,
// 20u 15, 30.5u 22.875, 22u 16.5, 41u 30.75.
TEST(ComputeAnalysis, ClassifiersOnABandUnit) {
    const std::vector<ClassifierCase> cases{
        {0, 0, 0, 0},         {8.624, 0, 0, 0},    {8.625, 1, 1, 0},    {15.75, 2, 2, 0},
        {16.5, 2, 2, 1},      {24.375, 3, 2, 1},   {30.75, 3, 2, 2},    {-7.874, 0, 0, 0},
        {-7.875, -1, -1, 0},  {-15, -2, -2, 0},    {-16.5, -2, -2, -1}, {-22.875, -3, -2, -1},
        {-30.75, -3, -2, -2}, {-1000, -3, -2, -2}, {1000, 3, 2, 2},
    };
    for (const ClassifierCase& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(viro::fourLevelClass(c.x, 0.75), c.fourLevel);
        EXPECT_EQ(viro::twoLevelClass(c.x, 0.75), c.twoLevel);
        EXPECT_EQ(viro::differenceClass(c.x, 0.75), c.difference);
    }
    // With a band unit that is no short decimal the bound is still exactly 11.5 u.
    const double u = viro::bandUnit(37.3);
    const long double bound = 11.5L * u;
    EXPECT_EQ(viro::fourLevelClass(bound, u), 1);
    EXPECT_EQ(viro::fourLevelClass(std::nextafter(bound, 0.0L), u), 0);
}

TEST(ComputeAnalysis, BandUnitFollowsTheAverage) {
    const std::vector<std::pair<double, double>> cases{
        {50, 1.0}, {10, 0.6625}, {90, 1.3375}, {30, 0.83125}};
    for (const auto& [average, unit] : cases) {
        SCOPED_TRACE(average);
        EXPECT_EQ(viro::bandUnit(average), unit);
    }
}

TEST(ComputeAnalysis, LowEnergyIncludesTwelve) {
    const std::vector<std::pair<double, bool>> cases{
        {12.0, true}, {11.99, true}, {12.01, false}, {50, false}};
    for (const auto& [value, low] : cases) {
        SCOPED_TRACE(value);
        const AnalysisResult r = analyse(uniform(value));
        ASSERT_EQ(r.Average, value);
        EXPECT_EQ(r.LowEnergy, low);
    }
}

struct IndexLimitCase {
    const char* name;
    double value;
    double expected;
};

// Without a birth date a man is expected at 32, so a flat 64 is exactly 100 % above it:
// 90 + 0.1 * 100 = 100. A little more exceeds 100 and falls back to 99.
TEST(ComputeAnalysis, IntegratedIndexLimits) {
    const std::vector<IndexLimitCase> cases{
        {"exactly 100 stays", 64, 100},
        {"100.01 becomes 99", 64.032, 99},
        {"below 100 is kept", 63.936, 99.98},
    };
    for (const IndexLimitCase& c : cases) {
        SCOPED_TRACE(c.name);
        const AnalysisResult r = analyse(uniform(c.value), true, 0);
        EXPECT_DOUBLE_EQ(r.IntegratedIndex, c.expected);
    }
}

struct AgeCase {
    const char* name;
    double birth;
    double date;
    bool male;
    double age;
    double expected;
};

TEST(ComputeAnalysis, ExpectedAverageByAge) {
    const std::vector<AgeCase> cases{
        {"no birth date: age from day 0", 0, kMay2024, true, kMay2024 / 365, 32},
        {"no birth date, woman", 0, kMay2024, false, kMay2024 / 365, 30.08},
        {"unknown birth date", -1, kMay2024, true, 40, 58},
        {"unknown birth date, woman", -0.5, kMay2024, false, 40, 54.52},
        {"exactly 20", 0, 7300, true, 20, 75},
        {"just over 20", 0, 7300.365, true, 20.001, 68},
        {"exactly 35", 0, 12775, true, 35, 63},
        {"exactly 65", 0, 23725, true, 65, 36},
        {"just over 65", 0, 23725.5, true, 23725.5 / 365, 32},
        {"a 30-year-old woman", 10000, 20950, false, 30, 68 * 0.94},
    };
    for (const AgeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const long double age = viro::ageInYears(c.date, c.birth);
        EXPECT_DOUBLE_EQ(double(age), c.age);
        EXPECT_DOUBLE_EQ(double(viro::expectedAverage(c.male, age)), c.expected);
    }
}

TEST(ComputeAnalysis, PointScoreRounding) {
    const std::vector<std::pair<long double, double>> cases{
        {98.0L, 9.8}, {97.0L, 9.8},  {99.0L, 10.0}, {100.0L, 10.0}, {99.4L, 10.0},
        {98.4L, 9.9}, {98.49L, 9.9}, {96.5L, 9.7},  {95.5L, 9.6},   {10.5L, 1.1},
        {9.6L, 1.0},  {9.4L, 1.0},   {0.5L, 1.0},   {-50.0L, 1.0},
    };
    for (const auto& [raw, score] : cases) {
        SCOPED_TRACE(double(raw));
        EXPECT_EQ(viro::pointScoreFromRaw(raw), score);
    }
}

// Every group mean of a strong measurement may exceed 200: Low is still the smallest of them.
TEST(ComputeAnalysis, HiAndLowAreTheTrueExtremes) {
    Values v;
    for (int k = 0; k < kPointCount; ++k)
        v[k] = (k % 6) < 3 ? 300 : 400;
    const AnalysisResult r = analyse(v);
    EXPECT_EQ(r.Low, 300.0);
    EXPECT_EQ(r.Hi, 400.0);
    EXPECT_EQ(r.AnsClass, 0);
    EXPECT_EQ(r.YinYangClass, -1); // 0.75
}

TEST(ComputeAnalysis, RefusesIncompleteRecordsAndBadFactors) {
    struct Case {
        const char* name;
        int point; // 1-based, 0 for none
        double value;
        int meridian; // 1-based, 0 for none
        double factor;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Case> cases{
        {"a zero value", 5, 0, 0, 1},   {"a negative value", 24, -3, 0, 1},
        {"a NaN value", 1, nan, 0, 1},  {"an infinite value", 13, inf, 0, 1},
        {"a zero factor", 0, 0, 8, 0},  {"a negative factor", 0, 0, 12, -1},
        {"a NaN factor", 0, 0, 1, nan},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Values v = uniform(42);
        if (c.point)
            v[c.point - 1] = c.value;
        viro::CorrectionFactors f = kOnes;
        if (c.meridian)
            f[c.meridian - 1] = c.factor;
        EXPECT_FALSE(viro::ComputeAnalysis(recordOf(v), true, -1, f).has_value());
    }
    EXPECT_TRUE(viro::ComputeAnalysis(recordOf(uniform(0.001)), true, -1, kOnes).has_value());
}

struct MixedCase {
    const char* name;
    Values values;
    Values quality;
    bool male;
    double birth;
    double date;
    viro::CorrectionFactors factors;
    double average;
    double qualityAverage;
    double bandUnit;
    std::array<double, 6> thresholds; // 11.5u 21u 10.5u 20u 22u 41u
    Values corrected;
    std::array<double, viro::kGroupCount> groupMean;
    std::array<double, 8> means; // Yin Yang Up Down Left Right Hi Low
    std::array<double, viro::kPairCount> pairMean;
    viro::ElementValues elementTable;
    std::array<double, 4> ratios; // Up/Down Left/Right Yin/Yang Hi/Low
    PointClasses pointClass;
    MeridianClasses meridianClass;
    MeridianClasses sideDiffClass;
    MeridianClasses pairClass;
    MeridianClasses pairDiffClass;
    viro::ElementClasses elementClass;
    std::array<int, 5> bodyClasses; // body energy, Up/Down, Left/Right, Yin/Yang, ANS
    double integratedIndex;
    Values pointScore;
    double meridiansIndex;
    bool lowEnergy;
};

// Expected values come from a separate exact-rational model of the steps that rounds every
// operation to a 64-bit mantissa and every stored result to double. The one-sided boy was also
// followed by hand: index 90 + 1.4 * 0.3 * (10.75 - 75) / 75 * 100 - 21.6 (points) - 21.9
// (meridians and pairs) - 9 (ratios) = 1.52, raised to 5; his right Heart point takes the left
// Mo.Fire pair (+2) and scores 5.5, the right Small Intestine point the right one (-1) and 5.6.
const std::vector<MixedCase>& mixedCases() {
    static const std::vector<MixedCase> cases{
        {"man 68, default factors, quality scores",
         {48.2, 39.5, 35.1, 52.7, 44.0, 61.3, 45.9, 41.2, 30.4, 55.0, 47.8, 58.6,
          33.3, 28.7, 41.9, 37.5, 26.4, 39.0, 35.6, 24.9, 44.2, 40.1, 29.8, 36.7},
         {92.5, 88.0, 95.1, 90.0, 85.5, 97.2, 91.0, 89.9, 93.3, 87.6, 94.4, 96.8,
          82.1, 90.5, 88.8, 91.7, 86.0, 93.9, 89.2, 84.7, 92.0, 90.6, 87.3, 95.5},
         true,
         20284.0,
         45413.4375,
         viro::kDefaultCorrectionFactors,
         // Average, QualityAverage, BandUnit, thresholds (11.5u 21u 10.5u 20u 22u 41u)
         40.74166666666667,
         90.56666666666666,
         0.9218828125,
         {10.60165234375, 19.3595390625, 9.67976953125, 18.43765625, 20.281421875, 37.7971953125},
         {41.16762, 36.8061,  38.894310000000004, 49.10586,          35.3716,  49.27907, 39.20319,
          38.39016, 33.68624, 51.248999999999995, 38.42641999999999, 47.10854, 33.3,     35.65688,
          41.9,     40.45875, 32.79936,           44.4132,           35.6,     30.93576, 44.2,
          43.26389, 37.02352, 41.793960000000006},
         {38.95601, 44.58551, 37.093196666666664, 45.594653333333326, 36.95229333333333, 39.22377,
          36.91192, 40.69379},
         // Yin Yang Up Down Left Right Hi Low
         {37.478355, 42.524430833333334, 41.5573425, 38.44544333333333, 39.92939583333333,
          40.073389999999996, 45.594653333333326, 36.91192},
         {34.228120000000004, 44.000085, 36.08885, 38.8566, 45.223344999999995, 41.179375,
          33.979639999999996, 42.46762, 38.408289999999994, 38.69698, 43.155865, 43.731945},
         {{{34.103880000000004, 33.29632, 34.91144},
           {43.2338525, 36.290275, 50.17743},
           {37.24857, 37.59813, 36.89901},
           {38.776790000000005, 34.45, 43.10358000000001},
           {44.189605, 40.185405, 48.193805},
           {42.45566, 43.05, 41.861320000000006},
           {40.24121125, 36.9442025, 43.538219999999995}}},
         // ratios Up/Down Left/Right Yin/Yang Hi/Low
         {1.080943250925359, 0.9964067385697425, 0.8813370165232665, 1.2352284393045208},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
         // body, Up/Down, Left/Right, Yin/Yang, ANS
         {0, 0, 0, 0, 0},
         // expected average 32.0, unclamped index 92.13177083333333
         92.13177083333333,
         {10.0, 9.7, 9.9, 9.2,  9.5, 9.2, 9.9, 9.8, 9.4, 9.0, 9.8, 9.4,
          9.3,  9.5, 9.9, 10.0, 9.3, 9.7, 9.5, 8.9, 9.7, 9.8, 9.7, 9.9},
         9.583333333333334,
         false},
        {"woman without birth date, default factors",
         {22.5, 18.0, 25.3, 30.1, 19.7, 27.4, 24.8, 16.2, 21.9, 28.3, 23.5, 31.0,
          14.6, 20.3, 12.8, 17.5, 22.0, 15.9, 13.1, 19.4, 11.7, 18.8, 24.6, 16.3},
         {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0,
          0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
         false,
         0.0,
         45413.0,
         viro::kDefaultCorrectionFactors,
         // Average, QualityAverage, BandUnit, thresholds (11.5u 21u 10.5u 20u 22u 41u)
         20.654166666666665,
         0.0,
         0.75239453125,
         {8.652537109375, 15.80028515625, 7.900142578125, 15.047890625, 16.5526796875,
          30.84817578125},
         {19.21725,
          16.772399999999998,
          28.034930000000003,
          28.04718,
          15.836829999999999,
          22.026859999999996,
          21.18168,
          15.095159999999998,
          24.26739,
          26.36994,
          18.89165,
          24.9209,
          14.6,
          25.22072,
          12.8,
          18.88075,
          27.3328,
          18.106920000000002,
          13.1,
          24.102559999999997,
          11.7,
          20.28332,
          30.56304,
          18.562440000000002},
         {21.341526666666667, 21.97029, 20.18141, 23.39416333333333, 17.54024, 21.440156666666667,
          16.300853333333333, 23.136266666666668},
         // Yin Yang Up Down Left Right Hi Low
         {18.8410075, 22.485219166666667, 21.7218475, 19.604379166666668, 20.573053333333334,
          20.753173333333333, 23.39416333333333, 16.300853333333333},
         {26.27676, 28.041055, 16.304615, 16.353460000000002, 20.622054999999996, 15.840375,
          27.3328, 25.318665, 16.993405, 15.831220000000002, 23.05129, 15.99166},
         {{{26.80478, 24.66164, 28.94792},
           {26.679859999999998, 26.15116, 27.20856},
           {16.649009999999997, 15.933779999999999, 17.36424},
           {16.09234, 13.85, 18.334680000000002},
           {21.8366725, 20.199465, 23.473879999999998},
           {15.916017499999999, 12.25, 19.582034999999998},
           {21.664434999999997, 21.04247, 22.2864}}},
         // ratios Up/Down Left/Right Yin/Yang Hi/Low
         {1.1080099663106733, 0.9913208453903918, 0.8379285681115776, 1.435149611799464},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1, 0, 1, 0},
         {0, 0, 0, 0, 0, 0, 0, 0, -1, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, -1, 0}, {0, 0, 0}}},
         // body, Up/Down, Left/Right, Yin/Yang, ANS
         {-2, 1, 0, 0, 0},
         // expected average 30.08, unclamped index 75.9190824468085
         75.9190824468085,
         {9.8, 9.3, 8.6, 8.6, 9.1, 9.8, 9.9, 9.0, 9.4, 8.9, 9.7, 9.2,
          8.9, 9.2, 8.3, 9.7, 8.7, 9.6, 8.6, 9.4, 7.9, 9.9, 8.0, 9.6},
         9.129166666666666,
         false},
        {"woman 34, custom factors",
         {88.0, 95.5, 102.3, 79.4, 84.6, 91.2, 85.3, 99.1, 97.8, 82.0, 88.8, 94.5,
          70.2, 65.8, 75.4,  81.9, 68.3, 72.6, 73.5, 62.1, 79.9, 77.7, 71.0, 69.4},
         {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0,
          0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
         false,
         32947.0,
         45413.697916666664,
         kCustomFactors,
         // Average, QualityAverage, BandUnit, thresholds (11.5u 21u 10.5u 20u 22u 41u)
         81.5125,
         0.0,
         1.26588671875,
         {14.557697265625, 26.58362109375, 13.291810546875, 25.317734375, 27.8495078125,
          51.90135546875},
         {96.80000000000001,
          85.95,
          107.415,
          75.43,
          101.52,
          77.52,
          93.83,
          89.19,
          102.69,
          77.89999999999999,
          106.55999999999999,
          80.325,
          70.2,
          75.66999999999999,
          60.32000000000001,
          102.375,
          61.47,
          79.86,
          73.5,
          71.41499999999999,
          63.92000000000001,
          97.125,
          63.9,
          76.34000000000002},
         {96.72166666666668, 84.82333333333334, 95.23666666666666, 88.26166666666666, 68.73, 81.235,
          69.61166666666666, 79.12166666666667},
         // Yin Yang Up Down Left Right Hi Low
         {82.575, 83.36041666666667, 91.26083333333334, 74.67458333333333, 82.8775,
          83.05791666666667, 96.72166666666668, 68.73},
         {68.57, 91.42250000000001, 93.735, 75.03, 87.16, 81.3475, 67.6575, 90.29499999999999,
          97.875, 74.92000000000002, 87.0775, 80.52250000000001},
         {{{68.11375, 73.54249999999999, 62.685},
           {90.85875, 105.05250000000001, 76.66499999999999},
           {95.80499999999999, 87.57, 104.03999999999999},
           {74.975, 71.85, 78.10000000000001},
           {87.11875, 95.315, 78.9225},
           {80.935, 62.120000000000005, 99.75},
           {93.331875, 96.31125, 90.35249999999999}}},
         // ratios Up/Down Left/Right Yin/Yang Hi/Low
         {1.2221137267812008, 0.9978278209482339, 0.9905780621298078, 1.4072699936951356},
         {1, 0, 1, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 0, -1, 1, -1, 0, 0, 0, -1, 1, -1, 0},
         {0, 0, 1, 0, 1, 0, 0, 0, -1, 1, -1, 0},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, -1, 0, 1, 0, 0, 0},
         {0, 1, 0, 0, 0, -1, 0, 0, 0, 0, 0, -1},
         {{{-1, 0, -1}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}, {0, 0, 0}, {0, -1, 1}, {0, 1, 0}}},
         // body, Up/Down, Left/Right, Yin/Yang, ANS
         {3, 2, 0, 0, 0},
         // expected average 59.22, unclamped index 79.66435325903412
         79.66435325903412,
         {9.1, 9.8, 8.4, 9.7, 8.7, 9.8,  9.4, 9.6, 8.6, 9.8, 8.4, 10.0,
          9.5, 9.7, 8.4, 8.6, 8.5, 10.0, 9.7, 9.5, 8.6, 8.8, 8.6, 9.8},
         9.208333333333334,
         false},
        {"girl 14, weak and one-sided",
         {40.0, 40.0, 40.0, 40.0, 40.0, 40.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0,
          1.0,  1.0,  1.0,  1.0,  1.0,  1.0,  1.0, 1.0, 1.0, 1.0, 1.0, 1.0},
         {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0,
          0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
         false,
         40179.0,
         45413.385416666664,
         viro::kDefaultCorrectionFactors,
         // Average, QualityAverage, BandUnit, thresholds (11.5u 21u 10.5u 20u 22u 41u)
         10.75,
         0.0,
         0.668828125,
         {7.6915234375, 14.045390625, 7.0226953125, 13.3765625, 14.71421875, 27.421953124999998},
         {34.164, 37.272, 44.324000000000005,
          37.272, 32.156, 32.156,
          0.8541, 0.9318, 1.1081,
          0.9318, 0.8039, 0.8039,
          1.0,    1.2424, 1.0,
          1.0789, 1.2424, 1.1388,
          1.0,    1.2424, 1.0,
          1.0789, 1.2424, 1.1388},
         {38.586666666666666, 33.861333333333334, 0.9646666666666667, 0.8465333333333332, 1.0808,
          1.1533666666666667, 1.0808, 1.1533666666666667},
         // Yin Yang Up Down Left Right Hi Low
         {10.428233333333333, 9.25365, 18.5648, 1.1170833333333334, 18.670541666666665,
          1.0113416666666666, 38.586666666666666, 0.8465333333333332},
         {1.2424, 40.798, 34.714, 1.0694, 33.16, 1.03945, 1.2424, 1.0199500000000001, 0.86785,
          1.0694, 0.829, 1.03945},
         {{{1.2424, 1.2424, 1.2424},
           {20.908975, 22.716050000000003, 19.1019},
           {17.790925, 19.1019, 16.47995},
           {1.0694, 1.0, 1.1388},
           {16.994500000000002, 17.509050000000002, 16.47995},
           {1.03945, 1.0, 1.0789},
           {19.34995, 20.908975, 17.790925}}},
         // ratios Up/Down Left/Right Yin/Yang Hi/Low
         {16.61899291309213, 18.46116132859815, 1.1269318953421983, 45.58198141439597},
         {3, 3, 3, 3, 2, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
         {0, 1, 1, 1, 0, 0, -1, -1, -1, -1, -1, -1},
         {2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0},
         {-1, 2, 2, -1, 2, -1, -1, -1, -1, -1, -1, -1},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {{{-1, -1, -1}, {1, 1, 1}, {0, 1, 0}, {-1, -1, -1}, {0, 0, 0}, {-1, -1, -1}, {1, 1, 0}}},
         // body, Up/Down, Left/Right, Yin/Yang, ANS
         {-3, 3, 3, 0, 3},
         // expected average 70.5, unclamped index 4.904255319148936
         5.0,
         {1.0, 1.0, 1.0, 1.0, 1.3, 1.3, 5.6, 5.5, 5.5, 5.6, 5.7, 5.7,
          5.8, 5.9, 5.8, 5.8, 5.9, 5.9, 5.8, 5.9, 5.8, 5.8, 5.9, 5.9},
         4.6,
         true},
        {"boy 14, weak and one-sided, factors 1",
         {40.0, 40.0, 40.0, 40.0, 40.0, 40.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0,
          1.0,  1.0,  1.0,  1.0,  1.0,  1.0,  1.0, 1.0, 1.0, 1.0, 1.0, 1.0},
         {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0,
          0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
         true,
         40179.0,
         45413.385416666664,
         kOnes,
         // Average, QualityAverage, BandUnit, thresholds (11.5u 21u 10.5u 20u 22u 41u)
         10.75,
         0.0,
         0.668828125,
         {7.6915234375, 14.045390625, 7.0226953125, 13.3765625, 14.71421875, 27.421953124999998},
         {40.0, 40.0, 40.0, 40.0, 40.0, 40.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0,
          1.0,  1.0,  1.0,  1.0,  1.0,  1.0,  1.0, 1.0, 1.0, 1.0, 1.0, 1.0},
         {40.0, 40.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0},
         // Yin Yang Up Down Left Right Hi Low
         {10.75, 10.75, 20.5, 1.0, 20.5, 1.0, 40.0, 1.0},
         {1.0, 40.0, 40.0, 1.0, 40.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0},
         {{{1.0, 1.0, 1.0},
           {20.5, 20.5, 20.5},
           {20.5, 20.5, 20.5},
           {1.0, 1.0, 1.0},
           {20.5, 20.5, 20.5},
           {1.0, 1.0, 1.0},
           {20.5, 20.5, 20.5}}},
         // ratios Up/Down Left/Right Yin/Yang Hi/Low
         {20.5, 20.5, 1.0, 40.0},
         {3, 3, 3, 3, 3, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},
         {1, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1, -1},
         {2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0},
         {-1, 2, 2, -1, 2, -1, -1, -1, -1, -1, -1, -1},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {{{-1, -1, -1}, {1, 1, 1}, {1, 1, 1}, {-1, -1, -1}, {1, 1, 1}, {-1, -1, -1}, {1, 1, 1}}},
         // body, Up/Down, Left/Right, Yin/Yang, ANS
         {-3, 3, 3, 0, 3},
         // expected average 75.0, unclamped index 1.52
         5.0,
         {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 5.5, 5.5, 5.5, 5.6, 5.6, 5.6,
          5.8, 5.8, 5.8, 5.8, 5.8, 5.8, 5.8, 5.8, 5.8, 5.8, 5.8, 5.8},
         4.5375,
         true},
        {"equal raw values, default factors, unknown birth",
         {50.0, 50.0, 50.0, 50.0, 50.0, 50.0, 50.0, 50.0, 50.0, 50.0, 50.0, 50.0,
          50.0, 50.0, 50.0, 50.0, 50.0, 50.0, 50.0, 50.0, 50.0, 50.0, 50.0, 50.0},
         {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0,
          0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
         true,
         -1.0,
         45413.0,
         viro::kDefaultCorrectionFactors,
         // Average, QualityAverage, BandUnit, thresholds (11.5u 21u 10.5u 20u 22u 41u)
         50.0,
         0.0,
         1.0,
         {11.5, 21.0, 10.5, 20.0, 22.0, 41.0},
         {42.705, 46.589999999999996,
          55.405, 46.589999999999996,
          40.195, 40.195,
          42.705, 46.589999999999996,
          55.405, 46.589999999999996,
          40.195, 40.195,
          50.0,   62.12,
          50.0,   53.945,
          62.12,  56.940000000000005,
          50.0,   62.12,
          50.0,   53.945,
          62.12,  56.940000000000005},
         {48.233333333333334, 42.32666666666667, 48.233333333333334, 42.32666666666667, 54.04,
          57.66833333333334, 54.04, 57.66833333333334},
         // Yin Yang Up Down Left Right Hi Low
         {51.13666666666667, 49.9975, 45.28, 55.85416666666667, 50.567083333333336,
          50.567083333333336, 57.66833333333334, 42.32666666666667},
         {62.12, 50.9975, 43.3925, 53.47, 41.45, 51.9725, 62.12, 50.9975, 43.3925, 53.47, 41.45,
          51.9725},
         {{{62.12, 62.12, 62.12},
           {50.9975, 55.405, 46.589999999999996},
           {43.3925, 46.589999999999996, 40.195},
           {53.47, 50.0, 56.940000000000005},
           {41.45, 42.705, 40.195},
           {51.9725, 50.0, 53.945},
           {47.195, 50.9975, 43.3925}}},
         // ratios Up/Down Left/Right Yin/Yang Hi/Low
         {0.8106825811264453, 1.0, 1.0227844725569613, 1.3624586549062845},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0},
         {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         {{{1, 1, 1}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}}},
         // body, Up/Down, Left/Right, Yin/Yang, ANS
         {0, -2, 0, 0, 0},
         // expected average 58.0, unclamped index 79.26206896551724
         79.26206896551724,
         {9.5,  9.8, 9.6,  9.8, 9.3, 9.3, 9.5,  9.8, 9.6,  9.8, 9.3, 9.3,
          10.0, 8.6, 10.0, 9.7, 8.6, 9.5, 10.0, 8.6, 10.0, 9.7, 8.6, 9.5},
         9.475,
         false},
    };
    return cases;
}

TEST(ComputeAnalysis, MixedMeasurements) {
    for (const MixedCase& c : mixedCases()) {
        SCOPED_TRACE(c.name);
        const std::optional<AnalysisResult> result = viro::ComputeAnalysis(
            recordOf(c.values, c.date, c.quality), c.male, c.birth, c.factors);
        ASSERT_TRUE(result.has_value());
        const AnalysisResult& r = *result;
        EXPECT_DOUBLE_EQ(r.Average, c.average);
        EXPECT_DOUBLE_EQ(r.QualityAverage, c.qualityAverage);
        EXPECT_DOUBLE_EQ(r.BandUnit, c.bandUnit);
        expectAllDoubleEq(std::array<double, 6>{r.ExcessNormal, r.ExcessTolerable,
                                                r.DeficiencyNormal, r.DeficiencyTolerable,
                                                r.DiffNormal, r.DiffTolerable},
                          c.thresholds, "thresholds");
        expectAllDoubleEq(r.Corrected, c.corrected, "Corrected");
        for (int k = 0; k < kPointCount; ++k)
            EXPECT_DOUBLE_EQ(r.Deviation[k], c.corrected[k] - c.average) << "Deviation " << k;
        expectAllDoubleEq(r.GroupMean, c.groupMean, "GroupMean");
        expectAllDoubleEq(
            std::array<double, 8>{r.Yin, r.Yang, r.Up, r.Down, r.Left, r.Right, r.Hi, r.Low},
            c.means, "means");
        expectAllDoubleEq(r.PairMean, c.pairMean, "PairMean");
        for (int e = 0; e < viro::kElementRows; ++e)
            expectAllDoubleEq(r.ElementTable[e], c.elementTable[e], "ElementTable row");
        expectAllDoubleEq(
            std::array<double, 4>{viro::meanRatio(r.Up, r.Down), viro::meanRatio(r.Left, r.Right),
                                  viro::meanRatio(r.Yin, r.Yang), viro::meanRatio(r.Hi, r.Low)},
            c.ratios, "ratios");
        EXPECT_EQ(r.PointClass, c.pointClass);
        EXPECT_EQ(r.MeridianClass, c.meridianClass);
        EXPECT_EQ(r.SideDiffClass, c.sideDiffClass);
        EXPECT_EQ(r.PairClass, c.pairClass);
        EXPECT_EQ(r.PairDiffClass, c.pairDiffClass);
        EXPECT_EQ(r.ElementClass, c.elementClass);
        EXPECT_EQ((std::array<int, 5>{r.BodyEnergyClass, r.UpDownClass, r.LeftRightClass,
                                      r.YinYangClass, r.AnsClass}),
                  c.bodyClasses);
        EXPECT_DOUBLE_EQ(r.IntegratedIndex, c.integratedIndex);
        expectAllDoubleEq(r.PointScore, c.pointScore, "PointScore");
        EXPECT_DOUBLE_EQ(r.MeridiansIndex, c.meridiansIndex);
        EXPECT_EQ(r.LowEnergy, c.lowEnergy);
    }
}

} // namespace
