#pragma once
// A whole image read through a RowReader into one bitmap.

#include "failure.h"
#include "row_reader.h"

#include <QImage>

namespace imaging {

struct DecodedImage {
    QImage image; // Format_ARGB32; null unless `failure` is none
    Failure failure;
};

// Opens the reader, reads every row into a bitmap of pooled memory
// (bitmap_memory.h) and finishes it.
DecodedImage ReadWholeImage(RowReader& reader);

} // namespace imaging
