#include "data/src/pictures.h"

#include "data/src/body_figure.h"

#include <QPainter>
#include <QRadialGradient>
#include <QTransform>

#include <cmath>
#include <numbers>

namespace viro {

QString backgroundFileName(int index) {
    static const char* names[] = {"zebkma.msi", "zebkmb.msi", "zebkmc.msi", "zebkmg.msi"};
    return QString::fromLatin1(names[index]);
}

namespace {

// Every tint stays close to white so bars, lines and labels drawn over it stay readable.
const QColor kFaintLine(222, 226, 236);

// The meridian time cycle: a faint 24-hour dial, day above and night below.
void drawDial(QPainter& p, int w, int h) {
    const QPointF c(w / 2.0, h / 2.0);
    const double r = h * 0.45;
    for (int i = 0; i < 12; ++i) {
        // Twelve two-hour segments; the upper half is the day.
        const double start = 90 - 30.0 * (i + 1);
        const bool day = i < 3 || i >= 9;
        p.setPen(Qt::NoPen);
        p.setBrush(day ? QColor(251, 248, 238) : QColor(240, 243, 250));
        if (i % 2 == 1)
            p.setBrush(day ? QColor(249, 245, 232) : QColor(236, 240, 249));
        p.drawPie(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), int(start * 16), 30 * 16);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kFaintLine, 2));
    p.drawEllipse(c, r, r);
    p.drawEllipse(c, r * 0.35, r * 0.35);
    for (int i = 0; i < 24; ++i) {
        const double a = i * 15 * std::numbers::pi / 180;
        const double inner = i % 2 == 0 ? 0.8 : 0.88;
        p.drawLine(c + QPointF(std::sin(a), -std::cos(a)) * r * inner,
                   c + QPointF(std::sin(a), -std::cos(a)) * r);
    }
}

void drawFigure(QPainter& p, int w, int h, const QColor& fill) {
    const double scale = h * 0.92 / 200;
    QTransform t;
    t.translate(w / 2.0 - 50 * scale, h * 0.04);
    t.scale(scale, scale);
    p.setPen(QPen(kFaintLine, 1.5));
    p.setBrush(fill);
    p.drawPath(t.map(bodyFigureOutline()));
}

// Qi and blood, left against right: a faint figure with the two halves tinted apart.
void drawSides(QPainter& p, int w, int h) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(252, 246, 244));
    p.drawRoundedRect(QRectF(w * 0.06, h * 0.04, w * 0.42, h * 0.92), 24, 24);
    p.setBrush(QColor(244, 247, 252));
    p.drawRoundedRect(QRectF(w * 0.52, h * 0.04, w * 0.42, h * 0.92), 24, 24);
    drawFigure(p, w, h, QColor(246, 247, 250));
}

// Yin and Yang: a large, faint taiji.
void drawTaiji(QPainter& p, int w, int h) {
    const QPointF c(w / 2.0, h / 2.0);
    const double r = h * 0.45;
    const QColor yin(236, 239, 246);
    const QColor yang(252, 250, 244);
    QPainterPath circle;
    circle.addEllipse(c, r, r);
    QPainterPath dark;
    dark.moveTo(c + QPointF(0, -r));
    dark.arcTo(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 90, 180);
    dark.arcTo(QRectF(c.x() - r / 2, c.y(), r, r), 270, -180);
    dark.arcTo(QRectF(c.x() - r / 2, c.y() - r, r, r), 270, 180);
    dark.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(yang);
    p.drawPath(circle);
    p.setBrush(yin);
    p.drawPath(dark);
    // Each half carries a dot of the other.
    p.drawEllipse(c + QPointF(0, r / 2), r / 8, r / 8);
    p.setBrush(yang);
    p.drawEllipse(c + QPointF(0, -r / 2), r / 8, r / 8);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kFaintLine, 2));
    p.drawEllipse(c, r, r);
}

// Body energy balance: a faint figure seen from behind (its left on the left, like the chart's
// Left/Right axis) inside soft rings.
void drawBalance(QPainter& p, int w, int h) {
    const QPointF c(w / 2.0, h / 2.0);
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 4; ++i) {
        p.setPen(QPen(QColor(236, 240, 246), 2));
        p.drawEllipse(c, w * 0.11 * i, h * 0.11 * i);
    }
    drawFigure(p, w, h, QColor(244, 246, 250));
}

} // namespace

QImage drawBackground(int index) {
    // Sizes leave room for the axes and labels the charts place around the picture.
    const QSize size = index == 3 ? QSize(700, 420) : QSize(800, 400);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    switch (index) {
    case 0:
        drawDial(p, size.width(), size.height());
        break;
    case 1:
        drawSides(p, size.width(), size.height());
        break;
    case 2:
        drawTaiji(p, size.width(), size.height());
        break;
    default:
        drawBalance(p, size.width(), size.height());
        break;
    }
    return image;
}

} // namespace viro
