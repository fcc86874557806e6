#pragma once

#include "analysis/analysis_result.h"

#include <QString>

#include <vector>

namespace viro {

// The five sentence groups, in the order the analysis carries their sentences.
enum SentenceGroup {
    BodyEnergySentence,
    MentalStateSentence,
    MusculoskeletalSentence,
    MetabolismSentence,
    AutonomicSentence,
};
inline constexpr int kSentenceGroupCount = 5;

// The fixed sentence of a class: -3..+3 for the first four groups, 0..3 for the autonomic one.
// An out-of-range class gives an empty text.
QString interpretationSentence(SentenceGroup group, int cls);

// Codes of the five state topics; meridian topics use the meridian number 1..12.
inline constexpr int kBodyEnergyTopic = 13;
inline constexpr int kMentalStressTopic = 14;
inline constexpr int kMusculoskeletalTopic = 15;
inline constexpr int kMetabolismTopic = 16;
inline constexpr int kAutonomicTopic = 17;

struct Topic {
    QString text;
    int code = 0;
    bool operator==(const Topic&) const = default;
};

struct TopicLists {
    std::vector<Topic> analysis; // the five state topics, then the atypical meridians
    std::vector<Topic> dietary;  // the atypical meridians
    std::vector<Topic> protocol; // meridians whose two points deviate the same way
};

// A meridian is atypical when both its points lie outside the normal band (either sign).
bool meridianAtypical(const AnalysisResult& r, int meridianNumber);
// Both points outside the band on the same side.
bool meridianConsistent(const AnalysisResult& r, int meridianNumber);

// The three topic lists of an analysed measurement, built afresh on every call.
TopicLists BuildTopicLists(const AnalysisResult& r);

} // namespace viro
