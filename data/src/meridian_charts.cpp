#include "data/src/pictures.h"

#include "analysis/meridian_model.h"
#include "data/src/body_figure.h"

#include <QFont>
#include <QPainter>
#include <QPolygonF>
#include <QTransform>

#include <cmath>
#include <vector>

namespace viro {

QColor meridianCourseColour(int meridianNumber) {
    const QString element = meridian(meridianNumber).element;
    if (element == QLatin1String("Wood"))
        return {20, 140, 60};
    if (element.endsWith(QLatin1String("Fire")))
        return {210, 30, 30};
    if (element == QLatin1String("Earth"))
        return {190, 125, 0};
    if (element == QLatin1String("Metal"))
        return {110, 70, 160};
    return {20, 70, 190};
}

namespace {

// A course on one side of the figure (the image's left half), in the figure's 100 x 200 units,
// in the direction of flow. It is drawn on both sides.
struct Course {
    bool back = false; // drawn on the back view
    std::vector<QPointF> line;
    QPointF source;              // the measuring point, on the line
    std::vector<QPointF> branch; // a second line, where the meridian has one
};

Course courseOf(int meridianNumber) {
    switch (meridianNumber) {
    case 1: // Lung: chest to thumb
        return {
            false,
            {{37, 37}, {30, 40}, {26, 52}, {19.5, 70}, {15, 88}, {12.5, 99}, {10, 108}, {9, 114}},
            {12.5, 99},
            {}};
    case 2: // Pericardium: chest to middle finger
        return {
            false,
            {{41, 46}, {32, 47}, {27, 58}, {20, 70}, {16, 86}, {14.5, 100}, {13, 110}, {12, 117}},
            {14.5, 100},
            {}};
    case 3: // Heart: armpit to little finger
        return {false,
                {{31, 47}, {28, 58}, {22.5, 70}, {19, 86}, {17, 99}, {16.5, 108}, {16, 113}},
                {17, 99},
                {}};
    case 4: // Small Intestine: little finger over the shoulder blade to the ear
        return {true,
                {{16.5, 114},
                 {17.5, 103},
                 {20, 88},
                 {22.5, 71},
                 {28, 55},
                 {33, 44},
                 {38, 40},
                 {35, 35},
                 {41, 31},
                 {45, 26},
                 {42, 18}},
                {17.5, 103},
                {}};
    case 5: // Triple Energizer: ring finger up the back of the arm, round the ear
        return {true,
                {{13, 117},
                 {13.5, 108},
                 {14.5, 100},
                 {17, 86},
                 {20, 71},
                 {24, 55},
                 {27, 38},
                 {36, 33},
                 {43, 27},
                 {42, 20},
                 {41.5, 14},
                 {43, 8}},
                {14.5, 100},
                {}};
    case 6: // Large Intestine: index finger up the arm to beside the nose
        return {false,
                {{10.5, 116},
                 {11, 108},
                 {11.5, 99},
                 {14, 86},
                 {17, 70},
                 {22, 52},
                 {26, 37},
                 {36, 31},
                 {44, 26},
                 {46.5, 19},
                 {47.5, 15}},
                {11.5, 99},
                {}};
    case 7: // Spleen: big toe up the inner leg to the side of the chest
        return {false,
                {{45.5, 197},
                 {45.5, 193},
                 {45, 186},
                 {45.5, 165},
                 {46, 147},
                 {46.5, 125},
                 {44, 103},
                 {39, 82},
                 {36, 62},
                 {34, 50}},
                {45.5, 193},
                {}};
    case 8: // Liver: big toe up the inner leg to the ribs
        return {false,
                {{44.5, 198},
                 {43.5, 194},
                 {45, 186},
                 {45.5, 165},
                 {46.5, 146},
                 {47, 124},
                 {46, 104},
                 {40, 84},
                 {37, 70},
                 {40, 57}},
                {43.5, 194},
                {}};
    case 9: // Kidney: sole up the inner leg and close to the midline to the collarbone
        return {false,
                {{44, 197},
                 {45.5, 190},
                 {46, 170},
                 {46.5, 147},
                 {47.5, 125},
                 {49, 106},
                 {48, 82},
                 {47, 60},
                 {45, 42},
                 {45, 34}},
                {45.5, 190},
                {}};
    case 10: // Bladder: head down the back in two lines to the little toe
        return {true,
                {{47.5, 6},
                 {46.5, 20},
                 {46, 28},
                 {46, 60},
                 {46, 98},
                 {43, 110},
                 {42, 125},
                 {41.5, 145},
                 {41, 165},
                 {39, 186},
                 {36.5, 194},
                 {35, 197}},
                {36.5, 194},
                {{46, 30}, {41.5, 33}, {41.5, 98}, {40.5, 112}, {41.5, 145}}};
    case 11: // Gallbladder: eye over the side of the head and body to the fourth toe
        return {false,
                {{43, 11},
                 {40.5, 9},
                 {40.5, 15},
                 {41.5, 19},
                 {44, 25},
                 {34, 32},
                 {33.5, 45},
                 {34.5, 60},
                 {35, 80},
                 {32.5, 100},
                 {33, 122},
                 {36, 145},
                 {36.5, 165},
                 {38.5, 187},
                 {37, 196}},
                {38.5, 187},
                {}};
    default: // Stomach: below the eye down the front of the body to the second toe
        return {false,
                {{46, 11},
                 {47, 18},
                 {44, 21},
                 {45, 28},
                 {40, 33},
                 {40, 45},
                 {44, 62},
                 {44, 82},
                 {42, 99},
                 {38.5, 118},
                 {39, 140},
                 {39.5, 150},
                 {40, 170},
                 {42, 186},
                 {42.5, 192},
                 {43, 197}},
                {42.5, 192},
                {}};
    }
}

constexpr double kScale = 2.05;
constexpr double kTop = 52;
const QPointF kFrontOrigin(22, kTop);
const QPointF kBackOrigin(252, kTop);

QTransform figureTransform(bool back) {
    const QPointF o = back ? kBackOrigin : kFrontOrigin;
    QTransform t;
    t.translate(o.x(), o.y());
    t.scale(kScale, kScale);
    return t;
}

void drawFigure(QPainter& p, bool back) {
    const QTransform t = figureTransform(back);
    p.setPen(QPen(QColor(120, 120, 120), 1.5));
    p.setBrush(QColor(246, 240, 232));
    p.drawPath(t.map(bodyFigureOutline()));
    p.setPen(QPen(QColor(170, 170, 170), 1));
    p.setBrush(Qt::NoBrush);
    if (back) {
        p.setPen(QPen(QColor(170, 170, 170), 1, Qt::DashLine));
        p.drawLine(t.map(QPointF(50, 25)), t.map(QPointF(50, 104))); // spine
    } else {
        p.drawEllipse(t.map(QPointF(46.5, 11)), 2, 1.5); // eyes, nose, navel
        p.drawEllipse(t.map(QPointF(53.5, 11)), 2, 1.5);
        p.drawLine(t.map(QPointF(50, 12.5)), t.map(QPointF(50, 16)));
        p.drawEllipse(t.map(QPointF(50, 82)), 1.5, 1.5);
    }
}

QPolygonF mapped(const QTransform& t, const std::vector<QPointF>& points, bool mirror) {
    QPolygonF out;
    for (const QPointF& q : points)
        out << t.map(mirror ? acrossMidline(q) : q);
    return out;
}

// A small filled arrowhead in the middle of the segment a-b, pointing towards b.
void drawArrow(QPainter& p, QPointF a, QPointF b, const QColor& colour) {
    const QPointF d = b - a;
    const double len = std::hypot(d.x(), d.y());
    if (len < 1e-6)
        return;
    const QPointF u = d / len;
    const QPointF n(-u.y(), u.x());
    const QPointF tip = (a + b) / 2 + u * 4;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(QPolygonF({tip, tip - u * 8 + n * 4, tip - u * 8 - n * 4}));
}

void drawCourse(QPainter& p, const Course& c, const QColor& colour) {
    const QTransform t = figureTransform(c.back);
    for (bool mirror : {false, true}) {
        for (const std::vector<QPointF>* line : {&c.line, &c.branch}) {
            if (line->empty())
                continue;
            const QPolygonF poly = mapped(t, *line, mirror);
            p.setPen(QPen(colour, 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPolyline(poly);
            for (int i = 1; i < poly.size(); i += 3)
                drawArrow(p, poly[i - 1], poly[i], colour);
        }
        const QPolygonF ends = mapped(t, {c.line.front(), c.line.back()}, mirror);
        p.setPen(QPen(colour, 1.5));
        p.setBrush(Qt::white);
        p.drawEllipse(ends[0], 3.5, 3.5);
        p.setBrush(colour);
        p.drawEllipse(ends[1], 3.5, 3.5);
        const QPointF s = t.map(mirror ? acrossMidline(c.source) : c.source);
        p.setPen(QPen(Qt::black, 1.5));
        p.setBrush(QColor(255, 215, 0));
        p.drawEllipse(s, 6, 6);
    }
}

} // namespace

QImage drawMeridianChart(int meridianNumber) {
    const MeridianInfo& info = meridian(meridianNumber);
    const QColor colour = meridianCourseColour(meridianNumber);
    QImage image(kChartWidth, kChartHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(17);
    title.setBold(true);
    p.setFont(title);
    p.setPen(colour.darker(130));
    p.drawText(QRectF(0, 8, kChartWidth, 24), Qt::AlignCenter, info.label);
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(12);
    p.setFont(small);
    p.setPen(QColor(60, 60, 60));
    p.drawText(QRectF(0, 30, kChartWidth, 18), Qt::AlignCenter,
               info.channel + QStringLiteral(" - ") + info.element + QStringLiteral(" - ") +
                   info.clockHours);

    drawFigure(p, false);
    drawFigure(p, true);
    const Course course = courseOf(meridianNumber);
    drawCourse(p, course, colour);

    const double captionY = kTop + 200 * kScale + 4;
    p.setPen(QColor(60, 60, 60));
    p.drawText(QRectF(kFrontOrigin.x(), captionY, 100 * kScale, 16), Qt::AlignCenter,
               QStringLiteral("Front"));
    p.drawText(QRectF(kBackOrigin.x(), captionY, 100 * kScale, 16), Qt::AlignCenter,
               QStringLiteral("Back"));

    // Legend: start, end and the measuring point.
    const double y = kChartHeight - 42;
    p.setPen(QPen(colour, 1.5));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(30, y), 3.5, 3.5);
    p.setBrush(colour);
    p.drawEllipse(QPointF(130, y), 3.5, 3.5);
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(QColor(255, 215, 0));
    p.drawEllipse(QPointF(30, y + 20), 6, 6);
    p.setPen(QColor(40, 40, 40));
    p.drawText(QPointF(40, y + 4), QStringLiteral("start"));
    p.drawText(QPointF(140, y + 4), QStringLiteral("end (arrows: direction of flow)"));
    p.drawText(QPointF(42, y + 24),
               QStringLiteral("Measuring point: ") + info.sourcePoint.simplified());
    return image;
}

} // namespace viro
