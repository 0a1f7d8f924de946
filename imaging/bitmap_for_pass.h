#pragma once
// A work bitmap for a pass to paint. Its memory may still hold the pixels of
// a released bitmap, so it offers that memory only as a canvas, which the
// pass driver alone writes, and becomes a surface only once it is painted.

#include "image.h"

#include "passes/pass_images.h"

#include <cstdint>

namespace mGdip {

class BitmapForPass {
public:
    BitmapForPass() = default;
    BitmapForPass(const BitmapForPass&) = delete;
    BitmapForPass& operator=(const BitmapForPass&) = delete;

    bool isNull() const noexcept { return surface_.isNull(); }
    std::int32_t width() const noexcept { return surface_.width(); }
    std::int32_t height() const noexcept { return surface_.height(); }

    // For passes::PassImages::work.
    passes::PaintCanvas& canvas() noexcept { return canvas_; }

    // The bitmap as a surface, leaving this one null. If no pass painted it,
    // it is cleared first: its old pixels never show.
    Surface painted() &&;

private:
    friend ImagingStatus CreateWorkBitmapForPass(
        std::int32_t width, std::int32_t height, std::int32_t pixelFormat, BitmapForPass& bitmap);
    void adopt(QImage memory);

    Surface surface_;
    passes::PaintCanvas canvas_;
};

} // namespace mGdip
