#pragma once

#include "analysis/meridian_model.h"

#include <QString>

#include <array>

namespace viro {

inline constexpr int kGroupCount = 8;  // Tri.Yin / Tri.Yang of each limb and side
inline constexpr int kPairCount = 12;  // element pairs, six left then six right
inline constexpr int kElementRows = 7; // Wood, Mo.Fire, Mi.Fire, Earth, Metal, Water, Fire
inline constexpr int kElementColumns = 3;

enum ElementRow { Wood, MoFire, MiFire, Earth, Metal, Water, Fire };
enum ElementColumn { BothMembers, YinZangMember, YangFuMember };

using ElementValues = std::array<std::array<double, kElementColumns>, kElementRows>;
using ElementClasses = std::array<std::array<int, kElementColumns>, kElementRows>;

// Every number and class derived from one complete measurement. Arrays are 0-based: points by
// point index - 1, meridians by meridian number - 1, groups and pairs by their number - 1.
// Classes are small signed integers: 0 normal, +-1 tolerable, +-2 and +-3 poor; the sign tells
// excess (+) from deficiency (-).
struct AnalysisResult {
    double Average = 0;        // mean of the raw values
    double QualityAverage = 0; // mean of the quality scores
    std::array<double, kPointCount> Corrected{};
    std::array<double, kPointCount> Deviation{}; // Corrected - Average
    std::array<int, kPointCount> PointClass{};   // -3..+3

    double BandUnit = 0;
    double ExcessNormal = 0;        // 11.5 u
    double ExcessTolerable = 0;     // 21 u
    double DeficiencyNormal = 0;    // 10.5 u
    double DeficiencyTolerable = 0; // 20 u
    double DiffNormal = 0;          // 22 u
    double DiffTolerable = 0;       // 41 u

    std::array<double, kGroupCount> GroupMean{};
    double Yin = 0;
    double Yang = 0;
    double Up = 0;
    double Down = 0;
    double Left = 0;
    double Right = 0;
    double Hi = 0;
    double Low = 0;
    std::array<double, kPairCount> PairMean{};
    ElementValues ElementTable{};

    std::array<int, kMeridianCount> MeridianClass{}; // -3..+3
    std::array<int, kMeridianCount> SideDiffClass{}; // -2..+2
    std::array<int, kPairCount> PairClass{};         // -2..+2
    std::array<int, kPairCount> PairDiffClass{};     // -2..+2
    ElementClasses ElementClass{};                   // -2..+2

    int BodyEnergyClass = 0; // -3..+3
    int UpDownClass = 0;     // -3..+3
    int LeftRightClass = 0;  // -3..+3
    int YinYangClass = 0;    // -3..+3
    int AnsClass = 0;        // 0..3

    double IntegratedIndex = 0;                   // 5..100
    std::array<double, kPointCount> PointScore{}; // 1.0..10.0 in tenths
    double MeridiansIndex = 0;
    bool LowEnergy = false;

    // The sentences of the five state classes: body energy, mental state, musculoskeletal
    // system, metabolism, autonomic nerves.
    std::array<QString, 5> Sentences;
};

} // namespace viro
