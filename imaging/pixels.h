#pragma once
// The wrapper's bitmaps, surfaces and pixels: the work bitmap the passes
// paint, single-pixel reads and paints, and whole-image drawing.

#include "bitmap_for_pass.h"
#include "image.h"

#include "passes/color_model.h"

#include <cstdint>

namespace mGdip {

// The work bitmap's pixel format: 32 bits per pixel, non-premultiplied ARGB.
inline constexpr std::int32_t kPixelFormat32bppARGB = 2498570; // 0x26200A

// A zero-filled (fully transparent black) bitmap to draw on. Fails with
// InvalidParameter for a non-positive size or another pixel format, and with
// OutOfMemory when the pixels cannot be allocated; `bitmap` is then unchanged.
ImagingStatus CreateWorkBitmap(std::int32_t width, std::int32_t height, std::int32_t pixelFormat, Surface& bitmap);

// As CreateWorkBitmap, for a pass to paint: memory of a released bitmap of
// the same size is reused without clearing (see BitmapForPass).
ImagingStatus CreateWorkBitmapForPass(
    std::int32_t width, std::int32_t height, std::int32_t pixelFormat, BitmapForPass& bitmap);

// Touches the memory of a coming work bitmap now (when an image is loaded),
// so the first pass does not pay for fresh memory.
void PrepareWorkBitmap(std::int32_t width, std::int32_t height);

// A surface over a picture box's backing image.
Surface BindSurface(QImage backing);

// Fails (output untouched) outside the image or for a null image.
ImagingStatus ReadPixel(const Image& image, std::int32_t x, std::int32_t y, passes::Argb& out);

// Paints one pixel with source-over compositing: alpha 0 changes nothing, a
// pixel that was fully transparent takes `color` exactly.
ImagingStatus PaintPixel(const Surface& surface, std::int32_t x, std::int32_t y, passes::Argb color);

// Draws image's (0, 0, width, height) at the surface's top-left, unscaled,
// source-over, clipped to both.
ImagingStatus DrawImageOneToOne(const Surface& surface, const Image& image, std::int32_t width, std::int32_t height);

// Draws image's (left, top, width, height) at the surface's top-left, as
// DrawImageOneToOne; fails for a negative left or top.
ImagingStatus DrawImagePartOneToOne(const Surface& surface, const Image& image, std::int32_t left, std::int32_t top,
    std::int32_t width, std::int32_t height);

// Fills the whole surface with `color` (replacing, not blending).
ImagingStatus ClearSurface(const Surface& surface, passes::Argb color);

} // namespace mGdip
