#pragma once
// PNG without the generic Qt codec: decoding straight into ARGB32 rows (the
// common layouts by the fast reader, every other through libpng) and
// encoding through the project's own fast writer.

#include "byte_sink.h"
#include "failure.h"

#include <QImage>

#include <cstdint>

class QIODevice;

namespace mGdip::detail {

inline constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

struct PngDecodeResult {
    QImage image;    // Format_ARGB32, null on failure
    Failure failure; // None on success
};

// Reads a whole PNG from `in` (positioned at its signature; `in.size()` is
// the file's size). Images beyond the pixel limit are refused from their
// header, before anything in proportion to their size is allocated; ancillary
// chunks are skipped unread. The common layouts take the fast reader
// (png_fast_reader.h); the rest, and every file it does not accept, libpng.
PngDecodeResult DecodePng(QIODevice& in);

// The same through libpng alone: what decides every file the fast reader
// leaves, and the reference it is measured and tested against.
PngDecodeResult DecodePngWithLibpng(QIODevice& in);

// Writes `argb32` (Format_ARGB32) as an 8-bit RGBA PNG into `out`. On
// failure returns false with the encoder's words in `reason` (the sink keeps
// the system's error); what was written so far is then garbage.
bool EncodePng(const QImage& argb32, ByteSink& out, QString* reason);

} // namespace mGdip::detail
