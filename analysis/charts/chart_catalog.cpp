#include "analysis/charts/chart_catalog.h"

#include "analysis/charts/balance_charts.h"
#include "analysis/charts/chart_background.h"
#include "analysis/charts/composite_charts.h"
#include "analysis/charts/cycle_charts.h"
#include "analysis/charts/meridian_charts.h"

#include <QFont>

#include <mutex>

namespace viro {

namespace {

QString dashed(const char* before, const char* after) {
    const QChar dash(0x2013);
    return QString::fromLatin1(before) + " " + dash + " " + QString::fromLatin1(after);
}

} // namespace

const std::vector<ChartInfo>& chartCatalog() {
    static const std::vector<ChartInfo> catalog = [] {
        const QString yinYang = QString::fromLatin1(kYinYangBackground);
        const QString qiBlood = QString::fromLatin1(kQiBloodBackground);
        const QString timeCycle = QString::fromLatin1(kTimeCycleBackground);
        return std::vector<ChartInfo>{
            {ChartId::Bar, "bar", dashed("Meridian Excess-Deficiency Analysis", "Bar Diagram"),
             QString()},
            {ChartId::Slope, "slope",
             dashed("Meridian Excess-Deficiency Analysis", "Slope Diagram"), QString()},
            {ChartId::Ryodoraku, "ryodoraku", "Ryodoraku Analysis Diagram", QString()},
            {ChartId::YinYangBalanceA, "yinyang-balance-a",
             dashed("Yin-Yang Balance Analysis", "Chart A"), QString()},
            {ChartId::YinYangBalanceB, "yinyang-balance-b",
             dashed("Yin-Yang Balance Analysis", "Chart B"), yinYang},
            {ChartId::YinYangExcessDeficiencyA, "yinyang-ed-a",
             dashed("Yin-Yang Excess/Deficiency Analysis", "Chart A"), yinYang},
            {ChartId::YinYangExcessDeficiencyB, "yinyang-ed-b",
             dashed("Yin-Yang Excess/Deficiency Analysis", "Chart B"), yinYang},
            {ChartId::QiBloodBalanceA, "qiblood-balance-a",
             dashed("Qi-Blood Balance Analysis", "Chart A"), QString()},
            {ChartId::QiBloodBalanceB, "qiblood-balance-b",
             dashed("Qi-Blood Balance Analysis", "Chart B"), qiBlood},
            {ChartId::QiBloodExcessDeficiencyA, "qiblood-ed-a",
             dashed("Qi-Blood Excess/Deficiency Analysis", "Chart A"), qiBlood},
            {ChartId::QiBloodExcessDeficiencyB, "qiblood-ed-b",
             dashed("Qi-Blood Excess/Deficiency Analysis", "Chart B"), qiBlood},
            {ChartId::FiveElements1, "five-elements-1",
             "Five Elements Analysis With Yin-Zang And Yang-Fu Integrated", QString()},
            {ChartId::FiveElements2, "five-elements-2", "Five Elements Analysis By Yin-Zang",
             QString()},
            {ChartId::FiveElements3, "five-elements-3", "Five Elements Analysis By Yang-Fu",
             QString()},
            {ChartId::TimeCycleA, "time-cycle-a", dashed("Meridian Time Cycle Analysis", "Chart A"),
             timeCycle},
            {ChartId::TimeCycleB, "time-cycle-b", dashed("Meridian Time Cycle Analysis", "Chart B"),
             timeCycle},
            {ChartId::BodyEnergy, "body-energy", "Diagram of Body Energy Balance",
             QString::fromLatin1(kBodyEnergyBackground)},
            {ChartId::EciPie, "eci-pie", "E.C.I. Pie Diagram", QString()},
            {ChartId::Ans, "ans", "Autonomic Nervous System Analysis", QString()},
            {ChartId::Quality, "quality", "Measurement Quality Diagram", QString()},
        };
    }();
    return catalog;
}

QStringList chartNames() {
    QStringList names;
    for (const ChartInfo& info : chartCatalog())
        names << info.name;
    return names;
}

const ChartInfo& chartInfo(ChartId id) {
    for (const ChartInfo& info : chartCatalog())
        if (info.id == id)
            return info;
    return chartCatalog().front();
}

std::optional<ChartId> chartByName(const QString& name) {
    for (const ChartInfo& info : chartCatalog())
        if (info.name == name)
            return info.id;
    return std::nullopt;
}

void installChartFonts() {
    static std::once_flag once;
    std::call_once(once, [] {
        QFont::insertSubstitution(QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"));
        QFont::insertSubstitution(QStringLiteral("Times New Roman"),
                                  QStringLiteral("Liberation Serif"));
    });
}

bool drawChart(ChartId id, QPainter& painter, const ChartArea& area, const ChartInput& in,
               QString* error) {
    installChartFonts();
    const AnalysisResult& r = in.result;
    switch (id) {
    case ChartId::Bar:
        DrawExcessDeficiencyBar(painter, area, r, in.order);
        return true;
    case ChartId::Slope:
        DrawExcessDeficiencySlope(painter, area, r, in.order);
        return true;
    case ChartId::Ryodoraku:
        DrawRyodorakuDiagram(painter, area, r, in.order);
        return true;
    case ChartId::YinYangBalanceA:
        DrawYinYangBalanceA(painter, area, r);
        return true;
    case ChartId::YinYangBalanceB:
        return DrawYinYangBalanceB(painter, area, r, in.dataFolder, error);
    case ChartId::YinYangExcessDeficiencyA:
        return DrawYinYangExcessDeficiencyA(painter, area, r, in.dataFolder, error);
    case ChartId::YinYangExcessDeficiencyB:
        return DrawYinYangExcessDeficiencyB(painter, area, r, in.dataFolder, error);
    case ChartId::QiBloodBalanceA:
        DrawQiBloodBalanceA(painter, area, r);
        return true;
    case ChartId::QiBloodBalanceB:
        return DrawQiBloodBalanceB(painter, area, r, in.dataFolder, error);
    case ChartId::QiBloodExcessDeficiencyA:
        return DrawQiBloodExcessDeficiencyA(painter, area, r, in.dataFolder, error);
    case ChartId::QiBloodExcessDeficiencyB:
        return DrawQiBloodExcessDeficiencyB(painter, area, r, in.dataFolder, error);
    case ChartId::FiveElements1:
        DrawFiveElements(painter, area, r, 1);
        return true;
    case ChartId::FiveElements2:
        DrawFiveElements(painter, area, r, 2);
        return true;
    case ChartId::FiveElements3:
        DrawFiveElements(painter, area, r, 3);
        return true;
    case ChartId::TimeCycleA:
        return DrawTimeCycleA(painter, area, r, in.record.dateTime, in.dataFolder, error);
    case ChartId::TimeCycleB:
        return DrawTimeCycleB(painter, area, r, in.record.dateTime, in.dataFolder, error);
    case ChartId::BodyEnergy:
        return DrawBodyEnergyBalance(painter, area, r, in.male, in.dataFolder, error);
    case ChartId::EciPie:
        DrawEciPie(painter, area, r, in.order);
        return true;
    case ChartId::Ans:
        DrawAnsAnalysis(painter, area, r);
        return true;
    case ChartId::Quality:
        DrawMeasurementQuality(painter, area, r, in.record, in.order);
        return true;
    }
    if (error)
        *error = QStringLiteral("Unknown chart");
    return false;
}

const std::array<ChartFamily, kChartFamilyCount>& chartFamilies() {
    static const QString yinYangGap = QStringLiteral(
        "This graph compares the Qi-Blood balance between Yin-Zang and Yang-Fu. The smaller "
        "the gap, the better.");
    static const QString yinYang =
        QStringLiteral("This graph compares the Qi-Blood balance between Yin-Zang and Yang-Fu.");
    static const QString qiBloodGap = QStringLiteral(
        "This graph compares the Qi-Blood balance of the meridian energy between the right "
        "side and left side of the body. The smaller the gap, the better");
    static const QString qiBlood = QStringLiteral(
        "This graph compares the Qi-Blood balance of the meridian energy between the right "
        "side and left side of the body.");
    static const QString average =
        QStringLiteral("Average body energy data varies with each individual patient.");
    static const ChartButton hidden{};
    static const std::array<ChartFamily, kChartFamilyCount> families{{
        {"Composite Analysis",
         {{{"Diagram of Body Energy Balance", 6, ChartId::BodyEnergy,
            "Diagram of Body Energy Balance"},
           {"E.C.I. Pie Diagram", 7, ChartId::EciPie, "E.C.I. Pie Diagram"},
           {"ANS Analysis", 8, ChartId::Ans, "Autonomic Nervous System Analysis"},
           {"Measurement Quality Diagram", 9, ChartId::Quality, "Measurement Quality Diagram"}}}},
        {"Meridian Analysis",
         {{{dashed("Meridian Excess-Deficiency Analysis", "Bar Diagram"), 10, ChartId::Bar,
            average},
           {dashed("Meridian Excess-Deficiency Analysis", "Slope Diagram"), 11, ChartId::Slope,
            average},
           {"Ryodoraku Analysis Diagram", 12, ChartId::Ryodoraku, average},
           hidden}}},
        {"Yin Yang Analysis",
         {{{"Yin-Yang Balance A", 13, ChartId::YinYangBalanceA, yinYangGap},
           {"Yin-Yang Balance B", 14, ChartId::YinYangBalanceB, yinYangGap},
           {"Yin-Yang Exc/Def A", 15, ChartId::YinYangExcessDeficiencyA, yinYang},
           {"Yin-Yang Exc/Def B", 16, ChartId::YinYangExcessDeficiencyB, yinYang}}}},
        {"Qi-Blood Analysis",
         {{{"Qi-Blood Balance A", 17, ChartId::QiBloodBalanceA, qiBloodGap},
           {"Qi-Blood Balance B", 18, ChartId::QiBloodBalanceB, qiBloodGap},
           {"Qi-Blood Exc/Def A", 19, ChartId::QiBloodExcessDeficiencyA, qiBlood},
           {"Qi-Blood Exc/Def B", 20, ChartId::QiBloodExcessDeficiencyB, qiBlood}}}},
        {"Five Elements Analysis",
         {{{dashed("Five Elements", "Yin-Zang + Yang-Fu"), 21, ChartId::FiveElements1,
            "This graph compares the meridian energy of the Five Elements by Yin-Zang and "
            "Yang-Fu"},
           {dashed("Five Elements", "Yin-Zang"), 22, ChartId::FiveElements2,
            "This graph compares the meridian energy of the Five Elements by Yin-Zang"},
           {dashed("Five Elements", "Yang-Fu"), 23, ChartId::FiveElements3,
            "This graph compares the meridian energy of the Five Elements by Yang-Fu"},
           hidden}}},
        {"Meridian Time Cycle",
         {{{"Time Cycle A", 24, ChartId::TimeCycleA, "Analysis Chart of Meridian Time Cycle A"},
           {"Time Cycle B", 25, ChartId::TimeCycleB, "Analysis Chart of Meridian Time Cycle B"},
           hidden,
           hidden}}},
    }};
    return families;
}

} // namespace viro
