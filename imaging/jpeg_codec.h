#pragma once
// JPEG through libjpeg-turbo directly. Going past the generic reader gives
// every warning with its code, so damage is told from harmless quirks by the
// decoder's own classification, and a damaged file stops decoding at once.

#include "failure.h"

#include <QImage>

class QIODevice;

namespace mGdip::detail {

inline constexpr unsigned char kJpegSignature[3] = {0xFF, 0xD8, 0xFF};

struct JpegDecodeResult {
    QImage image;    // Format_ARGB32, EXIF orientation applied; null on failure
    Failure failure; // None on success
    int benignWarnings = 0; // quirks that do not touch the pixels (padding between markers, ...)
};

// Decodes a whole JPEG from `in` (positioned at its start): colour, grey and
// CMYK (Adobe's inverted form too), baseline or progressive.
JpegDecodeResult DecodeJpeg(QIODevice& in);

} // namespace mGdip::detail
