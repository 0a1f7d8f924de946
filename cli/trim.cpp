#include "trim.h"

#include "passes/visible_bounds.h"

#include <QRect>

namespace cli {

TrimmedImage TrimToVisible(const mGdip::Image& image)
{
    TrimmedImage trimmed;
    passes::PixelRect keep = passes::VisibleBounds(image.pixels());
    if (keep.empty()) {
        // An empty PNG cannot be written; one transparent pixel can.
        keep = {0, 0, 1, 1};
        trimmed.note =
            QStringLiteral("--trim: every pixel of the result is fully transparent; kept the top-left pixel (1 × 1)");
    }
    if (keep == passes::PixelRect{0, 0, image.width(), image.height()})
        trimmed.image = image;
    else
        trimmed.image = mGdip::Image(image.qimage().copy(QRect(keep.x, keep.y, keep.width, keep.height)));
    return trimmed;
}

} // namespace cli
