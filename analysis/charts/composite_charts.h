#pragma once

#include "analysis/analysis_result.h"
#include "analysis/charts/chart_style.h"
#include "analysis/measurement_record.h"
#include "analysis/meridian_model.h"

#include <QPainter>
#include <QString>

namespace viro {

// Up/Down and Left/Right on one panel with the Yin/Yang, body energy and autonomic gauges.
// The background picture is read first; false with `error` set when it cannot be, and nothing
// is drawn.
bool DrawBodyEnergyBalance(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                           bool male, const QString& dataFolder, QString* error);
// Point scores per meridian as pie sectors, the integrated index and the score table.
void DrawEciPie(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                const MeasuringSequence& order);
// The eight Tri.Yin / Tri.Yang group means as sectors and the Hi/Low ratio.
void DrawAnsAnalysis(QPainter& painter, const ChartArea& area, const AnalysisResult& r);
// The quality score of each point on a 0 to 100 scale.
void DrawMeasurementQuality(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                            const MeasurementRecord& record, const MeasuringSequence& order);

} // namespace viro
