#pragma once

#include <QPainterPath>
#include <QPointF>

namespace viro {

// A standing figure, arms slightly away from the body with the palms forward, in a box of
// 100 x 200 units (head at the top, x = 50 the midline). The same outline serves the front
// and the back view.
QPainterPath bodyFigureOutline();

// The mirror image of a point across the midline.
inline QPointF acrossMidline(QPointF p) {
    return {100 - p.x(), p.y()};
}

} // namespace viro
