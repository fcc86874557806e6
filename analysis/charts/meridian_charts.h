#pragma once

#include "analysis/analysis_result.h"
#include "analysis/charts/chart_style.h"
#include "analysis/meridian_model.h"

#include <QPainter>

namespace viro {

// The 24 points against the patient's own average, in the meridian order of the settings:
// bars from the average, markers joined per meridian, and the absolute Ryodoraku chart.
// The caller clears the canvas and shows the caption.
void DrawExcessDeficiencyBar(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                             const MeasuringSequence& order);
void DrawExcessDeficiencySlope(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                               const MeasuringSequence& order);
void DrawRyodorakuDiagram(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                          const MeasuringSequence& order);

} // namespace viro
