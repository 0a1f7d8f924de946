#pragma once
// Which deflate suits an image, judged from a sample of its rows: ISA-L,
// unless the sample compresses very well and libdeflate makes it much
// smaller still. The sample is bounded in pixels whatever the image's shape.

#include "deflate_band.h"
#include "png_row_filter.h"

#include <QImage>

#include <cstdint>

namespace mGdip::detail {

DeflateBackend ChooseDeflateBackend(const QImage& argb32, FilterChoice filter);

// Pixels the sample of a width × height image takes (for tests).
std::int64_t DeflateSamplePixels(std::int32_t width, std::int32_t height);

} // namespace mGdip::detail
