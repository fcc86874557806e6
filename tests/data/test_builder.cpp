#include "data/src/installation_data.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace viro {
namespace {

struct BuilderRun {
    int exitCode = -1;
    QString errorOutput;
};

BuilderRun runBuilder(const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(VIRO_DATA_BUILDER), arguments);
    if (!process.waitForFinished(120000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool copyFolder(const QString& from, const QString& to) {
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = to + file.mid(from.size());
        QDir().mkpath(QFileInfo(target).path());
        if (!QFile::copy(file, target))
            return false;
    }
    return true;
}

TEST(Builder, BuildingTwiceGivesTheSameFiles) {
    QTemporaryDir first, second;
    ASSERT_TRUE(first.isValid() && second.isValid());
    const BuilderRun a = runBuilder({"--sources", VIRO_DATA_SOURCE_DIR, "--out", first.path()});
    ASSERT_EQ(a.exitCode, 0) << a.errorOutput.toStdString();
    const BuilderRun b = runBuilder({"--sources", VIRO_DATA_SOURCE_DIR, "--out", second.path()});
    ASSERT_EQ(b.exitCode, 0) << b.errorOutput.toStdString();
    for (const QString& name : installationFileNames()) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray one = contents(QDir(first.path()).filePath(name));
        ASSERT_FALSE(one.isEmpty());
        EXPECT_TRUE(one == contents(QDir(second.path()).filePath(name)));
    }
}

TEST(Builder, ASourceErrorNamesItsLineAndWritesNoDatabase) {
    QTemporaryDir sources, out;
    ASSERT_TRUE(sources.isValid() && out.isValid());
    ASSERT_TRUE(copyFolder(VIRO_DATA_SOURCE_DIR "/texts", sources.filePath("texts")));
    QFile broken(sources.filePath("protocols.txt"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("# a protocol whose name does not fit the column\n"
                 "protocol: X1\n"
                 "name: A name far longer than the column allows\n");
    broken.close();

    const BuilderRun run = runBuilder({"--sources", sources.path(), "--out", out.path()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errorOutput.contains("protocols.txt:3: ")) << run.errorOutput.toStdString();
    EXPECT_TRUE(QDir(out.path()).entryList(QDir::Files).isEmpty());
}

TEST(Builder, AReferenceTextErrorStopsTheBuild) {
    QTemporaryDir sources, out;
    ASSERT_TRUE(sources.isValid() && out.isValid());
    ASSERT_TRUE(copyFolder(VIRO_DATA_SOURCE_DIR, sources.path()));
    QFile text(sources.filePath("texts/09-kidney.txt"));
    ASSERT_TRUE(text.open(QIODevice::Append));
    text.write("DtMH2: written twice\n");
    text.close();
    const BuilderRun run = runBuilder({"--sources", sources.path(), "--out", out.path()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.errorOutput.contains("09-kidney.txt:")) << run.errorOutput.toStdString();
    EXPECT_TRUE(run.errorOutput.contains("twice")) << run.errorOutput.toStdString();
    EXPECT_FALSE(QFile::exists(QDir(out.path()).filePath(referenceDatabaseName())));
}

TEST(Builder, WithoutFoldersItPrintsItsUsage) {
    const BuilderRun run = runBuilder({});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.errorOutput.contains("usage")) << run.errorOutput.toStdString();
}

} // namespace
} // namespace viro
