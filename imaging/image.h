#pragma once
// Image and surface handles as value types, and the status the wrapper's
// operations answer with.
//
// Image: a decoded image or a bitmap, always 32-bit non-premultiplied ARGB
// (QImage::Format_ARGB32, whose pixels are exactly the 0xAARRGGBB values the
// passes use). Copies share pixels until one of them is written, so a copy is
// a cheap, stable snapshot. A default-constructed Image is "no image".
//
// Surface: something that can be drawn on, shared by every copy of the handle
// (a picture box's backing image, or the work bitmap). Releasing the last
// handle releases the pixels.

#include "passes/pixel_view.h"

#include <QImage>

#include <cstdint>
#include <memory>
#include <utility>

namespace mGdip {

// Status codes of the imaging operations: 0 is success. The values follow the
// numbering the original imaging library used, so logs and tests stay stable.
enum class ImagingStatus : std::int32_t {
    Ok = 0,
    GenericError = 1, // damaged or truncated image data
    InvalidParameter = 2, // no image, no file name, a folder or device to read
    OutOfMemory = 3,
    NotImplemented = 6, // no PNG encoder, or the platform cannot decode
    Win32Error = 7, // an operating-system call failed (file system)
    WrongState = 8,
    FileNotFound = 10,
    ValueOverflow = 11, // an image beyond the size limits
    AccessDenied = 12, // cannot read or create the file, or something stands in the way
    UnknownImageFormat = 13, // empty, or no format that can be read
    NotInitialized = 18,
};

constexpr bool Succeeded(ImagingStatus s) noexcept { return s == ImagingStatus::Ok; }

class Image {
public:
    Image() = default;
    // Takes the pixels of an image that is already Format_ARGB32 (or null).
    explicit Image(QImage argb32);

    bool isNull() const noexcept { return image_.isNull(); }
    std::int32_t width() const noexcept { return image_.width(); }
    std::int32_t height() const noexcept { return image_.height(); }

    const QImage& qimage() const noexcept { return image_; }
    // Gives the pixels away, leaving this image null.
    QImage release() noexcept { return std::exchange(image_, QImage()); }
    passes::ConstPixelView pixels() const noexcept;

private:
    QImage image_;
};

class Surface {
public:
    Surface() = default;
    // A new surface over its own image of the given size and format.
    Surface(std::int32_t width, std::int32_t height, QImage::Format format);
    // A surface over existing pixels (adopts them).
    explicit Surface(QImage pixels);
    // Draws on the image's own pixels; `image` is left null.
    explicit Surface(Image&& image);

    bool isNull() const noexcept { return !target_ || target_->isNull(); }
    std::int32_t width() const noexcept { return target_ ? target_->width() : 0; }
    std::int32_t height() const noexcept { return target_ ? target_->height() : 0; }

    // The drawn pixels; null when there is no surface.
    QImage* target() const noexcept { return target_.get(); }
    // Writable pixel rows, for surfaces in Format_ARGB32 (the work bitmap).
    passes::PixelView pixels() const;
    // A stable copy of what has been drawn so far.
    Image snapshot() const;

private:
    std::shared_ptr<QImage> target_;
};

} // namespace mGdip
