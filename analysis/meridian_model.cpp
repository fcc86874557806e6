#include "analysis/meridian_model.h"

namespace viro {

const std::array<MeridianInfo, kMeridianCount>& meridianTable() {
    static const std::array<MeridianInfo, kMeridianCount> table{{
        {"Lung Meridian", "LU", "Hand-TaiYin", "Metal", "TaiYuan  LU9", "Lung Meridian(LU)",
         "3am-5am"},
        {"Pericardium Meridian", "PC", "Hand-JueYin", "Mi.Fire", "DaLing   PC7",
         "Pericardium Meridian(PC)", "7pm-9pm"},
        {"Heart Meridian", "HT", "Hand-Shaoyin", "Mo.Fire", "ShenMen  HT7", "Heart Meridian(HT)",
         "11am-1pm"},
        {"Small Intestine Meridian", "SI", "Hand-TaiYang", "Mo.Fire", "WanGu    SI4",
         "Small Intestine Meridian(SI)", "1pm-3pm"},
        {"Triple Energizer Meridian", "TE", "Hand-Shaoyang", "Mi.Fire", "YangChi  TE4",
         "Triple Energizer Meridian(TE)", "9pm-11pm"},
        {"Large Intestine Meridian", "LI", "Hand-YangMin", "Metal", "YangXi   LI5",
         "Large Intestine Meridian(LI)", "5am-7am"},
        {"Spleen Meridian", "SP", "Foot-TaiYin", "Earth", "TaiBai   SP3", "Spleen Meridian(SP)",
         "9am-11am"},
        {"Liver Meridian", "LR", "Foot-JueYin", "Wood", "TaiChong LR3", "Liver Meridian(LR)",
         "1am-3am"},
        {"Kidney Meridian", "KI", "Foot-ShaoYin", "Water", "DaZhong  KI4", "Kidney Meridian(KI)",
         "5pm-7pm"},
        {"Bladder Meridian", "BL", "Foot-TaiYang", "Water", "ShuGu    BL65",
         "Bladder Meridian(BL)", "3pm-5pm"},
        {"Gallbladder Meridian", "GB", "Foot-ShaoYang", "Wood", "QiuXu    GB40",
         "Gallbladder Meridian(GB)", "11pm-1am"},
        {"Stomach Meridian", "ST", "Foot-YangMing", "Earth", "ChongYang ST42",
         "Stomach Meridian(ST)", "7am-9am"},
    }};
    return table;
}

const MeridianInfo& meridian(int meridianNumber) { return meridianTable().at(meridianNumber - 1); }

int elementPartner(int meridianNumber) {
    static constexpr std::array<int, kMeridianCount> partner{6, 5, 4, 3, 2, 1, 12, 11, 10, 9, 8, 7};
    return partner.at(meridianNumber - 1);
}

bool isValidMeridianOrder(const std::array<int, kMeridianCount>& order) {
    std::array<bool, kMeridianCount> seen{};
    for (int i = 0; i < kMeridianCount; ++i) {
        const int m = order[i];
        if (m < 1 || m > kMeridianCount || seen[m - 1])
            return false;
        if ((i < 6) != (m <= 6))
            return false;
        seen[m - 1] = true;
    }
    return true;
}

MeasuringSequence buildMeasuringSequence(int mode, const std::array<int, kMeridianCount>& custom) {
    MeasuringSequence seq;
    if (mode == 0) {
        seq.order = kNaturalOrder;
    } else if (mode == 1) {
        seq.order = kPairedOrder;
    } else {
        for (int i = 0; i < kMeridianCount; ++i) {
            const int m = custom[i];
            seq.order[i] = (m >= 1 && m <= kMeridianCount) ? m : i + 1;
        }
        if (!isValidMeridianOrder(seq.order))
            seq.order = kNaturalOrder;
    }
    for (int i = 0; i < 6; ++i) {
        const int hand = seq.order[i];
        const int foot = seq.order[i + 6];
        seq.position[i] = leftPointOf(hand);
        seq.position[i + 6] = rightPointOf(hand);
        seq.position[i + 12] = leftPointOf(foot);
        seq.position[i + 18] = rightPointOf(foot);
        seq.meridianOfPosition[i] = hand;
        seq.meridianOfPosition[i + 6] = hand;
        seq.meridianOfPosition[i + 12] = foot;
        seq.meridianOfPosition[i + 18] = foot;
    }
    for (int i = 0; i < kMeridianCount; ++i) {
        seq.pairLeft[i] = leftPointOf(seq.order[i]);
        seq.pairRight[i] = rightPointOf(seq.order[i]);
    }
    return seq;
}

CorrectionFactors buildCorrectionFactors(int mode, const CorrectionFactors& custom) {
    if (mode == 0)
        return kDefaultCorrectionFactors;
    if (mode == 1) {
        CorrectionFactors ones;
        ones.fill(1.0);
        return ones;
    }
    return custom;
}

} // namespace viro
