#pragma once
// A whole PNG decoded into ARGB32 rows, without the generic Qt codec: the
// common layouts by the project's own reader (png_reader.h), every file it
// declines by libpng (png_libpng_reader.h).

#include "imaging/common/whole_image.h"

class QIODevice;

namespace imaging::png {

inline constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Reads a whole PNG from `in` (positioned at its signature; `in.size()` is
// the file's size). Images beyond the pixel limit are refused from their
// header, before anything in proportion to their size is allocated; ancillary
// chunks are skipped unread. Damage the reader finds in a common PNG is the
// answer: such a file is read once, never again by libpng.
DecodedImage DecodePng(QIODevice& in);

} // namespace imaging::png
