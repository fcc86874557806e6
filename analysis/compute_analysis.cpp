#include "analysis/compute_analysis.h"

#include "analysis/interpretation.h"

#include <cmath>
#include <limits>

namespace viro {

namespace {

// Every intermediate value is held in x87 extended precision; only results are rounded to
// double. Decimal constants are extended literals so they are not rounded to double first.
using Ext = long double;

// Which class a value on or next to a bound falls into (a ratio against 0.88, a deviation
// against 7.875) depends on the rounding of 80-bit arithmetic; another mantissa (53 bits with
// MSVC, 113 on AArch64 Linux) can move it into the neighbouring class. So the build stops
// unless long double is x87 extended, as with GCC and Clang on x86 and x86-64.
static_assert(std::numeric_limits<long double>::digits == 64,
              "The analysis needs an 80-bit long double with a 64-bit mantissa (x87 extended), "
              "as GCC and Clang give on x86 and x86-64 Linux");

// Six ascending bounds for classes -3..+2; a value not below the last one is +3.
using RatioBounds = std::array<Ext, 6>;

constexpr RatioBounds kUpDownMale{0.73L, 0.83L, 0.88L, 1.2L, 1.3L, 1.4L};
constexpr RatioBounds kUpDownFemale{0.65L, 0.75L, 0.78L, 1.1L, 1.15L, 1.25L};
constexpr RatioBounds kLeftRight{0.68L, 0.78L, 0.88L, 1.15L, 1.25L, 1.35L};
constexpr RatioBounds kYinYang{0.62L, 0.72L, 0.82L, 1.25L, 1.35L, 1.45L};
constexpr RatioBounds kBodyEnergyMale{19, 28, 30, 65, 70, 75};
constexpr RatioBounds kBodyEnergyFemale{18, 24, 28, 62, 67, 72};

// Yin-Zang and Yang-Fu member of each element, in the row order Wood, Mo.Fire, Mi.Fire, Earth,
// Metal, Water.
constexpr std::array<int, 6> kYinZangOf{8, 3, 2, 7, 1, 9};
constexpr std::array<int, 6> kYangFuOf{11, 4, 5, 12, 6, 10};

int classByBounds(Ext value, const RatioBounds& bounds) {
    for (int i = 0; i < int(bounds.size()); ++i)
        if (value < bounds[i])
            return i - 3;
    return 3;
}

Ext mean4(double a, double b, double c, double d) {
    return (Ext(a) + b + c + d) / 4;
}

} // namespace

double bandUnit(double average) {
    return double(0.6625L + 0.0084375L * (Ext(average) - 10));
}

// Multiples of a double u by these small constants are exact in extended precision, so the
// bounds are exactly k * u whatever u is.
int fourLevelClass(long double x, double u) {
    const Ext unit = u;
    if (x >= 0) {
        if (x < 11.5L * unit)
            return 0;
        if (x < 21 * unit)
            return 1;
        if (x < 32.5L * unit)
            return 2;
        return 3;
    }
    const Ext a = -x;
    if (a < 10.5L * unit)
        return 0;
    if (a < 20 * unit)
        return -1;
    if (a < 30.5L * unit)
        return -2;
    return -3;
}

int twoLevelClass(long double x, double u) {
    const Ext unit = u;
    if (x >= 0) {
        if (x < 11.5L * unit)
            return 0;
        if (x < 21 * unit)
            return 1;
        return 2;
    }
    const Ext a = -x;
    if (a < 10.5L * unit)
        return 0;
    if (a < 20 * unit)
        return -1;
    return -2;
}

int differenceClass(long double x, double u) {
    const Ext unit = u;
    const Ext a = std::fabs(x);
    const int size = a < 22 * unit ? 0 : a < 41 * unit ? 1 : 2;
    return x < 0 ? -size : size;
}

double meanRatio(double numerator, double denominator) {
    return double(Ext(numerator) / denominator);
}

int bodyEnergyClass(double average, bool male) {
    return classByBounds(average, male ? kBodyEnergyMale : kBodyEnergyFemale);
}

int upDownClass(double ratio, bool male) {
    return classByBounds(ratio, male ? kUpDownMale : kUpDownFemale);
}

int leftRightClass(double ratio) {
    return classByBounds(ratio, kLeftRight);
}

int yinYangClass(double ratio) {
    return classByBounds(ratio, kYinYang);
}

int ansClass(double hiLowRatio) {
    const Ext r = hiLowRatio;
    if (r <= 1.5L)
        return 0;
    if (r <= 1.8L)
        return 1;
    if (r <= 2.0L)
        return 2;
    return 3;
}

long double ageInYears(double measured, double birthDate) {
    if (birthDate < 0)
        return 40;
    return (Ext(measured) - birthDate) / 365;
}

long double expectedAverage(bool male, long double age) {
    Ext expected = 32;
    if (age <= 20)
        expected = 75;
    else if (age <= 30)
        expected = 68;
    else if (age <= 35)
        expected = 63;
    else if (age <= 40)
        expected = 58;
    else if (age <= 45)
        expected = 53;
    else if (age <= 50)
        expected = 48;
    else if (age <= 55)
        expected = 43;
    else if (age <= 60)
        expected = 40;
    else if (age <= 65)
        expected = 36;
    if (!male)
        expected -= expected * 0.06L;
    return expected;
}

double pointScoreFromRaw(long double raw) {
    const double score = double(std::nearbyint(raw + 0.5L) / 10);
    return score < 1.0 ? 1.0 : score;
}

PairPoints pairPoints(int pair) {
    const int element = (pair - 1) % 6;
    const bool left = pair <= 6;
    const int yz = kYinZangOf.at(element);
    const int yf = kYangFuOf.at(element);
    return left ? PairPoints{leftPointOf(yz), leftPointOf(yf)}
                : PairPoints{rightPointOf(yz), rightPointOf(yf)};
}

int leftPairOf(int meridianNumber) {
    for (int e = 0; e < 6; ++e)
        if (kYinZangOf[e] == meridianNumber || kYangFuOf[e] == meridianNumber)
            return e + 1;
    return 0;
}

std::optional<AnalysisResult> ComputeAnalysis(const MeasurementRecord& record, bool male,
                                              double birthDate, const CorrectionFactors& factors) {
    for (double v : record.values)
        if (!std::isfinite(v) || !(v > 0))
            return std::nullopt;
    for (double f : factors)
        if (!std::isfinite(f) || !(f > 0))
            return std::nullopt;

    AnalysisResult r;
    auto corrected = [&r](int point) { return r.Corrected[point - 1]; };

    // Averages: the raw values, not the corrected ones.
    Ext sum = 0;
    Ext qualitySum = 0;
    for (int k = 0; k < kPointCount; ++k) {
        sum += record.values[k];
        qualitySum += record.quality[k];
    }
    r.Average = double(sum / kPointCount);
    r.QualityAverage = double(qualitySum / kPointCount);
    const Ext average = r.Average;

    for (int k = 0; k < kPointCount; ++k)
        r.Corrected[k] = double(Ext(record.values[k]) * factors[meridianOfPoint(k + 1) - 1]);

    r.LowEnergy = r.Average <= 12;

    for (int g = 0; g < kGroupCount; ++g)
        r.GroupMean[g] =
            double((Ext(r.Corrected[3 * g]) + r.Corrected[3 * g + 1] + r.Corrected[3 * g + 2]) / 3);

    const double u = bandUnit(r.Average);
    const Ext unit = u;
    r.BandUnit = u;
    r.ExcessTolerable = double(21 * unit);
    r.ExcessNormal = double(11.5L * unit);
    r.DeficiencyNormal = double(10.5L * unit);
    r.DeficiencyTolerable = double(20 * unit);
    r.DiffNormal = double(22 * unit);
    r.DiffTolerable = double(41 * unit);

    for (int p = 0; p < kPairCount; ++p) {
        const PairPoints pp = pairPoints(p + 1);
        r.PairMean[p] = double((Ext(corrected(pp.yinZang)) + corrected(pp.yangFu)) / 2);
    }

    for (int e = 0; e < 6; ++e) {
        const int yz = kYinZangOf[e];
        const int yf = kYangFuOf[e];
        auto& row = r.ElementTable[e];
        row[YinZangMember] =
            double((Ext(corrected(leftPointOf(yz))) + corrected(rightPointOf(yz))) / 2);
        row[YangFuMember] =
            double((Ext(corrected(leftPointOf(yf))) + corrected(rightPointOf(yf))) / 2);
        row[BothMembers] = double((Ext(row[YinZangMember]) + row[YangFuMember]) / 2);
    }
    for (int c = 0; c < kElementColumns; ++c)
        r.ElementTable[Fire][c] =
            double((Ext(r.ElementTable[MoFire][c]) + r.ElementTable[MiFire][c]) / 2);

    for (int e = 0; e < kElementRows; ++e)
        for (int c = 0; c < kElementColumns; ++c)
            r.ElementClass[e][c] = twoLevelClass(Ext(r.ElementTable[e][c]) - average, u);

    const auto& gm = r.GroupMean;
    r.Yin = double(mean4(gm[0], gm[2], gm[4], gm[6]));
    r.Yang = double(mean4(gm[1], gm[3], gm[5], gm[7]));
    r.Up = double(mean4(gm[0], gm[1], gm[2], gm[3]));
    r.Down = double(mean4(gm[4], gm[5], gm[6], gm[7]));
    r.Left = double(mean4(gm[0], gm[1], gm[4], gm[5]));
    r.Right = double(mean4(gm[2], gm[3], gm[6], gm[7]));

    // The true extremes. Starting Low at a fixed 200 would leave it above every group mean of a
    // strong measurement and falsify the Hi/Low ratio.
    r.Hi = gm[0];
    r.Low = gm[0];
    for (double m : gm) {
        if (m < r.Low)
            r.Low = m;
        if (m > r.Hi)
            r.Hi = m;
    }

    for (int k = 0; k < kPointCount; ++k) {
        r.Deviation[k] = double(Ext(r.Corrected[k]) - average);
        r.PointClass[k] = fourLevelClass(r.Deviation[k], u);
    }

    for (int m = 1; m <= kMeridianCount; ++m) {
        const Ext left = corrected(leftPointOf(m));
        const Ext right = corrected(rightPointOf(m));
        r.MeridianClass[m - 1] = fourLevelClass((left + right) / 2 - average, u);
        r.SideDiffClass[m - 1] = differenceClass(left - right, u);
        const PairPoints pp = pairPoints(m);
        r.PairClass[m - 1] = twoLevelClass(Ext(r.PairMean[m - 1]) - average, u);
        r.PairDiffClass[m - 1] =
            differenceClass(Ext(corrected(pp.yinZang)) - corrected(pp.yangFu), u);
    }

    r.BodyEnergyClass = bodyEnergyClass(r.Average, male);
    r.UpDownClass = upDownClass(meanRatio(r.Up, r.Down), male);
    r.LeftRightClass = leftRightClass(meanRatio(r.Left, r.Right));
    r.YinYangClass = yinYangClass(meanRatio(r.Yin, r.Yang));
    r.AnsClass = ansClass(meanRatio(r.Hi, r.Low));

    // Energetic composite index: start from how far the average is from the expected one.
    const Ext expected = expectedAverage(male, ageInYears(record.dateTime, birthDate));
    const Ext dev = (average - expected) / expected * 100;
    Ext b = dev >= 0 ? 0.1L * dev : 0.3L * dev;
    // Weak measurements weigh the shortfall more: the weights add a fraction of B.
    if (r.Average <= 10)
        b += b * 0.5L;
    else if (r.Average <= 15)
        b += b * 0.4L;
    else if (r.Average <= 20)
        b += b * 0.3L;
    else if (r.Average <= 25)
        b += b * 0.2L;
    Ext e = 90 + b;

    std::array<Ext, kPointCount> score{};
    for (int k = 0; k < kPointCount; ++k) {
        const int cls = r.PointClass[k];
        e -= std::fabs(0.6L * cls);
        score[k] = 100 - std::fabs((Ext(r.Corrected[k]) - average) / average) * 40;
        if (cls >= 0)
            score[k] -= 1.5L * cls;
        else
            score[k] += 2 * cls;
    }

    for (int m = 1; m <= kMeridianCount; ++m) {
        const int mc = r.MeridianClass[m - 1];
        const int sdc = r.SideDiffClass[m - 1];
        e -= std::fabs(0.6L * mc) + std::fabs(0.6L * sdc) + std::fabs(0.5L * r.PairClass[m - 1]) +
             std::fabs(0.5L * r.PairDiffClass[m - 1]);
        for (int point : {leftPointOf(m), rightPointOf(m)}) {
            score[point - 1] -= std::abs(mc) + std::abs(sdc);
            if (mc < 0)
                score[point - 1] -= 1;
        }
    }

    // Cross-meridian penalties. Yin-Zang meridians take their element pair from the left side,
    // Yang-Fu meridians from the right, whichever side the point is on.
    for (int point = 1; point <= kPointCount; ++point) {
        const int m = meridianOfPoint(point);
        const int pair = isYinZang(m) ? leftPairOf(m) : leftPairOf(m) + 6;
        const int partner = elementPartner(m);
        const int partnerPoint = isLeftPoint(point) ? leftPointOf(partner) : rightPointOf(partner);
        score[point - 1] -= std::abs(r.PairDiffClass[pair - 1]) + std::abs(r.PairClass[pair - 1]) +
                            std::fabs(0.6L * r.PointClass[oppositePoint(point) - 1]) +
                            std::fabs(0.3L * r.MeridianClass[partner - 1]) +
                            std::fabs(0.3L * r.PointClass[partnerPoint - 1]);
    }

    // The body energy class is deliberately not subtracted.
    e -= std::abs(r.UpDownClass) + std::abs(r.LeftRightClass) + std::abs(r.YinYangClass) +
         r.AnsClass;
    r.IntegratedIndex = e > 100 ? 99.0 : e < 5 ? 5.0 : double(e);

    for (int k = 0; k < kPointCount; ++k)
        r.PointScore[k] = pointScoreFromRaw(score[k]);

    Ext leftSum = 0;
    Ext rightSum = 0;
    for (int m = 1; m <= kMeridianCount; ++m) {
        leftSum += r.PointScore[leftPointOf(m) - 1];
        rightSum += r.PointScore[rightPointOf(m) - 1];
    }
    r.MeridiansIndex = double((leftSum + rightSum) / kPointCount);

    r.Sentences = {interpretationSentence(BodyEnergySentence, r.BodyEnergyClass),
                   interpretationSentence(MentalStateSentence, r.UpDownClass),
                   interpretationSentence(MusculoskeletalSentence, r.LeftRightClass),
                   interpretationSentence(MetabolismSentence, r.YinYangClass),
                   interpretationSentence(AutonomicSentence, r.AnsClass)};
    return r;
}

} // namespace viro
