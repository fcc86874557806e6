#pragma once

#include "analysis/analysis_result.h"
#include "analysis/interpretation.h"
#include "analysis/report/reference_texts.h"

#include <QString>

namespace viro {

// The warning added to the body energy topic when the body energy class is -3.
QString lowBodyEnergyWarning();

// The class of a state topic (13-17): BodyEnergyClass, UpDownClass, LeftRightClass,
// YinYangClass, AnsClass. 0 for any other key.
int stateTopicClass(const AnalysisResult& r, int key);
// A meridian is excess when both its points are above the band, deficient when both are below.
bool meridianExcess(const AnalysisResult& r, int meridianNumber);
bool meridianDeficient(const AnalysisResult& r, int meridianNumber);

// The texts of one topic in the analysis window's boxes, lines joined by "\n", an empty line
// being an empty string between two separators.
struct TopicBoxes {
    QString detailed;  // "Detailed Explanation"
    QString ryodoraku; // "Ryodoraku Analysis" (page "Analysis" only)
};
TopicBoxes analysisPageTexts(const Topic& topic, const ReferenceEntry& entry,
                             const AnalysisResult& r);
QString protocolPageText(const Topic& topic, const ReferenceEntry& entry, const AnalysisResult& r);
QString dietaryPageText(const Topic& topic, const ReferenceEntry& entry, const AnalysisResult& r);

} // namespace viro
