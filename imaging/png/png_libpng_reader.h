#pragma once
// PNG through libpng: every layout (palettes, low and high bit depths,
// interlacing, transparent colours), and whatever the project's own reader
// declines. It is also the reference that reader is tested and measured
// against.

#include "imaging/common/whole_image.h"

class QIODevice;

namespace imaging::png {

// Reads a whole PNG from `in` (positioned at its signature; `in.size()` is
// the file's size), refusing with libpng's words; damage after the last row,
// which libpng lets pass, with the project's own reader's words.
DecodedImage DecodePngWithLibpng(QIODevice& in);

// Whether the libpng loaded at run time is the release this was built with.
bool LibpngMatchesItsHeaders() noexcept;

} // namespace imaging::png
