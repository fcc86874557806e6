#include "cli/cli_support.h"
#include "cli/commands.h"

#include "analysis/compute_analysis.h"
#include "analysis/interpretation.h"
#include "cli/analysis_args.h"

namespace viro::cli {

namespace {

// --- Printing ------------------------------------------------------------------------------

QString real(double v) {
    return formatReal(v);
}
QString integer(int v) {
    return QString::number(v);
}

template <typename T, std::size_t N, typename F>
QString arrayOf(const std::array<T, N>& items, F format) {
    QStringList parts;
    for (const T& item : items)
        parts << format(item);
    return jsonArray(parts);
}

template <typename T, std::size_t R, std::size_t C, typename F>
QString tableOf(const std::array<std::array<T, C>, R>& rows, F format) {
    QStringList parts;
    for (const auto& row : rows)
        parts << arrayOf(row, format);
    return jsonArray(parts);
}

QString topicsOf(const std::vector<Topic>& topics) {
    QStringList items;
    for (const Topic& t : topics)
        items << jsonObject({{"text", jsonString(t.text)}, {"code", integer(t.code)}});
    return jsonArray(items);
}

QString toJson(const AnalysisResult& r) {
    const TopicLists topics = BuildTopicLists(r);
    return jsonObject({
        {"Average", real(r.Average)},
        {"QualityAverage", real(r.QualityAverage)},
        {"Corrected", arrayOf(r.Corrected, real)},
        {"Deviation", arrayOf(r.Deviation, real)},
        {"PointClass", arrayOf(r.PointClass, integer)},
        {"BandUnit", real(r.BandUnit)},
        {"ExcessNormal", real(r.ExcessNormal)},
        {"ExcessTolerable", real(r.ExcessTolerable)},
        {"DeficiencyNormal", real(r.DeficiencyNormal)},
        {"DeficiencyTolerable", real(r.DeficiencyTolerable)},
        {"DiffNormal", real(r.DiffNormal)},
        {"DiffTolerable", real(r.DiffTolerable)},
        {"GroupMean", arrayOf(r.GroupMean, real)},
        {"Yin", real(r.Yin)},
        {"Yang", real(r.Yang)},
        {"Up", real(r.Up)},
        {"Down", real(r.Down)},
        {"Left", real(r.Left)},
        {"Right", real(r.Right)},
        {"Hi", real(r.Hi)},
        {"Low", real(r.Low)},
        {"PairMean", arrayOf(r.PairMean, real)},
        {"ElementTable", tableOf(r.ElementTable, real)},
        {"MeridianClass", arrayOf(r.MeridianClass, integer)},
        {"SideDiffClass", arrayOf(r.SideDiffClass, integer)},
        {"PairClass", arrayOf(r.PairClass, integer)},
        {"PairDiffClass", arrayOf(r.PairDiffClass, integer)},
        {"ElementClass", tableOf(r.ElementClass, integer)},
        {"BodyEnergyClass", integer(r.BodyEnergyClass)},
        {"UpDownClass", integer(r.UpDownClass)},
        {"LeftRightClass", integer(r.LeftRightClass)},
        {"YinYangClass", integer(r.YinYangClass)},
        {"AnsClass", integer(r.AnsClass)},
        {"IntegratedIndex", real(r.IntegratedIndex)},
        {"PointScore", arrayOf(r.PointScore, real)},
        {"MeridiansIndex", real(r.MeridiansIndex)},
        {"LowEnergy", jsonBool(r.LowEnergy)},
        {"Sentences", arrayOf(r.Sentences, jsonString)},
        {"AnalysisTopics", topicsOf(topics.analysis)},
        {"DietaryTopics", topicsOf(topics.dietary)},
        {"ProtocolTopics", topicsOf(topics.protocol)},
    });
}

} // namespace

int runAnalyze(const QStringList& args) {
    Arguments a(args);
    QString error;
    const std::optional<AnalysisInput> in = takeAnalysisOptions(a, &error);
    if (!in)
        return fail("analyze: " + error);
    if (const QString leftover = leftoverArguments(a); !leftover.isEmpty())
        return fail("analyze: " + leftover);
    const std::optional<AnalysisResult> result =
        ComputeAnalysis(in->record, in->male, in->birthDate, in->factors);
    if (!result)
        return fail("analyze: the measurement cannot be analysed");
    printOut(toJson(*result) + '\n');
    return 0;
}

const CommandRegistration
    registration("analyze",
                 "analyze --values v1,...,v24 [--quality q1,...,q24] [--sex male|female]\n"
                 "        [--birth DATE] [--date DATETIME] [--order-mode N] [--order m1,...,m12]\n"
                 "        [--factor-mode N] [--factors f1,...,f12]",
                 runAnalyze);

} // namespace viro::cli
