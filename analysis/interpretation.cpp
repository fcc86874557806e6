#include "analysis/interpretation.h"

#include <array>

namespace viro {
namespace {

using SevenSentences = std::array<const char*, 7>; // classes -3..+3

// The established wording, spelling slips included, so screens and reports read as they always
// have.
const SevenSentences kBodyEnergy{
    "Low body energy. Primordial Qi is deficient.",
    "Body energy and primordial energy are slightly weak.",
    "Body energy and primordial Qi are marginally deficient, but still normal.",
    "Body energy and primordial Qi are normal.",
    "Body energy and primordial Qi are marginally heightened, but still normal.",
    "Body energy is slightly excessive.",
    "Body energy is excessive, and full of vigor.",
};

const SevenSentences kMentalState{
    "Qi-Blood is excessive in lower-jiao and psychasthenia is obvious.",
    "Qi-Blood is deficient in upper-jiao; There is a moderate tendency for psychasthenia.",
    "Qi-blood is slightly deficient in upper-jiao and spiritual activity is slightly low.",
    "Qi-Blood is balanced in upper-jiao and lower-jiao, and the spiritual activity is normal.",
    "Qi-Blood is slightly excessive in upper-jiao; There is a slight mental stress.",
    "The upper-jiao is excessive while the lower-jiao is deficient, which shows a moderate "
    "mental stress.",
    "Qi-Blood is excessive in upper-jiao and mental stress is obvious.",
};

const SevenSentences kMusculoskeletal{
    "Qi-Blood is deficient on the left side and complications of the musculoskeletal system "
    "are obvious.",
    "Qi-Blood is excessive on the right side and musculoskeletal system complications are "
    "likely.",
    "Qi-Blood is slightly excessive on the right side and musculoskeletal system is slightly "
    "imbalanced.",
    "Qi-Blood is balanced and the musculoskeletal system is functioning normally.",
    "There are slight imbalance and complications in the msculoskeletal system.",
    "Left side is excessive while right side is deficient and musculoskeletal system is not "
    "functioning properly.",
    "Qi-Blood on the right side is deficient and the musculoskeletal system has obvious "
    "complications.",
};

const SevenSentences kMetabolism{
    "Yang-Fu(Organs) are greater than Yin-Zang(Viscera); Metabolic function exhibits anomalous "
    "increase.",
    "Yang is greater than Yin and there is an increase in metabolic function.",
    "Yang is greater than Yin and body metabolism is moderately fast.",
    "Yin and Yang are balanced and body metabolism is normal.",
    "Yin is greater than Yang and body metabolism is slightly slow.",
    "Yin is greater than Yang and metabolic fuction decreases.",
    "Yin-Zang(Viscera) are greater than Yang-Fu(Organs) and metabolism is markedly deficient.",
};

const std::array<const char*, 4> kAutonomic{
    "Autonomic nervous system is normal.",
    "Autonomic nervous system is slightly imbalanced.",
    "Autonomic nervous system is moderately imbalanced.",
    "Autonomic nervous system is obviously imbalanced.",
};

QString fromSeven(const SevenSentences& table, int cls) {
    if (cls < -3 || cls > 3)
        return {};
    return QString::fromLatin1(table[size_t(cls + 3)]);
}

const std::array<const char*, 5> kStateTopics{
    "State of body energy",   "State of mental stress",      "Musculoskeletal system",
    "Metabolism of the body", "Function of autonomic nerve",
};

Topic meridianTopic(int m) {
    return Topic{"[" + meridian(m).name + " Atypical]", m};
}

} // namespace

QString interpretationSentence(SentenceGroup group, int cls) {
    switch (group) {
    case BodyEnergySentence:
        return fromSeven(kBodyEnergy, cls);
    case MentalStateSentence:
        return fromSeven(kMentalState, cls);
    case MusculoskeletalSentence:
        return fromSeven(kMusculoskeletal, cls);
    case MetabolismSentence:
        return fromSeven(kMetabolism, cls);
    case AutonomicSentence:
        return cls >= 0 && cls <= 3 ? QString::fromLatin1(kAutonomic[size_t(cls)]) : QString();
    }
    return {};
}

bool meridianAtypical(const AnalysisResult& r, int m) {
    return r.PointClass[leftPointOf(m) - 1] != 0 && r.PointClass[rightPointOf(m) - 1] != 0;
}

bool meridianConsistent(const AnalysisResult& r, int m) {
    const int left = r.PointClass[leftPointOf(m) - 1];
    const int right = r.PointClass[rightPointOf(m) - 1];
    return (left > 0 && right > 0) || (left < 0 && right < 0);
}

TopicLists BuildTopicLists(const AnalysisResult& r) {
    TopicLists lists;
    for (int i = 0; i < 5; ++i)
        lists.analysis.push_back(Topic{QString::fromLatin1(kStateTopics[size_t(i)]),
                                       kBodyEnergyTopic + i});
    for (int m = 1; m <= kMeridianCount; ++m) {
        if (meridianAtypical(r, m)) {
            lists.analysis.push_back(meridianTopic(m));
            lists.dietary.push_back(meridianTopic(m));
        }
        if (meridianConsistent(r, m))
            lists.protocol.push_back(meridianTopic(m));
    }
    return lists;
}

} // namespace viro
