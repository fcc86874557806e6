#include "core/data_folder.h"
#include "data/src/pictures.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <deque>
#include <numbers>
#include <vector>

namespace viro {
namespace {

QString guidePath(const GuideId& id) {
    return QStringLiteral(VIRO_BUILT_SHARE_DIR "/Data/") + dataFileName(guideFileName(id));
}

QImage loadGuide(const GuideId& id) {
    QImage image(guidePath(id));
    return image.convertToFormat(QImage::Format_RGB32);
}

struct Marker {
    int pixels = 0;
    QPointF centre;
};

// The measuring point as it appears in the picture: the pixels of the marker colour.
Marker findMarker(const QImage& image) {
    Marker m;
    double sx = 0, sy = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == (kGuideMarkerRgb & 0xFFFFFF)) {
                ++m.pixels;
                sx += x + 0.5;
                sy += y + 0.5;
            }
    if (m.pixels)
        m.centre = QPointF(sx / m.pixels, sy / m.pixels);
    return m;
}

bool nearWhite(QRgb c) {
    return qRed(c) >= 240 && qGreen(c) >= 240 && qBlue(c) >= 240;
}

// The marker's reds and their blends with white (equal green and blue); skin, the contour and
// their blends with the marker are not.
bool markerRed(QRgb c) {
    return qRed(c) - qGreen(c) > 15 && std::abs(qGreen(c) - qBlue(c)) <= 6;
}

// Pixels reached from the image corners through the background. The marker is passable too,
// so a marker that sticks out of the limb lets the background in to its centre.
std::vector<bool> outsideOfLimb(const QImage& image) {
    const int w = image.width();
    const int h = image.height();
    std::vector<bool> outside(size_t(w * h), false);
    std::deque<QPoint> todo;
    for (const QPoint corner :
         {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
        todo.push_back(corner);
    while (!todo.empty()) {
        const QPoint p = todo.front();
        todo.pop_front();
        if (p.x() < 0 || p.y() < 0 || p.x() >= w || p.y() >= h)
            continue;
        const size_t i = size_t(p.y() * w + p.x());
        const QRgb c = image.pixel(p);
        if (outside[i] || !(nearWhite(c) || markerRed(c)))
            continue;
        outside[i] = true;
        todo.push_back(p + QPoint(1, 0));
        todo.push_back(p + QPoint(-1, 0));
        todo.push_back(p + QPoint(0, 1));
        todo.push_back(p + QPoint(0, -1));
    }
    return outside;
}

TEST(PointGuides, AllSeventyTwoLoadAsBitmapsOfASensibleSize) {
    for (int i = 0; i < kGuideCount; ++i) {
        const GuideId id = guideAt(i);
        SCOPED_TRACE(guideFileName(id).toStdString());
        QFile file(guidePath(id));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.read(2), QByteArray("BM"));
        const QImage image = loadGuide(id);
        ASSERT_FALSE(image.isNull());
        EXPECT_GE(image.width(), 120);
        EXPECT_LE(image.width(), 600);
        EXPECT_GE(image.height(), 120);
        EXPECT_LE(image.height(), 600);
    }
}

TEST(PointGuides, FileNamesFollowFamilySideLimbAndNumber) {
    const std::vector<std::pair<int, const char*>> cases{
        {0, "PLh1.bmp"},  {5, "PLh6.bmp"},  {6, "PLf1.bmp"},  {12, "PRh1.bmp"}, {23, "PRf6.bmp"},
        {24, "GLh1.bmp"}, {47, "GRf6.bmp"}, {50, "CLh3.bmp"}, {71, "CRf6.bmp"}};
    for (const auto& [index, name] : cases)
        EXPECT_EQ(guideFileName(guideAt(index)), QLatin1String(name)) << index;
}

TEST(PointGuides, TheMarkedPointLiesInsideTheDrawnLimb) {
    for (int i = 0; i < kGuideCount; ++i) {
        const GuideId id = guideAt(i);
        SCOPED_TRACE(guideFileName(id).toStdString());
        const QImage image = loadGuide(id);
        const Marker marker = findMarker(image);
        // A whole disc of radius 6 holds more than 80 pixels; a clipped one fewer.
        ASSERT_GT(marker.pixels, 80);
        const std::vector<bool> outside = outsideOfLimb(image);
        ASSERT_GT(std::count(outside.begin(), outside.end(), true), 1000) << "no background";
        const QPoint centre = marker.centre.toPoint();
        EXPECT_FALSE(outside[size_t(centre.y() * image.width() + centre.x())])
            << "the background reaches the marked point";
        // The layout the picture was drawn from says the same.
        const GuideLayout layout = guideLayout(id.left, id.hand, id.number);
        EXPECT_NEAR(marker.centre.x(), layout.point.x(), 1.0);
        EXPECT_NEAR(marker.centre.y(), layout.point.y(), 1.0);
        for (int k = 0; k < 16; ++k) {
            const double a = k * std::numbers::pi / 8;
            const QPointF rim =
                layout.point + QPointF(std::cos(a), std::sin(a)) * (kGuideMarkerRadius + 2);
            EXPECT_TRUE(layout.limb.contains(rim)) << "ring leaves the limb at step " << k;
        }
    }
}

// Where each point must lie, from anatomy, for the left side as the operator sees it: the
// palm shows the thumb on the right, the back of the hand on the left; the inner foot has the
// toes to the right, the outer foot to the left; from the front the big toe is on the left.
TEST(PointGuides, PointsLieOnTheirAnatomicalSideAndTheRightSideIsTheMirror) {
    enum Side { Left, Middle, Right };
    struct Case {
        bool hand;
        int number;
        Side side;
        const char* why;
    };
    const std::vector<Case> cases{
        {true, 1, Right, "LU9 on the thumb side of the palm"},
        {true, 2, Middle, "PC7 in the middle of the wrist"},
        {true, 3, Left, "HT7 on the little finger side of the palm"},
        {true, 4, Right, "SI4 on the little finger edge of the back of the hand"},
        {true, 5, Middle, "TE4 near the middle of the back of the wrist"},
        {true, 6, Left, "LI5 on the thumb side of the back of the wrist"},
        {false, 1, Right, "SP3 towards the toes on the inner side"},
        {false, 2, Left, "LR3 on the big toe side of the instep"},
        {false, 3, Left, "KI4 by the heel on the inner side"},
        {false, 4, Left, "BL65 towards the toes on the outer side"},
        {false, 5, Right, "GB40 by the ankle, behind the middle of the outer side"},
        {false, 6, Middle, "ST42 in the middle of the instep"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        for (GuideFamily family :
             {GuideFamily::Picture, GuideFamily::Outline, GuideFamily::Combined}) {
            const QImage left = loadGuide({family, true, c.hand, c.number});
            const QImage right = loadGuide({family, false, c.hand, c.number});
            const double x = findMarker(left).centre.x() - left.width() / 2.0;
            switch (c.side) {
            case Left:
                EXPECT_LT(x, -10);
                break;
            case Middle:
                EXPECT_LE(std::abs(x), 10);
                break;
            case Right:
                EXPECT_GT(x, 10);
                break;
            }
            if (c.hand) { // the wrist lies below the palm and fingers
                EXPECT_GT(findMarker(left).centre.y(), left.height() * 0.6);
            }
            EXPECT_EQ(right, left.mirrored(true, false));
            // Every family marks the same spot.
            const QPointF picture =
                findMarker(loadGuide({GuideFamily::Picture, true, c.hand, c.number})).centre;
            EXPECT_NEAR(findMarker(left).centre.x(), picture.x(), 0.5);
            EXPECT_NEAR(findMarker(left).centre.y(), picture.y(), 0.5);
        }
    }
    // ST42 lies nearer the ankle (top) than LR3, which is further down the instep.
    EXPECT_LT(findMarker(loadGuide({GuideFamily::Picture, true, false, 6})).centre.y(),
              findMarker(loadGuide({GuideFamily::Picture, true, false, 2})).centre.y());
}

TEST(PointGuides, FamiliesDifferInLook) {
    // Picture: skin colour without a black contour; outline: black contour on white;
    // combined: both.
    auto count = [](const QImage& image, auto test) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += test(image.pixel(x, y));
        return n;
    };
    auto black = [](QRgb c) { return qRed(c) < 40 && qGreen(c) < 40 && qBlue(c) < 40; };
    auto skin = [](QRgb c) {
        return qRed(c) > 225 && qGreen(c) > 180 && qGreen(c) < 235 && qBlue(c) > 150 &&
               qBlue(c) < 215 && qRed(c) > qBlue(c) + 20;
    };
    for (bool hand : {true, false}) {
        SCOPED_TRACE(hand ? "hand" : "foot");
        const QImage p = loadGuide({GuideFamily::Picture, true, hand, 1});
        const QImage g = loadGuide({GuideFamily::Outline, true, hand, 1});
        const QImage c = loadGuide({GuideFamily::Combined, true, hand, 1});
        EXPECT_LT(count(p, black), 20);
        EXPECT_GT(count(p, skin), 5000);
        EXPECT_GT(count(g, black), 400);
        EXPECT_LT(count(g, skin), 50);
        EXPECT_GT(count(c, black), 400);
        EXPECT_GT(count(c, skin), 5000);
    }
}

TEST(ChartBackgrounds, LoadAsQuietBitmapsOnWhite) {
    for (int i = 0; i < kBackgroundCount; ++i) {
        const QString path =
            QStringLiteral(VIRO_BUILT_SHARE_DIR "/Data/") + dataFileName(backgroundFileName(i));
        SCOPED_TRACE(path.toStdString());
        // The extension says nothing; the content must be recognised as a bitmap.
        const QImage sniffed(path);
        const QImage image = QImage(path, "BMP").convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(sniffed.isNull());
        ASSERT_FALSE(image.isNull());
        EXPECT_GE(image.width(), 300);
        EXPECT_LE(image.width(), 900);
        EXPECT_GE(image.height(), 200);
        EXPECT_LE(image.height(), 500);
        // The charts leave out white, the colour of the corners.
        for (const QPoint corner :
             {QPoint(0, 0), QPoint(image.width() - 1, 0), QPoint(0, image.height() - 1),
              QPoint(image.width() - 1, image.height() - 1)})
            EXPECT_EQ(image.pixel(corner) & 0xFFFFFF, 0xFFFFFFu);
        int darkest = 255;
        int tinted = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb c = image.pixel(x, y);
                darkest = std::min({darkest, qRed(c), qGreen(c), qBlue(c)});
                tinted += (c & 0xFFFFFF) != 0xFFFFFF;
            }
        }
        EXPECT_GE(darkest, 210) << "too strong to draw charts over";
        EXPECT_GT(tinted, image.width() * image.height() / 20) << "nothing drawn";
    }
}

} // namespace
} // namespace viro
