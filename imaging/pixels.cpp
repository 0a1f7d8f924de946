// The work bitmap, surfaces, and single-pixel and whole-image drawing.
#include "pixels.h"

#include "imaging/common/bitmap_memory.h"
#include "imaging/common/limits.h"

#include <QPainter>

#include <algorithm>

namespace mGdip {
namespace {

bool InBounds(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) noexcept
{
    return x >= 0 && y >= 0 && x < width && y < height;
}

// One channel of straight-alpha source-over:
// (sc*sa + dc*da*(1 - sa)) / outA, with the exact (unrounded) output alpha
// `outA255` = outA * 255 as the divisor, so the result never exceeds 255.
std::uint32_t Blend(
    std::uint32_t s, std::uint32_t d, std::uint32_t sa, std::uint32_t da, std::uint32_t outA255, int shift) noexcept
{
    const std::uint32_t sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
    const std::uint32_t num = sc * sa * 255 + dc * da * (255 - sa);
    return (num + outA255 / 2) / outA255;
}

// Source-over of straight-alpha colors; a fully transparent destination takes
// the source exactly, an opaque source replaces, a transparent one changes nothing.
std::uint32_t SourceOver(std::uint32_t src, std::uint32_t dst) noexcept
{
    const std::uint32_t sa = src >> 24, da = dst >> 24;
    if (sa == 0) return dst;
    if (sa == 255 || da == 0) return src;
    const std::uint32_t outA255 = sa * 255 + da * (255 - sa);
    const std::uint32_t outA = (outA255 + 127) / 255;
    return outA << 24 | Blend(src, dst, sa, da, outA255, 16) << 16 | Blend(src, dst, sa, da, outA255, 8) << 8
        | Blend(src, dst, sa, da, outA255, 0);
}

} // namespace

std::int32_t ImageWidthOf(const Image& image) noexcept { return image.isNull() ? 0 : image.width(); }
std::int32_t ImageHeightOf(const Image& image) noexcept { return image.isNull() ? 0 : image.height(); }

namespace {

// A null image with the status of the failure, or the bitmap's memory.
ImagingStatus AllocateWorkBitmap(
    std::int32_t width, std::int32_t height, std::int32_t pixelFormat, imaging::Contents contents, QImage& image)
{
    if (width <= 0 || height <= 0 || pixelFormat != kPixelFormat32bppARGB) return ImagingStatus::InvalidParameter;
    if (std::int64_t{width} * height > imaging::kMaxImagePixels) return ImagingStatus::OutOfMemory;
    image = imaging::AllocateBitmap(width, height, contents);
    return image.isNull() ? ImagingStatus::OutOfMemory : ImagingStatus::Ok;
}

} // namespace

ImagingStatus CreateWorkBitmap(std::int32_t width, std::int32_t height, std::int32_t pixelFormat, Surface& bitmap)
{
    QImage image;
    const ImagingStatus status = AllocateWorkBitmap(width, height, pixelFormat, imaging::Contents::Zeroed, image);
    if (status == ImagingStatus::Ok) bitmap = Surface(std::move(image));
    return status;
}

ImagingStatus CreateWorkBitmapForPass(
    std::int32_t width, std::int32_t height, std::int32_t pixelFormat, BitmapForPass& bitmap)
{
    QImage image;
    const ImagingStatus status = AllocateWorkBitmap(width, height, pixelFormat, imaging::Contents::Unspecified, image);
    if (status == ImagingStatus::Ok) bitmap.adopt(std::move(image));
    return status;
}

void PrepareWorkBitmap(std::int32_t width, std::int32_t height) { imaging::PrepareBitmapMemory(width, height); }

Surface BindSurface(QImage backing) { return Surface(std::move(backing)); }

ImagingStatus ReadPixel(const Image& image, std::int32_t x, std::int32_t y, passes::Argb& out)
{
    if (image.isNull()) return ImagingStatus::InvalidParameter;
    if (!InBounds(x, y, image.width(), image.height())) return ImagingStatus::InvalidParameter;
    out = static_cast<passes::Argb>(image.pixels().row(y)[x]);
    return ImagingStatus::Ok;
}

ImagingStatus PaintPixel(const Surface& surface, std::int32_t x, std::int32_t y, passes::Argb color)
{
    if (surface.isNull()) return ImagingStatus::InvalidParameter;
    QImage& target = *surface.target();
    if (!InBounds(x, y, target.width(), target.height())) return ImagingStatus::Ok; // clipped
    if (target.format() == QImage::Format_ARGB32) {
        auto* pixel = reinterpret_cast<std::uint32_t*>(target.scanLine(y)) + x;
        *pixel = SourceOver(static_cast<std::uint32_t>(color), *pixel);
        return ImagingStatus::Ok;
    }
    QPainter painter(&target);
    painter.fillRect(QRect(x, y, 1, 1), QColor::fromRgba(static_cast<QRgb>(color)));
    return ImagingStatus::Ok;
}

ImagingStatus DrawImageOneToOne(const Surface& surface, const Image& image, std::int32_t width, std::int32_t height)
{
    return DrawImagePartOneToOne(surface, image, 0, 0, width, height);
}

ImagingStatus DrawImagePartOneToOne(const Surface& surface, const Image& image, std::int32_t left, std::int32_t top,
    std::int32_t width, std::int32_t height)
{
    if (surface.isNull() || image.isNull() || left < 0 || top < 0) return ImagingStatus::InvalidParameter;
    QImage& target = *surface.target();
    // Only the part that lands on the surface is read: a pan over a large
    // image costs a box of pixels, not the image.
    const std::int32_t w = std::min({width, image.width() - std::min(left, image.width()), target.width()});
    const std::int32_t h = std::min({height, image.height() - std::min(top, image.height()), target.height()});
    if (w <= 0 || h <= 0) return ImagingStatus::Ok;
    if (target.format() == QImage::Format_ARGB32) {
        // Straight alpha, as PaintPixel: QPainter would round-trip the
        // background through premultiplied values and lose colours under low alpha.
        const passes::ConstPixelView source = image.pixels();
        for (std::int32_t y = 0; y < h; ++y) {
            auto* dst = reinterpret_cast<std::uint32_t*>(target.scanLine(y));
            const std::uint32_t* src = source.row(top + y) + left;
            for (std::int32_t x = 0; x < w; ++x) dst[x] = SourceOver(src[x], dst[x]);
        }
        return ImagingStatus::Ok;
    }
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(QPoint(0, 0), image.qimage(), QRect(left, top, w, h));
    return ImagingStatus::Ok;
}

ImagingStatus ClearSurface(const Surface& surface, passes::Argb color)
{
    if (surface.isNull()) return ImagingStatus::InvalidParameter;
    surface.target()->fill(QColor::fromRgba(static_cast<QRgb>(color)));
    return ImagingStatus::Ok;
}

} // namespace mGdip
