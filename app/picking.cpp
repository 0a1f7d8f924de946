// Picking the key color and the replacement color: from a click on the
// source picture, or from the color dialog.
#include "pixel_position.h"
#include "window_model.h"

namespace app {

void WindowModel::PickAt(QPointF position)
{
    // The pixel shown under the pointer: the view may be panned.
    const QPoint pixel = NearestPixel(position) + state_.ViewOffset;
    // Outside the image (or before any drop) the read fails and the last
    // picked pixel is used again.
    mGdip::ReadPixel(state_.SourceImage, pixel.x(), pixel.y(), state_.LastPickedPixel);
    passes::Channel a, r, g, b;
    passes::SplitArgb(state_.LastPickedPixel, a, r, g, b);

    if (state_.PickReplacementFromImage) {
        state_.PickReplacementFromImage = false;
        state_.TargetAlpha = a;
        state_.ReplacementColor = {r, g, b};
    } else {
        state_.KeyColor = {a, r, g, b};
        state_.TargetAlpha = a;
        view_.ShowKeyColor(state_.KeyColor);
    }
    view_.ShowReplacementColor(state_.TargetAlpha, state_.ReplacementColor);
}

void WindowModel::PickReplacementNext() { state_.PickReplacementFromImage = true; }

void WindowModel::ReplacementChosen(RgbChannels color)
{
    // The target alpha stays: the dialog has no alpha.
    state_.ReplacementColor = color;
    view_.ShowReplacementColor(state_.TargetAlpha, state_.ReplacementColor);
}

} // namespace app
