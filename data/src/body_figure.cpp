#include "data/src/body_figure.h"

#include <QPolygonF>

#include <vector>

namespace viro {

QPainterPath bodyFigureOutline() {
    // The half on the image's left, from the neck round the arm and down the leg.
    const std::vector<QPointF> half{
        {45, 23},  {44, 30},  {30, 33},  {25, 36},  {20, 52},  {16, 70},  {11, 98},
        {8, 110},  {11, 119}, {16, 113}, {18, 100}, {23, 72},  {31, 48},  {33, 62},
        {34, 80},  {31, 100}, {32, 125}, {35, 145}, {35, 165}, {38, 188}, {34, 197},
        {44, 199}, {46, 192}, {46, 186}, {46, 160}, {47, 145}, {48, 115}, {50, 108}};
    QPolygonF polygon;
    for (const QPointF& p : half)
        polygon << p;
    for (auto it = half.rbegin() + 1; it != half.rend(); ++it)
        polygon << acrossMidline(*it);
    QPainterPath body;
    body.addPolygon(polygon);
    body.closeSubpath();
    QPainterPath head;
    head.addEllipse(QPointF(50, 13), 9, 11);
    return body.united(head).simplified();
}

} // namespace viro
