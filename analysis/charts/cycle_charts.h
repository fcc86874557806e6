#pragma once

#include "analysis/analysis_result.h"
#include "analysis/charts/chart_style.h"

#include <QPainter>
#include <QString>

namespace viro {

// Five elements as a polar chart: variant 1 both meridians of each element, 2 the Yin-Zang
// meridians, 3 the Yang-Fu meridians.
void DrawFiveElements(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                      int variant);

// The two-hour period (1 = 23:00-00:59 with GB ... 12 = 21:00-22:59 with TE) of a Jet
// date-time.
int timeCyclePeriod(double measuredAt);

// Meridians in the order of the horary clock, the period of the measurement highlighted; A one
// bar per meridian, B one bar per point. The background picture is read first; false with
// `error` set when it cannot be, and nothing is drawn.
bool DrawTimeCycleA(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                    double measuredAt, const QString& dataFolder, QString* error);
bool DrawTimeCycleB(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                    double measuredAt, const QString& dataFolder, QString* error);

} // namespace viro
