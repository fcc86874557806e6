#include "cli_runner.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kValues = "48.2,39.5,35.1,52.7,44.0,61.3,45.9,41.2,30.4,55.0,47.8,58.6,"
                        "33.3,28.7,41.9,37.5,26.4,39.0,35.6,24.9,44.2,40.1,29.8,36.7";

// A data folder with small background pictures of our own, or without them.
struct ChartFolder {
    QTemporaryDir dir;
    explicit ChartFolder(bool withPictures) {
        QDir(dir.path()).mkpath("data/Data");
        if (!withPictures)
            return;
        for (const char* name : {"zebkma.msi", "zebkmb.msi", "zebkmc.msi", "zebkmg.msi"}) {
            QImage image(80, 40, QImage::Format_RGB32);
            image.fill(Qt::white);
            image.save(dir.path() + "/data/Data/" + name, "BMP");
        }
    }
    QString out(const QString& name) const { return dir.path() + "/" + name; }
    QProcessEnvironment env() const {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("VIRO_DATA_DIR", dir.path() + "/data");
        return e;
    }
};

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

TEST(ChartCli, MissingPictureFailsWithOneLine) {
    const ChartFolder folder(false);
    struct Case {
        const char* name;
        const char* picture;
    };
    for (const Case& c : std::vector<Case>{{"yinyang-balance-b", "zebkmc.msi"},
                                           {"qiblood-ed-a", "zebkmb.msi"},
                                           {"time-cycle-a", "zebkma.msi"},
                                           {"body-energy", "zebkmg.msi"}}) {
        SCOPED_TRACE(c.name);
        const QString out = folder.out(QString(c.name) + ".png");
        const CliRun run = chart(folder, {c.name, "--values", kValues, "--out", out});
        EXPECT_EQ(run.exitCode, 1);
        QList<QByteArray> lines;
        for (const QByteArray& l : run.err.split('\n'))
            if (l.startsWith("viro-cli:"))
                lines << l;
        ASSERT_EQ(lines.size(), 1) << run.err.toStdString();
        EXPECT_TRUE(lines[0].contains(c.picture)) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(out)) << "no picture is written for a chart that failed";
    }
    // Charts without a background picture do not need one.
    const CliRun run =
        chart(folder, {"yinyang-balance-a", "--values", kValues, "--out", folder.out("a.png")});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
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
    };
    for (const Case& c : cases) {
        const CliRun run = chart(folder, c.args);
        EXPECT_EQ(run.exitCode, 2) << c.what;
        EXPECT_TRUE(run.err.contains(c.message)) << c.what << ": " << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(out)) << c.what;
    }
}
