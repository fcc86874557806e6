#include "core/log.h"

#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

Q_LOGGING_CATEGORY(lcTest, "viro.test", QtInfoMsg)

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(LogFile, WritesEachMessageWithItsLevelAndCategory) {
    QTemporaryDir dir;
    {
        viro::LogFile log(dir.path());
        qCWarning(lcTest) << "probe lost";
        qCInfo(lcTest) << "probe found";
        qCDebug(lcTest) << "below the default level";
    }
    qCWarning(lcTest) << "after the log file closed";
    const QByteArray text = readAll(dir.filePath("viro.log"));
    EXPECT_TRUE(text.contains("warning viro.test: probe lost\n")) << text.constData();
    EXPECT_TRUE(text.contains("info viro.test: probe found\n")) << text.constData();
    EXPECT_FALSE(text.contains("below the default level"));
    EXPECT_FALSE(text.contains("after the log file closed"));
}

TEST(LogFile, KeepsAtMostTwoFilesOfTheGivenSize) {
    QTemporaryDir dir;
    constexpr qint64 kLimit = 4096;
    {
        viro::LogFile log(dir.path(), kLimit);
        for (int i = 0; i < 1000; ++i)
            qCWarning(lcTest, "line %d of a long run of messages", i);
    }
    const QByteArray current = readAll(dir.filePath("viro.log"));
    const QByteArray previous = readAll(dir.filePath("viro.log.1"));
    EXPECT_LE(current.size(), kLimit);
    EXPECT_LE(previous.size(), kLimit);
    EXPECT_GT(previous.size(), kLimit / 2);
    EXPECT_TRUE(current.contains("line 999 of"));
    EXPECT_FALSE(QFile::exists(dir.filePath("viro.log.2")));
}

TEST(LogFile, AFolderThatCannotBeWrittenLosesOnlyTheLog) {
    viro::LogFile log("/nonexistent/folder");
    qCWarning(lcTest) << "nowhere to go";
    EXPECT_FALSE(QFile::exists("/nonexistent/folder/viro.log"));
}
