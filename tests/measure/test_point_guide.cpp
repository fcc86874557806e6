#include "measure/point_guide.h"

#include "core/data_folder.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace viro;

TEST(PointGuide, PictureNameOfEveryPointAndFamily) {
    // Point index order: left hand, right hand, left foot, right foot, six each.
    const char* const picture[24] = {
        "PLh1.bmp", "PLh2.bmp", "PLh3.bmp", "PLh4.bmp", "PLh5.bmp", "PLh6.bmp",
        "PRh1.bmp", "PRh2.bmp", "PRh3.bmp", "PRh4.bmp", "PRh5.bmp", "PRh6.bmp",
        "PLf1.bmp", "PLf2.bmp", "PLf3.bmp", "PLf4.bmp", "PLf5.bmp", "PLf6.bmp",
        "PRf1.bmp", "PRf2.bmp", "PRf3.bmp", "PRf4.bmp", "PRf5.bmp", "PRf6.bmp",
    };
    struct Family {
        GuidePictureMode mode;
        QChar letter;
    };
    const Family families[] = {{GuidePictureMode::Picture, 'P'},
                               {GuidePictureMode::Outline, 'G'},
                               {GuidePictureMode::Combined, 'C'}};
    for (const Family& f : families)
        for (int point = 1; point <= 24; ++point) {
            QString expected = QString::fromLatin1(picture[point - 1]);
            expected[0] = f.letter;
            EXPECT_EQ(pointGuide(point, f.mode).pictureFile, expected)
                << "point " << point << " family " << f.letter.toLatin1();
        }
}

TEST(PointGuide, StoredModesOutsideTheThreeShowThePicture) {
    const std::pair<int, GuidePictureMode> cases[] = {
        {1, GuidePictureMode::Picture},  {2, GuidePictureMode::Outline},
        {3, GuidePictureMode::Combined}, {0, GuidePictureMode::Picture},
        {4, GuidePictureMode::Picture},  {-1, GuidePictureMode::Picture},
    };
    for (const auto& [stored, mode] : cases)
        EXPECT_EQ(guidePictureModeFrom(stored), mode) << "stored " << stored;
}

TEST(PointGuide, TextsNameSideLimbMeridianChannelAndSourcePoint) {
    struct Case {
        int point;
        const char* location;
        const char* meridianName;
        const char* pointName;
        const char* label;
    };
    const std::vector<Case> cases{
        {1, "Left Hand", "Lung Meridian of Hand-TaiYin", "TaiYuan  LU9", "Lung Meridian(LU)"},
        {3, "Left Hand", "Heart Meridian of Hand-Shaoyin", "ShenMen  HT7", "Heart Meridian(HT)"},
        {11, "Right Hand", "Triple Energizer Meridian of Hand-Shaoyang", "YangChi  TE4",
         "Triple Energizer Meridian(TE)"},
        {12, "Right Hand", "Large Intestine Meridian of Hand-YangMin", "YangXi   LI5",
         "Large Intestine Meridian(LI)"},
        {13, "Left Foot", "Spleen Meridian of Foot-TaiYin", "TaiBai   SP3", "Spleen Meridian(SP)"},
        {17, "Left Foot", "Gallbladder Meridian of Foot-ShaoYang", "QiuXu    GB40",
         "Gallbladder Meridian(GB)"},
        {22, "Right Foot", "Bladder Meridian of Foot-TaiYang", "ShuGu    BL65",
         "Bladder Meridian(BL)"},
        {24, "Right Foot", "Stomach Meridian of Foot-YangMing", "ChongYang ST42",
         "Stomach Meridian(ST)"},
    };
    for (const Case& c : cases) {
        const PointGuide g = pointGuide(c.point, GuidePictureMode::Combined);
        EXPECT_EQ(g.location, c.location) << "point " << c.point;
        EXPECT_EQ(g.meridianName, c.meridianName) << "point " << c.point;
        EXPECT_EQ(g.pointName, c.pointName) << "point " << c.point;
        EXPECT_EQ(g.pictureLabel1, c.pointName) << "point " << c.point;
        EXPECT_EQ(g.pictureLabel2, c.label) << "point " << c.point;
    }
}

TEST(PointGuide, PicturesLiveInTheDataFolderUnderTheirNamesOnThisSystem) {
    const QString name = dataFileName("PLh1.bmp");
    EXPECT_EQ(guidePicturePath("/x/viro/", "PLh1.bmp"), "/x/viro/Data/" + name);
    EXPECT_EQ(guidePicturePath("/x/viro", "PLh1.bmp"), "/x/viro/Data/" + name);
#ifndef Q_OS_WIN
    EXPECT_EQ(name, "plh1.bmp");
#endif
}

TEST(PointGuide, LoadingReadsTheBitmapOrSaysWhyNot) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkpath("Data"));
    const QString folder = dir.path() + "/";

    QImage drawn(200, 250, QImage::Format_RGB32);
    drawn.fill(QColor(10, 120, 200));
    const QString good = guidePicturePath(folder, "CRf6.bmp");
    ASSERT_TRUE(drawn.save(good, "BMP"));
    QString error = "untouched";
    const auto image = loadGuidePicture(good, &error);
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ(image->size(), QSize(200, 250));
    EXPECT_EQ(QColor(image->pixel(100, 100)), QColor(10, 120, 200));
    EXPECT_EQ(error, "untouched");

    const QString missing = guidePicturePath(folder, "PLh2.bmp");
    EXPECT_FALSE(loadGuidePicture(missing, &error).has_value());
    EXPECT_TRUE(error.contains("Cannot find") && error.contains(missing)) << error.toStdString();

    const QString broken = guidePicturePath(folder, "PLh3.bmp");
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("BM not really a bitmap");
    file.close();
    EXPECT_FALSE(loadGuidePicture(broken, &error).has_value());
    EXPECT_TRUE(error.contains("Cannot read") && error.contains(broken)) << error.toStdString();
}
