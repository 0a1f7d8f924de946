#include "visible_bounds.h"

namespace passes {
namespace {

bool Visible(std::uint32_t pixel) noexcept { return (pixel >> 24) != 0; }

bool RowVisible(const std::uint32_t* row, std::int32_t width) noexcept
{
    for (std::int32_t x = 0; x < width; ++x)
        if (Visible(row[x])) return true;
    return false;
}

} // namespace

PixelRect VisibleBounds(const ConstPixelView& pixels) noexcept
{
    const std::int32_t width = pixels.width, height = pixels.height;
    std::int32_t top = 0, bottom = height;
    while (top < height && !RowVisible(pixels.row(top), width)) ++top;
    if (top == height) return {};
    while (!RowVisible(pixels.row(bottom - 1), width)) --bottom;

    // Each row only needs looking at outside the columns already known.
    std::int32_t left = width, right = 0;
    for (std::int32_t y = top; y < bottom; ++y) {
        const std::uint32_t* row = pixels.row(y);
        for (std::int32_t x = 0; x < left; ++x)
            if (Visible(row[x])) {
                left = x;
                break;
            }
        for (std::int32_t x = width; x > right; --x)
            if (Visible(row[x - 1])) {
                right = x;
                break;
            }
    }
    return {left, top, right - left, bottom - top};
}

} // namespace passes
