#pragma once
// Panning the two pictures over an image larger than they are: how far the
// view may go, and how far a key or the wheel moves it.

#include <QPoint>
#include <QSize>

namespace app {

// An arrow key moves the view this many pixels, a wheel notch three times as far.
inline constexpr int kPanKeyStep = 32;
inline constexpr int kPanWheelNotch = 3 * kPanKeyStep;

// The offset nearest `wanted` that keeps the view within the image; along an
// axis on which the image fits the box it is 0.
QPoint ClampedViewOffset(QPoint wanted, QSize image, QSize box);

// Wheel angles (eighths of a degree, 120 to a notch) as whole pixels. What a
// fine-grained wheel turns short of a pixel is carried to its next turn, so
// many small turns go as far as one large one.
class WheelPixels {
public:
    QPoint take(QPoint angleDelta);

private:
    QPoint carried_; // in pixels × 120
};

} // namespace app
