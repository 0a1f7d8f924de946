#pragma once
// PNG through libpng directly: decoding straight into ARGB32 rows and
// encoding with settings chosen for speed, which the generic Qt codec does
// not expose.

#include "status.h"

#include <QImage>
#include <QString>

class QIODevice;

namespace mGdip::detail {

inline constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct PngDecodeResult {
    QImage image; // Format_ARGB32, null on failure
    ImagingStatus status = ImagingStatus::GenericError;
    QString reason;
};

// Reads a whole PNG from `in` (positioned at its signature). Images with more
// than `maxPixels` pixels are refused before any pixel memory is allocated.
PngDecodeResult DecodePng(QIODevice& in, std::int64_t maxPixels);

// Writes `argb32` (Format_ARGB32) as an 8-bit RGBA PNG. On failure returns
// false with a reason; what was written so far is then garbage.
bool EncodePng(const QImage& argb32, QIODevice& out, QString* reason);

} // namespace mGdip::detail
