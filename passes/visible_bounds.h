#pragma once
// The smallest rectangle holding every pixel with alpha above 0: what a trim
// keeps.

#include "pixel_view.h"

#include <cstdint>

namespace passes {

struct PixelRect {
    std::int32_t x = 0, y = 0, width = 0, height = 0;
    bool empty() const noexcept { return width <= 0 || height <= 0; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Empty when no pixel has alpha above 0.
PixelRect VisibleBounds(const ConstPixelView& pixels) noexcept;

} // namespace passes
