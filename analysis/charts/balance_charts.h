#pragma once

#include "analysis/analysis_result.h"
#include "analysis/charts/chart_style.h"

#include <QPainter>
#include <QString>

namespace viro {

// Yin-Zang against Yang-Fu ("Yin-Yang") and left against right ("Qi-Blood"), elements in the
// order Wood, Mo.Fire, Mi.Fire, Earth, Metal, Water. Charts with a background picture read it
// from the data folder first; when it cannot be read nothing is drawn, `error` says why and
// the result is false.
void DrawYinYangBalanceA(QPainter& painter, const ChartArea& area, const AnalysisResult& r);
bool DrawYinYangBalanceB(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                         const QString& dataFolder, QString* error);
bool DrawYinYangExcessDeficiencyA(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                                  const QString& dataFolder, QString* error);
bool DrawYinYangExcessDeficiencyB(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                                  const QString& dataFolder, QString* error);
void DrawQiBloodBalanceA(QPainter& painter, const ChartArea& area, const AnalysisResult& r);
bool DrawQiBloodBalanceB(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                         const QString& dataFolder, QString* error);
bool DrawQiBloodExcessDeficiencyA(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                                  const QString& dataFolder, QString* error);
bool DrawQiBloodExcessDeficiencyB(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                                  const QString& dataFolder, QString* error);

} // namespace viro
