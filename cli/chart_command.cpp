#include "cli/analysis_args.h"
#include "cli/cli_support.h"
#include "cli/commands.h"

#include "analysis/charts/chart_background.h"
#include "analysis/charts/chart_catalog.h"
#include "core/data_folder.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QSaveFile>

namespace viro::cli {

namespace {

// Large enough for a printed page at high resolution, small enough to allocate.
constexpr int kMaxSide = 10000;
constexpr int kDefaultWidth = 965;
constexpr int kDefaultHeight = 554;

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

// "NAME: bar, slope, ..." broken into lines that fit a terminal, each indented like the
// synopsis lines above it.
QString nameLines() {
    const QString indent(8, ' ');
    const QStringList names = chartNames();
    QStringList lines;
    QString line = indent + QStringLiteral("NAME:");
    for (int i = 0; i < names.size(); ++i) {
        const QString item = names[i] + (i + 1 < names.size() ? "," : "");
        if (line.size() + 1 + item.size() > 76) {
            lines << line;
            line = indent + item;
        } else {
            line += ' ' + item;
        }
    }
    lines << line;
    return lines.join('\n');
}

QString usage() {
    return QStringLiteral("chart NAME [analysis options as for analyze] [--width W --height H]\n"
                          "        [--monochrome] --out FILE.png\n") +
           nameLines();
}

// The folder whose "Data" folder holds the chart's picture: the data folder first, where the
// user may have put his own, then the installation folder, as a data folder the program never
// started in has no pictures yet.
std::optional<QString> pictureFolder(const ChartInfo& chart, QString* error) {
    const QString data = dataFolder();
    if (chart.background.isEmpty())
        return data;
    const QString installed = installationFolder();
    for (const QString& folder : {data, installed})
        if (QFileInfo(chartBackgroundPath(folder, chart.background)).isFile())
            return folder;
    *error = QStringLiteral("Cannot find the chart picture %1 or %2")
                 .arg(chartBackgroundPath(data, chart.background),
                      chartBackgroundPath(installed, chart.background));
    return std::nullopt;
}

// A file is written through a temporary one, so a failed write never leaves half a picture
// behind. Anything else (a pipe, a device) is written to directly: renaming over it would
// replace the device with a file.
bool savePng(const QImage& image, const QString& path, QString* error) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        *error = QStringLiteral("cannot encode the picture");
        return false;
    }
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) {
        QFile file(path);
        bool written =
            file.open(QIODevice::WriteOnly) && file.write(png) == png.size() && file.flush();
        const QString reason = file.errorString();
        file.close();
        written = written && file.error() == QFileDevice::NoError;
        if (!written)
            *error = QStringLiteral("cannot write %1: %2").arg(path, reason);
        return written;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

int runChart(const QStringList& args) {
    CommandLine line(QStringLiteral("chart"), usage());
    addAnalysisOptions(line);
    line.addOption("width", "W",
                   QStringLiteral("picture width in pixels (default %1)").arg(kDefaultWidth));
    line.addOption("height", "H",
                   QStringLiteral("picture height in pixels (default %1)").arg(kDefaultHeight));
    line.addFlag("monochrome", "draw in shades of grey");
    line.addOption("out", "FILE.png", "the PNG file to write (required)");
    if (const std::optional<int> status = line.parse(args))
        return *status;

    const QStringList positional = line.positional();
    const QString names = chartNames().join(", ");
    if (positional.isEmpty())
        return line.fail("missing chart name (one of " + names + ")");
    if (positional.size() > 1)
        return line.fail("unexpected argument " + positional[1]);
    const std::optional<ChartId> id = chartByName(positional.first());
    if (!id)
        return line.fail("unknown chart " + positional.first() + " (one of " + names + ")");

    QString error;
    const std::optional<AnalysisInput> in = readAnalysisOptions(line, &error);
    if (!in)
        return line.fail(error);
    const std::optional<int> width = side(line.value("width"), kDefaultWidth, "width", &error);
    if (!width)
        return line.fail(error);
    const std::optional<int> height = side(line.value("height"), kDefaultHeight, "height", &error);
    if (!height)
        return line.fail(error);
    const std::optional<QString> out = line.value("out");
    if (!out || out->isEmpty())
        return line.fail("--out FILE.png is required");

    const std::optional<AnalysisResult> result = analyse(*in, &error);
    if (!result)
        return line.fail(error);
    const std::optional<QString> folder = pictureFolder(chartInfo(*id), &error);
    if (!folder)
        return line.fail(error, kFailure);

    installChartFonts();
    QImage image(*width, *height, QImage::Format_RGB32);
    image.fill(Qt::white);
    bool drawn = false;
    {
        QPainter painter(&image);
        painter.setFont(QFont(QStringLiteral("Tahoma"), 8));
        const ChartInput input{*result, in->record, in->sequence, in->male, *folder};
        drawn = drawChart(*id, painter,
                          ChartArea{*width, *height, ChartStyle::screen(line.isSet("monochrome"))},
                          input, &error);
    }
    if (!drawn)
        return line.fail(error.simplified(), kFailure);
    if (!savePng(image, *out, &error))
        return line.fail(error, kFailure);
    return 0;
}

} // namespace

const CommandRegistration registration("chart", usage, runChart, true);

} // namespace viro::cli
