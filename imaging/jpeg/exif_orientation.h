#pragma once
// The orientation an EXIF block stores, and the upright image for it.

#include <QImage>

#include <cstddef>
#include <cstdint>

namespace imaging::jpeg {

// The orientation tag (1 upright, 2..8 the mirrored and rotated forms) of an
// APP1 block's data, starting "Exif\0\0"; 0 when the block holds none. A
// tag of another value reads as 1.
int ExifOrientationOf(const std::uint8_t* app1, std::size_t length);

// The upright image for an EXIF orientation, pixel for pixel; null when
// memory runs out.
QImage Oriented(QImage stored, int orientation);

} // namespace imaging::jpeg
