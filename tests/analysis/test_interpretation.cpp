#include "analysis/compute_analysis.h"
#include "analysis/interpretation.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace viro;

const CorrectionFactors kOnes{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

// A measurement whose every point reads `value`, adjusted by `edit` (point index -> value).
MeasurementRecord measurement(double value,
                              const std::function<void(MeasurementRecord&)>& edit = {}) {
    MeasurementRecord r;
    r.values.fill(value);
    r.dateTime = 45000; // 2023-03-15
    if (edit)
        edit(r);
    return r;
}

void setPoint(MeasurementRecord& r, int point, double v) {
    r.values[point - 1] = v;
}

// Hands (points 1-12) at `hand`, feet (13-24) at `foot`.
MeasurementRecord handsAndFeet(double hand, double foot) {
    return measurement(foot, [hand](MeasurementRecord& r) {
        for (int k = 1; k <= 12; ++k)
            setPoint(r, k, hand);
    });
}

// Group 1 (left hand Tri.Yin: points 1-3) at `high`, everything else at `low`.
MeasurementRecord oneHighGroup(double high, double low) {
    return measurement(low, [high](MeasurementRecord& r) {
        for (int k = 1; k <= 3; ++k)
            setPoint(r, k, high);
    });
}

AnalysisResult analyse(const MeasurementRecord& m, bool male) {
    const auto r = ComputeAnalysis(m, male, 20000, kOnes);
    EXPECT_TRUE(r.has_value());
    return r.value_or(AnalysisResult{});
}

TEST(Interpretation, SentenceBoundaries) {
    struct Row {
        const char* name;
        MeasurementRecord m;
        bool male;
        SentenceGroup group;
        const char* sentence;
    };
    const char* const normalEnergy = "Body energy and primordial Qi are normal.";
    const char* const marginalEnergy =
        "Body energy and primordial Qi are marginally deficient, but still normal.";
    const char* const moderateStress = "The upper-jiao is excessive while the lower-jiao is "
                                       "deficient, which shows a moderate mental stress.";
    const char* const balancedMind = "Qi-Blood is balanced in upper-jiao and lower-jiao, and the "
                                     "spiritual activity is normal.";
    const Row rows[] = {
        {"man at 30", measurement(30), true, BodyEnergySentence, normalEnergy},
        {"man at 29.99", measurement(29.99), true, BodyEnergySentence, marginalEnergy},
        {"woman at 28", measurement(28), false, BodyEnergySentence, normalEnergy},
        {"woman at 27.99", measurement(27.99), false, BodyEnergySentence, marginalEnergy},
        {"man 66/50", handsAndFeet(66, 50), true, MentalStateSentence, moderateStress},
        {"man 60/50 stays below the extended 1.2", handsAndFeet(60, 50), true, MentalStateSentence,
         balancedMind},
        {"woman 60/50", handsAndFeet(60, 50), false, MentalStateSentence, moderateStress},
        {"hi/low exactly 1.5", oneHighGroup(75, 50), true, AutonomicSentence,
         "Autonomic nervous system is normal."},
        {"hi/low 1.79", oneHighGroup(89.5, 50), true, AutonomicSentence,
         "Autonomic nervous system is slightly imbalanced."},
        {"hi/low 90/50 lies above the extended 1.8", oneHighGroup(90, 50), true, AutonomicSentence,
         "Autonomic nervous system is moderately imbalanced."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const AnalysisResult r = analyse(row.m, row.male);
        EXPECT_EQ(r.Sentences[row.group], row.sentence);
    }
}

TEST(Interpretation, SentencesFollowTheirClassesInOrder) {
    // Strong hands, weak left side: every group away from the middle.
    const MeasurementRecord m = measurement(40, [](MeasurementRecord& r) {
        for (int k = 1; k <= 12; ++k)
            setPoint(r, k, 70);
        for (int k : {1, 2, 3, 4, 5, 6, 13, 14, 15, 16, 17, 18})
            r.values[k - 1] *= 0.6;
    });
    const AnalysisResult r = analyse(m, true);
    EXPECT_EQ(r.Sentences[0], interpretationSentence(BodyEnergySentence, r.BodyEnergyClass));
    EXPECT_EQ(r.Sentences[1], interpretationSentence(MentalStateSentence, r.UpDownClass));
    EXPECT_EQ(r.Sentences[2], interpretationSentence(MusculoskeletalSentence, r.LeftRightClass));
    EXPECT_EQ(r.Sentences[3], interpretationSentence(MetabolismSentence, r.YinYangClass));
    EXPECT_EQ(r.Sentences[4], interpretationSentence(AutonomicSentence, r.AnsClass));
    EXPECT_NE(r.LeftRightClass, 0);
    EXPECT_NE(r.UpDownClass, 0);
}

TEST(Interpretation, TextsKeepTheirWordingAndRanges) {
    EXPECT_EQ(interpretationSentence(MusculoskeletalSentence, 1),
              "There are slight imbalance and complications in the msculoskeletal system.");
    EXPECT_EQ(interpretationSentence(MetabolismSentence, 2),
              "Yin is greater than Yang and metabolic fuction decreases.");
    EXPECT_EQ(interpretationSentence(BodyEnergySentence, 3),
              "Body energy is excessive, and full of vigor.");
    EXPECT_EQ(interpretationSentence(MentalStateSentence, -3),
              "Qi-Blood is excessive in lower-jiao and psychasthenia is obvious.");
    EXPECT_EQ(interpretationSentence(AutonomicSentence, 3),
              "Autonomic nervous system is obviously imbalanced.");
    EXPECT_TRUE(interpretationSentence(AutonomicSentence, -1).isEmpty());
    EXPECT_TRUE(interpretationSentence(BodyEnergySentence, 4).isEmpty());
}

// Every sentence, word for word as the program has always shown it (spelling slips included).
TEST(Interpretation, EverySentenceOfEveryClass) {
    struct Row {
        SentenceGroup group;
        int cls;
        const char* text;
    };
    const Row rows[] = {
        {BodyEnergySentence, -3, "Low body energy. Primordial Qi is deficient."},
        {BodyEnergySentence, -2, "Body energy and primordial energy are slightly weak."},
        {BodyEnergySentence, -1,
         "Body energy and primordial Qi are marginally deficient, but still normal."},
        {BodyEnergySentence, 0, "Body energy and primordial Qi are normal."},
        {BodyEnergySentence, 1,
         "Body energy and primordial Qi are marginally heightened, but still normal."},
        {BodyEnergySentence, 2, "Body energy is slightly excessive."},
        {BodyEnergySentence, 3, "Body energy is excessive, and full of vigor."},
        {MentalStateSentence, -3,
         "Qi-Blood is excessive in lower-jiao and psychasthenia is obvious."},
        {MentalStateSentence, -2,
         "Qi-Blood is deficient in upper-jiao; There is a moderate tendency for psychasthenia."},
        {MentalStateSentence, -1,
         "Qi-blood is slightly deficient in upper-jiao and spiritual activity is slightly low."},
        {MentalStateSentence, 0,
         "Qi-Blood is balanced in upper-jiao and lower-jiao, and the spiritual activity is "
         "normal."},
        {MentalStateSentence, 1,
         "Qi-Blood is slightly excessive in upper-jiao; There is a slight mental stress."},
        {MentalStateSentence, 2,
         "The upper-jiao is excessive while the lower-jiao is deficient, which shows a moderate "
         "mental stress."},
        {MentalStateSentence, 3,
         "Qi-Blood is excessive in upper-jiao and mental stress is obvious."},
        {MusculoskeletalSentence, -3,
         "Qi-Blood is deficient on the left side and complications of the musculoskeletal system "
         "are obvious."},
        {MusculoskeletalSentence, -2,
         "Qi-Blood is excessive on the right side and musculoskeletal system complications are "
         "likely."},
        {MusculoskeletalSentence, -1,
         "Qi-Blood is slightly excessive on the right side and musculoskeletal system is slightly "
         "imbalanced."},
        {MusculoskeletalSentence, 0,
         "Qi-Blood is balanced and the musculoskeletal system is functioning normally."},
        {MusculoskeletalSentence, 1,
         "There are slight imbalance and complications in the msculoskeletal system."},
        {MusculoskeletalSentence, 2,
         "Left side is excessive while right side is deficient and musculoskeletal system is not "
         "functioning properly."},
        {MusculoskeletalSentence, 3,
         "Qi-Blood on the right side is deficient and the musculoskeletal system has obvious "
         "complications."},
        {MetabolismSentence, -3,
         "Yang-Fu(Organs) are greater than Yin-Zang(Viscera); Metabolic function exhibits "
         "anomalous increase."},
        {MetabolismSentence, -2,
         "Yang is greater than Yin and there is an increase in metabolic function."},
        {MetabolismSentence, -1,
         "Yang is greater than Yin and body metabolism is moderately fast."},
        {MetabolismSentence, 0, "Yin and Yang are balanced and body metabolism is normal."},
        {MetabolismSentence, 1, "Yin is greater than Yang and body metabolism is slightly slow."},
        {MetabolismSentence, 2, "Yin is greater than Yang and metabolic fuction decreases."},
        {MetabolismSentence, 3,
         "Yin-Zang(Viscera) are greater than Yang-Fu(Organs) and metabolism is markedly "
         "deficient."},
        {AutonomicSentence, 0, "Autonomic nervous system is normal."},
        {AutonomicSentence, 1, "Autonomic nervous system is slightly imbalanced."},
        {AutonomicSentence, 2, "Autonomic nervous system is moderately imbalanced."},
        {AutonomicSentence, 3, "Autonomic nervous system is obviously imbalanced."},
    };
    for (const Row& r : rows)
        EXPECT_EQ(interpretationSentence(r.group, r.cls), r.text) << r.group << " class " << r.cls;
}

TEST(Interpretation, TopicListsForMixedAndConsistentMeridians) {
    // Average stays 50 (u = 1): Lung one point up, one down; Heart both up; Kidney both down.
    const MeasurementRecord m = measurement(50, [](MeasurementRecord& r) {
        setPoint(r, leftPointOf(1), 80);
        setPoint(r, rightPointOf(1), 20);
        setPoint(r, leftPointOf(3), 75);
        setPoint(r, rightPointOf(3), 75);
        setPoint(r, leftPointOf(9), 25);
        setPoint(r, rightPointOf(9), 25);
    });
    const AnalysisResult r = analyse(m, true);
    ASSERT_DOUBLE_EQ(r.Average, 50);
    const TopicLists lists = BuildTopicLists(r);

    const std::vector<Topic> atypical{{"[Lung Meridian Atypical]", 1},
                                      {"[Heart Meridian Atypical]", 3},
                                      {"[Kidney Meridian Atypical]", 9}};
    std::vector<Topic> analysis{{"State of body energy", 13},
                                {"State of mental stress", 14},
                                {"Musculoskeletal system", 15},
                                {"Metabolism of the body", 16},
                                {"Function of autonomic nerve", 17}};
    analysis.insert(analysis.end(), atypical.begin(), atypical.end());
    EXPECT_EQ(lists.analysis, analysis);
    EXPECT_EQ(lists.dietary, atypical);
    const std::vector<Topic> protocol{{"[Heart Meridian Atypical]", 3},
                                      {"[Kidney Meridian Atypical]", 9}};
    EXPECT_EQ(lists.protocol, protocol);
}

TEST(Interpretation, BalancedMeasurementHasOnlyTheStateTopics) {
    const TopicLists lists = BuildTopicLists(analyse(measurement(50), false));
    ASSERT_EQ(lists.analysis.size(), 5u);
    EXPECT_EQ(lists.analysis.front().code, 13);
    EXPECT_EQ(lists.analysis.back().code, 17);
    EXPECT_TRUE(lists.dietary.empty());
    EXPECT_TRUE(lists.protocol.empty());
}

} // namespace
