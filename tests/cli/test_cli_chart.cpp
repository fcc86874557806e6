#include "cli_runner.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

const QString kValues = "48.2,39.5,35.1,52.7,44.0,61.3,45.9,41.2,30.4,55.0,47.8,58.6,"
                        "33.3,28.7,41.9,37.5,26.4,39.0,35.6,24.9,44.2,40.1,29.8,36.7";

constexpr QRgb kMarkerInk = qRgb(12, 34, 56); // a colour no chart draws itself

// The pictures a chart is drawn on, by chart.
const std::vector<std::pair<const char*, const char*>> kBackgrounds{
    {"yinyang-balance-b", "zebkmc.msi"}, {"yinyang-ed-a", "zebkmc.msi"},
    {"yinyang-ed-b", "zebkmc.msi"},      {"qiblood-balance-b", "zebkmb.msi"},
    {"qiblood-ed-a", "zebkmb.msi"},      {"qiblood-ed-b", "zebkmb.msi"},
    {"time-cycle-a", "zebkma.msi"},      {"time-cycle-b", "zebkma.msi"},
    {"body-energy", "zebkmg.msi"},
};

// A data folder with small background pictures of our own, or without them. The pictures are
// of the marker ink on a white key colour (the bottom-left pixel), so they show in a chart.
// Without an installation folder of its own, the program's installation folder (the build
// tree's) is used, which holds the real pictures.
struct ChartFolder {
    QTemporaryDir dir;
    bool ownInstallation = false;
    explicit ChartFolder(bool withPictures, bool emptyInstallation = false)
        : ownInstallation(emptyInstallation) {
        QDir(dir.path()).mkpath("data/Data");
        QDir(dir.path()).mkpath("share/Data");
        if (!withPictures)
            return;
        for (const char* name : {"zebkma.msi", "zebkmb.msi", "zebkmc.msi", "zebkmg.msi"})
            addPicture(name);
    }
    void addPicture(const QString& name) const {
        QImage image(80, 40, QImage::Format_RGB32);
        image.fill(kMarkerInk);
        image.setPixel(0, image.height() - 1, qRgb(255, 255, 255));
        image.save(dir.path() + "/data/Data/" + name, "BMP");
    }
    QString out(const QString& name) const { return dir.path() + "/" + name; }
    QProcessEnvironment env() const {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("VIRO_DATA_DIR", dir.path() + "/data");
        if (ownInstallation)
            e.insert("VIRO_SHARE_DIR", dir.path() + "/share");
        else
            e.remove("VIRO_SHARE_DIR");
        return e;
    }
};

int pixelsOf(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour;
    return n;
}

CliRun chart(const ChartFolder& folder, const QStringList& args) {
    return runCli(QStringList{"chart"} + args, folder.env());
}

} // namespace

TEST(ChartCli, RendersEveryChartAtTheDefaultSize) {
    const ChartFolder folder(true);
    const QStringList names{"bar",
                            "slope",
                            "ryodoraku",
                            "yinyang-balance-a",
                            "yinyang-balance-b",
                            "yinyang-ed-a",
                            "yinyang-ed-b",
                            "qiblood-balance-a",
                            "qiblood-balance-b",
                            "qiblood-ed-a",
                            "qiblood-ed-b",
                            "five-elements-1",
                            "five-elements-2",
                            "five-elements-3",
                            "time-cycle-a",
                            "time-cycle-b",
                            "body-energy",
                            "eci-pie",
                            "ans",
                            "quality"};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QString out = folder.out(name + ".png");
        const CliRun run = chart(folder, {name, "--values", kValues, "--sex", "female", "--date",
                                          "2024-05-01T10:30:00", "--out", out});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        QImage image;
        ASSERT_TRUE(image.load(out, "PNG"));
        EXPECT_EQ(image.size(), QSize(965, 554));
        int ink = 0;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2)
                ink += image.pixel(x, y) != qRgb(255, 255, 255);
        EXPECT_GT(ink, 300) << "the chart is drawn, not left blank";
    }
}

TEST(ChartCli, SizeOrderAndMonochrome) {
    const ChartFolder folder(true);
    const QString out = folder.out("small.png");
    CliRun run = chart(folder, {"bar", "--values", kValues, "--order-mode", "1", "--width", "400",
                                "--height", "300", "--monochrome", "--out", out});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QImage image;
    ASSERT_TRUE(image.load(out, "PNG"));
    EXPECT_EQ(image.size(), QSize(400, 300));
    int coloured = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            coloured += qRed(p) != qGreen(p) || qGreen(p) != qBlue(p);
        }
    EXPECT_EQ(coloured, 0);
}

// The data folder comes first; a data folder the program never started in has no pictures
// yet, and the installation's are used.
TEST(ChartCli, PicturesFromTheDataFolderElseTheInstallation) {
    const ChartFolder fresh(false);
    for (const auto& [name, picture] : kBackgrounds) {
        SCOPED_TRACE(name);
        const QString out = fresh.out(QString(name) + ".png");
        const CliRun run = chart(fresh, {name, "--values", kValues, "--out", out});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        QImage image;
        ASSERT_TRUE(image.load(out, "PNG"));
        EXPECT_EQ(pixelsOf(image, kMarkerInk), 0);
    }
    // A picture of the user's own in the data folder wins; the others still come from the
    // installation.
    const ChartFolder own(false);
    own.addPicture("zebkmc.msi");
    for (const auto& [name, picture] : kBackgrounds) {
        SCOPED_TRACE(name);
        const QString out = own.out(QString(name) + ".png");
        const CliRun run = chart(own, {name, "--values", kValues, "--out", out});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        QImage image;
        ASSERT_TRUE(image.load(out, "PNG"));
        EXPECT_EQ(pixelsOf(image, kMarkerInk) > 0, QString(picture) == "zebkmc.msi");
    }
}

TEST(ChartCli, MissingPictureFailsWithOneLine) {
    const ChartFolder folder(false, true);
    for (const auto& [name, picture] : kBackgrounds) {
        SCOPED_TRACE(name);
        const QString out = folder.out(QString(name) + ".png");
        const CliRun run = chart(folder, {name, "--values", kValues, "--out", out});
        EXPECT_EQ(run.exitCode, 1);
        QList<QByteArray> lines;
        for (const QByteArray& l : run.err.split('\n'))
            if (l.startsWith("viro-cli:"))
                lines << l;
        ASSERT_EQ(lines.size(), 1) << run.err.toStdString();
        // Both places that were looked in are named.
        EXPECT_TRUE(
            lines[0].contains(QFile::encodeName(folder.dir.path() + "/data/Data/" + picture)))
            << run.err.toStdString();
        EXPECT_TRUE(
            lines[0].contains(QFile::encodeName(folder.dir.path() + "/share/Data/" + picture)))
            << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(out)) << "no picture is written for a chart that failed";
    }
    // Charts without a background picture do not need one.
    const CliRun run =
        chart(folder, {"yinyang-balance-a", "--values", kValues, "--out", folder.out("a.png")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
}

// The chart's name may stand anywhere among the options.
TEST(ChartCli, NameAmongTheOptions) {
    const ChartFolder folder(true);
    const QString out = folder.out("bar.png");
    const std::vector<QStringList> lines{
        {"--values", kValues, "bar", "--out", out},
        {"--out", out, "--values", kValues, "bar"},
        {"--width=300", "slope", "--values", kValues, "--out", out},
    };
    for (const QStringList& args : lines) {
        SCOPED_TRACE(args.join(' ').toStdString());
        QFile::remove(out);
        const CliRun run = chart(folder, args);
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(QImage(out, "PNG").width() > 0);
    }
}

// A failed write is reported, and leaves nothing half-written behind. Targets that are not
// plain files (a pipe here) are written through, not replaced.
TEST(ChartCli, OutputThatCannotBeWritten) {
    const ChartFolder folder(true);
    QFile blocker(folder.out("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    for (const QString& out : {folder.out("file/bar.png"), folder.out("missing/bar.png")}) {
        SCOPED_TRACE(out.toStdString());
        const CliRun run = chart(folder, {"bar", "--values", kValues, "--out", out});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains("viro-cli: chart: cannot write " + QFile::encodeName(out)))
            << run.err.toStdString();
    }
    EXPECT_TRUE(QDir(folder.dir.path()).entryList({"*.png"}).isEmpty());

    const CliRun piped = chart(folder, {"bar", "--values", kValues, "--out", "/dev/stdout"});
    ASSERT_EQ(piped.exitCode, 0) << piped.err.toStdString();
    EXPECT_EQ(QImage::fromData(piped.out, "PNG").size(), QSize(965, 554));
}

TEST(ChartCli, BadArgumentsExitWithStatusTwo) {
    const ChartFolder folder(true);
    const QString out = folder.out("x.png");
    struct Case {
        const char* what;
        QStringList args;
        const char* message;
    };
    const std::vector<Case> cases{
        {"no name", {"--values", kValues, "--out", out}, "missing chart name"},
        {"unknown name", {"pie", "--values", kValues, "--out", out}, "unknown chart pie"},
        {"no output", {"bar", "--values", kValues}, "--out"},
        {"no values", {"bar", "--out", out}, "--values"},
        {"zero width", {"bar", "--values", kValues, "--width", "0", "--out", out}, "--width"},
        {"text height", {"bar", "--values", kValues, "--height", "tall", "--out", out}, "--height"},
        {"huge width", {"bar", "--values", kValues, "--width", "100000", "--out", out}, "--width"},
        {"unknown option",
         {"bar", "--values", kValues, "--colour", "--out", out},
         "unknown option --colour"},
        {"extra argument",
         {"bar", "slope", "--values", kValues, "--out", out},
         "unexpected argument slope"},
        {"flag given twice",
         {"bar", "--monochrome", "--values", kValues, "--monochrome", "--out", out},
         "--monochrome is given twice"},
        {"option given twice",
         {"bar", "--out", out, "--values", kValues, "--out", out},
         "--out is given twice"},
        {"option as a value", {"bar", "--values", "--out", out}, "--values needs a value"},
        {"flag with a value",
         {"bar", "--values", kValues, "--monochrome=yes", "--out", out},
         "--monochrome"},
    };
    for (const Case& c : cases) {
        const CliRun run = chart(folder, c.args);
        EXPECT_EQ(run.exitCode, 2) << c.what;
        EXPECT_EQ(run.err.count("viro-cli:"), 1) << c.what << ": " << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.message)) << c.what << ": " << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(out)) << c.what;
    }
}
