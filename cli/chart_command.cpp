#include "cli/cli_support.h"
#include "cli/commands.h"

#include "analysis/charts/chart_catalog.h"
#include "analysis/compute_analysis.h"
#include "cli/analysis_args.h"
#include "core/data_folder.h"

#include <QFont>
#include <QImage>
#include <QPainter>

namespace viro::cli {

namespace {

// A chart that cannot be drawn or saved, as opposed to bad arguments.
constexpr int kDrawFailure = 1;
// Large enough for a printed page at high resolution, small enough to allocate.
constexpr int kMaxSide = 10000;

std::optional<int> side(const std::optional<QString>& text, int fallback, const char* name,
                        QString* error) {
    if (!text)
        return fallback;
    bool ok = false;
    const int v = text->trimmed().toInt(&ok);
    if (!ok || v < 1 || v > kMaxSide) {
        *error = QStringLiteral("--%1 must be a whole number from 1 to %2: '%3'")
                     .arg(QLatin1String(name))
                     .arg(kMaxSide)
                     .arg(*text);
        return std::nullopt;
    }
    return v;
}

QString chartNames() {
    QStringList names;
    for (const ChartInfo& info : chartCatalog())
        names << info.name;
    return names.join(", ");
}

} // namespace

int runChart(const QStringList& args) {
    if (args.isEmpty() || args.first().startsWith("--"))
        return fail("chart: missing chart name (one of " + chartNames() + ")");
    const QString name = args.first();
    const std::optional<ChartId> id = chartByName(name);
    if (!id)
        return fail("chart: unknown chart " + name + " (one of " + chartNames() + ")");

    Arguments a(args.mid(1));
    const std::optional<QString> widthText = a.option("width");
    const std::optional<QString> heightText = a.option("height");
    const std::optional<QString> out = a.option("out");
    const bool monochrome = a.flag("monochrome");
    QString error;
    const std::optional<AnalysisInput> in = takeAnalysisOptions(a, &error);
    if (!in)
        return fail("chart: " + error);
    if (const QString leftover = leftoverArguments(a); !leftover.isEmpty())
        return fail("chart: " + leftover);
    const std::optional<int> width = side(widthText, 965, "width", &error);
    if (!width)
        return fail("chart: " + error);
    const std::optional<int> height = side(heightText, 554, "height", &error);
    if (!height)
        return fail("chart: " + error);
    if (!out || out->isEmpty())
        return fail("chart: --out FILE.png is required");

    const std::optional<AnalysisResult> result =
        ComputeAnalysis(in->record, in->male, in->birthDate, in->factors);
    if (!result)
        return fail("chart: the measurement cannot be analysed");

    installChartFonts();
    QImage image(*width, *height, QImage::Format_RGB32);
    image.fill(Qt::white);
    bool drawn = false;
    {
        QPainter painter(&image);
        painter.setFont(QFont(QStringLiteral("Tahoma"), 8));
        const ChartInput input{*result, in->record, in->sequence, in->male, dataFolder()};
        drawn = drawChart(*id, painter, ChartArea{*width, *height, ChartStyle::screen(monochrome)},
                          input, &error);
    }
    if (!drawn) {
        fail("chart: " + error.simplified());
        return kDrawFailure;
    }
    if (!image.save(*out, "PNG")) {
        fail("chart: cannot write " + *out);
        return kDrawFailure;
    }
    return 0;
}

const CommandRegistration
    registration("chart",
                 "chart NAME [analysis options as for analyze] [--width W --height H]\n"
                 "        [--monochrome] --out FILE.png\n"
                 "        NAME: bar, slope, ryodoraku, yinyang-balance-a, yinyang-balance-b,\n"
                 "        yinyang-ed-a, yinyang-ed-b, qiblood-balance-a, qiblood-balance-b,\n"
                 "        qiblood-ed-a, qiblood-ed-b, five-elements-1, five-elements-2,\n"
                 "        five-elements-3, time-cycle-a, time-cycle-b, body-energy, eci-pie,\n"
                 "        ans, quality",
                 runChart, true);

} // namespace viro::cli
