// Panning: one offset for both pictures, moved by the wheel, a middle-button
// drag or the keys, and the two pictures drawn from it.
#include "panning.h"
#include "window_model.h"

#include <algorithm>

namespace app {
namespace {

int Clamped(int wanted, int image, int box) { return std::clamp(wanted, 0, std::max(0, image - box)); }

} // namespace

QPoint ClampedViewOffset(QPoint wanted, QSize image, QSize box)
{
    return {Clamped(wanted.x(), image.width(), box.width()), Clamped(wanted.y(), image.height(), box.height())};
}

QPoint WheelPixels::take(QPoint angleDelta)
{
    constexpr int kNotch = 120;
    carried_ += angleDelta * kPanWheelNotch;
    const QPoint pixels(carried_.x() / kNotch, carried_.y() / kNotch);
    carried_ -= pixels * kNotch;
    return pixels;
}

void WindowModel::PanBy(QPoint delta)
{
    if (state_.ExitRequested) return;
    const QSize box(state_.SourceSurface.width(), state_.SourceSurface.height());
    const QPoint offset =
        ClampedViewOffset(state_.ViewOffset + delta, QSize(state_.ImageWidth, state_.ImageHeight), box);
    if (offset == state_.ViewOffset) return;
    state_.ViewOffset = offset;
    DrawSource();
    DrawResult();
}

void WindowModel::PanByWheel(QPoint angleDelta, QPoint pixelDelta, Qt::KeyboardModifiers modifiers)
{
    // A touchpad says how far the content went; a wheel, how far it turned.
    QPoint moved = pixelDelta.isNull() ? wheelPixels_.take(angleDelta) : pixelDelta;
    // Shift turns a vertical wheel sideways.
    if (modifiers & Qt::ShiftModifier) moved = QPoint(moved.x() + moved.y(), 0);
    // Turning the wheel away from the user shows what is above.
    PanBy(-moved);
}

bool WindowModel::PanByKey(int key, Qt::KeyboardModifiers modifiers)
{
    if ((modifiers & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
    switch (key) {
    case Qt::Key_Left: PanBy({-kPanKeyStep, 0}); return true;
    case Qt::Key_Right: PanBy({kPanKeyStep, 0}); return true;
    case Qt::Key_Up: PanBy({0, -kPanKeyStep}); return true;
    case Qt::Key_Down: PanBy({0, kPanKeyStep}); return true;
    case Qt::Key_Home: PanBy(-state_.ViewOffset); return true;
    default: return false;
    }
}

void WindowModel::DrawSource()
{
    // Black shows through the image's transparent pixels and beyond its edges.
    mGdip::ClearSurface(state_.SourceSurface, passes::MakeArgb(255, 0, 0, 0));
    mGdip::DrawImagePartOneToOne(state_.SourceSurface, state_.SourceImage, state_.ViewOffset.x(), state_.ViewOffset.y(),
        state_.ImageWidth, state_.ImageHeight);
    view_.ShowSource();
}

void WindowModel::DrawResult()
{
    passes::Channel r, g, b;
    passes::SplitOleColor(resultBackColor_, r, g, b);
    mGdip::ClearSurface(state_.ResultSurface, passes::MakeArgb(255, r, g, b));
    // The result keeps the size of the image it was computed from.
    if (state_.ResultDrawn) {
        const mGdip::Image result = state_.WorkBitmap.snapshot();
        mGdip::DrawImagePartOneToOne(state_.ResultSurface, result, state_.ViewOffset.x(), state_.ViewOffset.y(),
            result.width(), result.height());
    }
    view_.ShowResult();
}

} // namespace app
