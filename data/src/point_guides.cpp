#include "data/src/pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <QTransform>

#include <vector>

namespace viro {

GuideId guideAt(int index) {
    GuideId id;
    id.family = GuideFamily(index / 24);
    id.left = (index / 12) % 2 == 0;
    id.hand = (index / 6) % 2 == 0;
    id.number = index % 6 + 1;
    return id;
}

QString guideFileName(const GuideId& id) {
    static const char families[] = {'P', 'G', 'C'};
    return QStringLiteral("%1%2%3%4.bmp")
        .arg(QLatin1Char(families[int(id.family)]))
        .arg(id.left ? QLatin1Char('L') : QLatin1Char('R'))
        .arg(id.hand ? QLatin1Char('h') : QLatin1Char('f'))
        .arg(id.number);
}

namespace {

// Every view is drawn for the left side in a base orientation; `mirrored` views show the
// other face of the same limb, which is the base shape flipped.
enum class View { Palm, HandBack, FootInner, FootOuter, FootTop };

View viewOf(bool hand, int number) {
    if (hand)
        return number <= 3 ? View::Palm : View::HandBack;
    switch (number) {
    case 1:
    case 3:
        return View::FootInner;
    case 4:
    case 5:
        return View::FootOuter;
    default:
        return View::FootTop;
    }
}

bool isMirroredView(View v) {
    return v == View::HandBack || v == View::FootOuter;
}

QTransform flip() {
    return QTransform(-1, 0, 0, 1, kGuideWidth, 0);
}

// A smooth closed outline through the points (Catmull-Rom turned into cubic curves).
QPainterPath smoothClosed(const std::vector<QPointF>& p) {
    QPainterPath path;
    const size_t n = p.size();
    path.moveTo(p[0]);
    for (size_t i = 0; i < n; ++i) {
        const QPointF& p0 = p[(i + n - 1) % n];
        const QPointF& p1 = p[i];
        const QPointF& p2 = p[(i + 1) % n];
        const QPointF& p3 = p[(i + 2) % n];
        path.cubicTo(p1 + (p2 - p0) / 6.0, p2 - (p3 - p1) / 6.0, p2);
    }
    path.closeSubpath();
    return path;
}

QPainterPath roundedRect(double x0, double y0, double x1, double y1, double r) {
    QPainterPath path;
    path.addRoundedRect(QRectF(QPointF(x0, y0), QPointF(x1, y1)), r, r);
    return path;
}

// Finger boxes of the hand, little finger first (left to right in the base orientation).
struct Finger {
    double x0, x1, top;
};
constexpr Finger kFingers[] = {{57, 77, 62}, {79, 99, 38}, {101, 121, 28}, {123, 143, 42}};
constexpr double kFingerBottom = 112;

// The left hand, palm towards the viewer, fingers up: the thumb is on the right.
QPainterPath handShape() {
    QPainterPath shape = roundedRect(55, 95, 145, 186, 20);
    for (const Finger& f : kFingers)
        shape = shape.united(roundedRect(f.x0, f.top, f.x1, kFingerBottom, 10));
    const QPainterPath thumb =
        QTransform().translate(160, 128).rotate(30).map(roundedRect(-13, -42, 13, 42, 13));
    shape = shape.united(thumb);
    QPolygonF forearm({{63, 170}, {137, 170}, {142, 275}, {58, 275}});
    QPainterPath arm;
    arm.addPolygon(forearm);
    arm.closeSubpath();
    return shape.united(arm).simplified();
}

// The left foot from the inside: toes to the right, heel to the left, leg running up.
QPainterPath footSideShape() {
    return smoothClosed({{48, -25},  {102, -25}, {103, 60},  {104, 118}, {112, 138}, {130, 150},
                         {152, 163}, {172, 174}, {186, 184}, {192, 193}, {187, 203}, {170, 206},
                         {150, 207}, {128, 201}, {104, 198}, {80, 203},  {58, 208},  {42, 205},
                         {34, 193},  {33, 175},  {38, 150},  {44, 120},  {46, 60}});
}

// The left foot from the front and above, as the operator facing the patient sees it: ankle
// at the top, toes pointing down, big toe on the left.
QPainterPath footTopShape() {
    QPainterPath shape = smoothClosed(
        {{72, -25},  {128, -25}, {129, 40},  {131, 60},  {138, 72},  {141, 86}, {138, 98},
         {143, 125}, {148, 160}, {150, 190}, {146, 204}, {100, 206}, {54, 204}, {50, 190},
         {52, 160},  {56, 125},  {60, 98},   {58, 84},   {62, 70},   {69, 60},  {71, 40}});
    for (const QRectF& toe :
         {QRectF(51, 195, 30, 38), QRectF(80, 202, 20, 28), QRectF(99, 201, 18, 26),
          QRectF(116, 198, 16, 24), QRectF(131, 194, 16, 20)}) {
        QPainterPath t;
        t.addEllipse(toe);
        shape = shape.united(t);
    }
    return shape.simplified();
}

QPainterPath baseShape(View v) {
    switch (v) {
    case View::Palm:
    case View::HandBack:
        return handShape();
    case View::FootInner:
    case View::FootOuter:
        return footSideShape();
    case View::FootTop:
        return footTopShape();
    }
    return {};
}

// The measuring point in base coordinates (before the flip of mirrored views).
QPointF basePoint(bool hand, int number) {
    if (hand) {
        switch (number) {
        case 1:
            return {127, 184}; // LU9: radial (thumb) end of the wrist crease
        case 2:
            return {100, 184}; // PC7: middle of the wrist crease
        case 3:
            return {72, 184}; // HT7: ulnar end of the wrist crease
        case 4:
            return {66, 165}; // SI4: ulnar edge, at the base of the fifth metacarpal
        case 5:
            return {94, 184}; // TE4: back of the wrist, ulnar to the middle
        default:
            return {128, 182}; // LI5: radial side of the wrist, below the thumb
        }
    }
    switch (number) {
    case 1:
        return {146, 193}; // SP3: inner edge, behind the first metatarsal head
    case 2:
        return {79, 150}; // LR3: between the first and second metatarsals
    case 3:
        return {56, 168}; // KI4: below and behind the inner ankle bone
    case 4:
        return {150, 195}; // BL65: outer edge, behind the fifth metatarsal head
    case 5:
        return {88, 170}; // GB40: in front of and below the outer ankle bone
    default:
        return {100, 108}; // ST42: highest point of the instep
    }
}

struct Style {
    bool fill;     // skin colour inside the limb
    bool outline;  // black contour
    bool bones;    // dashed tendon and bone lines
    QColor detail; // creases, nails, knuckles
};

Style styleOf(GuideFamily family) {
    switch (family) {
    case GuideFamily::Picture:
        return {true, false, false, QColor(196, 146, 116)};
    case GuideFamily::Outline:
        return {false, true, true, QColor(40, 40, 40)};
    case GuideFamily::Combined:
        return {true, true, true, QColor(150, 100, 80)};
    }
    return {true, true, true, Qt::black};
}

void curve(QPainter& p, QPointF a, QPointF c, QPointF b) {
    QPainterPath path(a);
    path.quadTo(c, b);
    p.drawPath(path);
}

void drawHandDetails(QPainter& p, bool back, const Style& s) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(s.detail, 1.2));
    if (!back) {
        curve(p, {66, 181}, {100, 187}, {134, 181}); // wrist creases
        curve(p, {68, 190}, {100, 196}, {132, 190});
        curve(p, {128, 110}, {108, 142}, {120, 176}); // around the ball of the thumb
        curve(p, {58, 124}, {90, 112}, {118, 110});
        curve(p, {126, 118}, {92, 124}, {62, 146});
        for (const Finger& f : kFingers) {
            for (double t : {0.35, 0.65}) {
                const double y = f.top + (kFingerBottom - f.top) * t;
                p.drawLine(QPointF(f.x0 + 4, y), QPointF(f.x1 - 4, y));
            }
        }
    } else {
        curve(p, {66, 184}, {100, 189}, {134, 184}); // wrist crease
        for (const Finger& f : kFingers) {
            p.drawRoundedRect(QRectF(f.x0 + 4, f.top + 4, f.x1 - f.x0 - 8, 14), 5, 5);
            const double cx = (f.x0 + f.x1) / 2;
            curve(p, {cx - 7, kFingerBottom + 2}, {cx, kFingerBottom - 4},
                  {cx + 7, kFingerBottom + 2});
        }
        const QTransform thumb = QTransform().translate(160, 128).rotate(30);
        p.drawPolygon(thumb.map(QPolygonF(QRectF(-8, -38, 16, 14))));
        p.drawEllipse(QPointF(68, 178), 4, 4); // ulnar head
        if (s.bones) {
            p.setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
            for (const Finger& f : kFingers)
                p.drawLine(QPointF((f.x0 + f.x1) / 2, kFingerBottom + 4), QPointF(100, 178));
        }
    }
    if (!back && s.bones) {
        p.setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
        p.drawLine(QPointF(93, 198), QPointF(91, 262)); // the two flexor tendons
        p.drawLine(QPointF(107, 198), QPointF(109, 262));
    }
}

void drawFootSideDetails(QPainter& p, bool outer, const Style& s) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(s.detail, 1.2));
    p.drawEllipse(outer ? QPointF(70, 156) : QPointF(72, 150), 11, 10); // ankle bone
    p.drawEllipse(outer ? QPointF(158, 194) : QPointF(160, 190), 7, 7); // metatarsal head
    p.drawRoundedRect(QRectF(180, 184, 9, 7), 3, 3);                    // toenail
    if (outer)
        p.drawEllipse(QPointF(112, 197), 4, 4); // base of the fifth metatarsal
    if (s.bones) {
        p.setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
        curve(p, {44, 199}, {110, 190}, {182, 199});   // edge of the sole
        p.drawLine(QPointF(45, 40), QPointF(47, 172)); // heel tendon
    }
}

void drawFootTopDetails(QPainter& p, const Style& s) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(s.detail, 1.2));
    curve(p, {64, 80}, {100, 88}, {138, 92}); // front of the ankle
    for (const QRectF& nail :
         {QRectF(59, 216, 14, 11), QRectF(85, 219, 10, 7), QRectF(103, 217, 9, 7),
          QRectF(120, 213, 8, 6), QRectF(135, 206, 8, 6)})
        p.drawRoundedRect(nail, 3, 3);
    if (s.bones) {
        p.setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
        const QPointF bases[] = {{76, 92}, {92, 95}, {104, 96}, {116, 98}, {128, 100}};
        const QPointF heads[] = {{66, 194}, {90, 200}, {108, 198}, {124, 194}, {139, 190}};
        for (int i = 0; i < 5; ++i)
            p.drawLine(bases[i], heads[i]);
    }
}

void drawMarker(QPainter& p, QPointF c) {
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(Qt::NoBrush);
    for (const QPointF d : {QPointF(1, 0), QPointF(-1, 0), QPointF(0, 1), QPointF(0, -1)})
        p.drawLine(c + d * 11, c + d * 16);
    p.setPen(QPen(QColor(110, 0, 0), 2));
    p.drawEllipse(c, kGuideMarkerRadius + 2, kGuideMarkerRadius + 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor::fromRgb(kGuideMarkerRgb));
    p.drawEllipse(c, kGuideMarkerRadius, kGuideMarkerRadius);
}

} // namespace

GuideLayout guideLayout(bool left, bool hand, int number) {
    const View v = viewOf(hand, number);
    GuideLayout layout{baseShape(v), basePoint(hand, number)};
    const bool flipped = isMirroredView(v) != !left; // the right side mirrors the left
    if (flipped) {
        layout.limb = flip().map(layout.limb);
        layout.point = flip().map(layout.point);
    }
    return layout;
}

QImage drawPointGuide(const GuideId& id) {
    const View v = viewOf(id.hand, id.number);
    const Style s = styleOf(id.family);
    QImage image(kGuideWidth, kGuideHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        if (isMirroredView(v))
            p.setTransform(flip());
        const QPainterPath shape = baseShape(v);
        if (s.fill) {
            QLinearGradient skin(0, 0, 0, kGuideHeight);
            skin.setColorAt(0, QColor(252, 228, 206));
            skin.setColorAt(1, QColor(236, 198, 172));
            p.setPen(QPen(QColor(206, 160, 130), 1.5));
            p.setBrush(skin);
        } else {
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
        }
        p.drawPath(shape);
        switch (v) {
        case View::Palm:
        case View::HandBack:
            drawHandDetails(p, v == View::HandBack, s);
            break;
        case View::FootInner:
        case View::FootOuter:
            drawFootSideDetails(p, v == View::FootOuter, s);
            break;
        case View::FootTop:
            drawFootTopDetails(p, s);
            break;
        }
        if (s.outline) {
            p.setPen(QPen(Qt::black, 2));
            p.setBrush(Qt::NoBrush);
            p.drawPath(shape);
        }
        p.setTransform(QTransform());
        drawMarker(p, guideLayout(true, id.hand, id.number).point);
    }
    return id.left ? image : image.mirrored(true, false);
}

} // namespace viro
