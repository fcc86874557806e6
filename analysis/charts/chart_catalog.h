#pragma once

#include "analysis/analysis_result.h"
#include "analysis/charts/chart_style.h"
#include "analysis/measurement_record.h"
#include "analysis/meridian_model.h"

#include <QPainter>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace viro {

enum class ChartId {
    Bar,
    Slope,
    Ryodoraku,
    YinYangBalanceA,
    YinYangBalanceB,
    YinYangExcessDeficiencyA,
    YinYangExcessDeficiencyB,
    QiBloodBalanceA,
    QiBloodBalanceB,
    QiBloodExcessDeficiencyA,
    QiBloodExcessDeficiencyB,
    FiveElements1,
    FiveElements2,
    FiveElements3,
    TimeCycleA,
    TimeCycleB,
    BodyEnergy,
    EciPie,
    Ans,
    Quality,
};

struct ChartInfo {
    ChartId id;
    QString name;       // the command-line name ("bar", "yinyang-balance-a", ...)
    QString caption;    // the title shown above the chart
    QString background; // the picture drawn behind it ("zebkmc.msi"), empty for none
};

// Every chart, in the order of the command-line list.
const std::vector<ChartInfo>& chartCatalog();
// The command-line names, in the same order.
QStringList chartNames();
const ChartInfo& chartInfo(ChartId id);
std::optional<ChartId> chartByName(const QString& name);

// Everything a chart may read.
struct ChartInput {
    const AnalysisResult& result;
    const MeasurementRecord& record; // quality scores and the measurement's date-time
    const MeasuringSequence& order;
    bool male = true;
    QString dataFolder; // holds the "Data" picture folder
};

// Sets the substitutes for the charts' Windows font names once per process.
void installChartFonts();

// Draws one chart. False when it cannot be drawn (a background picture is missing or
// unreadable): nothing is drawn then and `error` says why.
bool drawChart(ChartId id, QPainter& painter, const ChartArea& area, const ChartInput& input,
               QString* error);

// The chart page's families: six family buttons, each with up to four chart buttons.
struct ChartButton {
    QString hint;                 // empty for a hidden button
    int imageIndex = -1;          // in the chart-button image list, -1 for a hidden button
    std::optional<ChartId> chart; // nullopt for a hidden button
    QString status;               // status-bar text while the chart is shown
};

struct ChartFamily {
    QString hint;
    std::array<ChartButton, 4> buttons;
};

inline constexpr int kChartFamilyCount = 6;
const std::array<ChartFamily, kChartFamilyCount>& chartFamilies();

} // namespace viro
