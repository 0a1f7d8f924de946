#include "image.h"

#include <utility>

namespace mGdip {

Image::Image(QImage argb32) : image_(std::move(argb32))
{
    Q_ASSERT(image_.isNull() || image_.format() == QImage::Format_ARGB32);
}

passes::ConstPixelView Image::pixels() const noexcept
{
    if (image_.isNull()) return {};
    // constBits() never detaches: readers share the pixels.
    return {reinterpret_cast<const std::uint32_t*>(image_.constBits()),
        static_cast<std::ptrdiff_t>(image_.bytesPerLine() / 4), image_.width(), image_.height()};
}

Surface::Surface(std::int32_t width, std::int32_t height, QImage::Format format)
    : target_(std::make_shared<QImage>(width, height, format))
{
}

Surface::Surface(QImage pixels) : target_(std::make_shared<QImage>(std::move(pixels))) { }

Surface::Surface(Image&& image) : Surface(image.release()) { }

passes::PixelView Surface::pixels() const
{
    if (isNull()) return {};
    Q_ASSERT(target_->format() == QImage::Format_ARGB32);
    // bits() detaches from any snapshot first, so snapshots keep their pixels.
    return {reinterpret_cast<std::uint32_t*>(target_->bits()), static_cast<std::ptrdiff_t>(target_->bytesPerLine() / 4),
        target_->width(), target_->height()};
}

Image Surface::snapshot() const
{
    if (isNull() || target_->format() != QImage::Format_ARGB32) return {};
    return Image(*target_);
}

} // namespace mGdip
