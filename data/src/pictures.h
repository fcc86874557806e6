#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QString>

namespace viro {

// ---- Point guides: one picture per family, side, limb and point number (72 in all).

enum class GuideFamily { Picture, Outline, Combined };

struct GuideId {
    GuideFamily family = GuideFamily::Picture;
    bool left = true;
    bool hand = true;
    int number = 1; // 1 to 6, the point's place within its limb
};

inline constexpr int kGuideWidth = 200;
inline constexpr int kGuideHeight = 250;
inline constexpr int kGuideCount = 72;
// The measuring point is a disc of exactly this colour; nothing else in a guide uses it.
inline constexpr QRgb kGuideMarkerRgb = qRgb(220, 0, 0);
inline constexpr double kGuideMarkerRadius = 6;

// All 72 guides in file-name order: family P, G, C; side L, R; hand, foot; number 1-6.
GuideId guideAt(int index);
// "PLh1.bmp" ... "CRf6.bmp", as the measurement window names them.
QString guideFileName(const GuideId& id);

// Where things are in a guide, in image pixels. The limb shape may run past the image edge
// where the arm or leg continues.
struct GuideLayout {
    QPainterPath limb;
    QPointF point;
};
// The view of each point is chosen so the point faces the operator: palm for H1-H3, back of
// the hand for H4-H6, inner foot for F1 and F3, top of the foot for F2 and F6, outer foot for
// F4 and F5. The right side is the mirror image of the left.
GuideLayout guideLayout(bool left, bool hand, int number);

QImage drawPointGuide(const GuideId& id);

// ---- Chart backgrounds ("zebkma.msi" and the others).

inline constexpr int kBackgroundCount = 4;
// "zebkma.msi", "zebkmb.msi", "zebkmc.msi", "zebkmg.msi".
QString backgroundFileName(int index);
// Quiet pictures on white (the colour the charts leave out when they draw them).
QImage drawBackground(int index);

// ---- Meridian charts: the course of a meridian on a body outline, front and back.

inline constexpr int kChartWidth = 480;
inline constexpr int kChartHeight = 540;
// The line colour of a meridian's course (by its element).
QColor meridianCourseColour(int meridianNumber);
QImage drawMeridianChart(int meridianNumber);

} // namespace viro
