#include "cli/analysis_args.h"
#include "cli/cli_support.h"
#include "cli/commands.h"

#include "analysis/compute_analysis.h"
#include "analysis/interpretation.h"

#include <QJsonArray>
#include <QJsonObject>

namespace viro::cli {

namespace {

template <typename T, std::size_t N> QJsonArray arrayOf(const std::array<T, N>& items) {
    QJsonArray out;
    for (const T& item : items)
        out.append(item);
    return out;
}

template <typename T, std::size_t R, std::size_t C>
QJsonArray tableOf(const std::array<std::array<T, C>, R>& rows) {
    QJsonArray out;
    for (const auto& row : rows)
        out.append(arrayOf(row));
    return out;
}

QJsonArray topicsOf(const std::vector<Topic>& topics) {
    QJsonArray items;
    for (const Topic& t : topics)
        items.append(QJsonObject{{"text", t.text}, {"code", t.code}});
    return items;
}

QJsonObject toJson(const AnalysisResult& r) {
    const TopicLists topics = BuildTopicLists(r);
    return QJsonObject{
        {"Average", r.Average},
        {"QualityAverage", r.QualityAverage},
        {"Corrected", arrayOf(r.Corrected)},
        {"Deviation", arrayOf(r.Deviation)},
        {"PointClass", arrayOf(r.PointClass)},
        {"BandUnit", r.BandUnit},
        {"ExcessNormal", r.ExcessNormal},
        {"ExcessTolerable", r.ExcessTolerable},
        {"DeficiencyNormal", r.DeficiencyNormal},
        {"DeficiencyTolerable", r.DeficiencyTolerable},
        {"DiffNormal", r.DiffNormal},
        {"DiffTolerable", r.DiffTolerable},
        {"GroupMean", arrayOf(r.GroupMean)},
        {"Yin", r.Yin},
        {"Yang", r.Yang},
        {"Up", r.Up},
        {"Down", r.Down},
        {"Left", r.Left},
        {"Right", r.Right},
        {"Hi", r.Hi},
        {"Low", r.Low},
        {"PairMean", arrayOf(r.PairMean)},
        {"ElementTable", tableOf(r.ElementTable)},
        {"MeridianClass", arrayOf(r.MeridianClass)},
        {"SideDiffClass", arrayOf(r.SideDiffClass)},
        {"PairClass", arrayOf(r.PairClass)},
        {"PairDiffClass", arrayOf(r.PairDiffClass)},
        {"ElementClass", tableOf(r.ElementClass)},
        {"BodyEnergyClass", r.BodyEnergyClass},
        {"UpDownClass", r.UpDownClass},
        {"LeftRightClass", r.LeftRightClass},
        {"YinYangClass", r.YinYangClass},
        {"AnsClass", r.AnsClass},
        {"IntegratedIndex", r.IntegratedIndex},
        {"PointScore", arrayOf(r.PointScore)},
        {"MeridiansIndex", r.MeridiansIndex},
        {"LowEnergy", r.LowEnergy},
        {"Sentences", arrayOf(r.Sentences)},
        {"AnalysisTopics", topicsOf(topics.analysis)},
        {"DietaryTopics", topicsOf(topics.dietary)},
        {"ProtocolTopics", topicsOf(topics.protocol)},
    };
}

QString usage() {
    return QStringLiteral(
        "analyze --values v1,...,v24 [--quality q1,...,q24] [--sex male|female]\n"
        "        [--birth DATE] [--date DATETIME] [--order-mode N] [--order m1,...,m12]\n"
        "        [--factor-mode N] [--factors f1,...,f12]");
}

int runAnalyze(const QStringList& args) {
    CommandLine line(QStringLiteral("analyze"), usage());
    addAnalysisOptions(line);
    if (const std::optional<int> status = line.parse(args))
        return *status;
    if (!line.positional().isEmpty())
        return line.fail("unexpected argument " + line.positional().first());
    QString error;
    const std::optional<AnalysisInput> in = readAnalysisOptions(line, &error);
    if (!in)
        return line.fail(error);
    const std::optional<AnalysisResult> result = analyse(*in, &error);
    if (!result)
        return line.fail(error);
    printJson(QJsonDocument(toJson(*result)));
    return 0;
}

} // namespace

const CommandRegistration registration("analyze", usage, runAnalyze);

} // namespace viro::cli
