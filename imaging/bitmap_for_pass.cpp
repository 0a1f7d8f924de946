#include "bitmap_for_pass.h"

#include <utility>

namespace mGdip {

void BitmapForPass::adopt(QImage memory)
{
    surface_ = Surface(std::move(memory));
    canvas_ = passes::PaintCanvas(surface_.pixels());
}

Surface BitmapForPass::painted() &&
{
    if (!canvas_.painted() && !surface_.isNull()) surface_.target()->fill(0);
    canvas_ = passes::PaintCanvas();
    return std::exchange(surface_, Surface());
}

} // namespace mGdip
