#pragma once
// Which pixel a pointer position designates: positions are in pixels of a
// picture box's inner area, and a pixel position is the position rounded to
// the nearest integer, halves to the even neighbour.

#include <QPoint>
#include <QPointF>
#include <QSize>

#include <cmath>

namespace app {

inline QPoint NearestPixel(QPointF position)
{
    return QPoint(static_cast<int>(std::nearbyint(position.x())), static_cast<int>(std::nearbyint(position.y())));
}

// Whether the position designates a pixel of an inner area of this size; the
// box's frame around it is not part of the picture.
inline bool DesignatesInnerPixel(QPointF position, QSize inner)
{
    const QPoint pixel = NearestPixel(position);
    return pixel.x() >= 0 && pixel.y() >= 0 && pixel.x() < inner.width() && pixel.y() < inner.height();
}

} // namespace app
