#pragma once
// The one place that tells a file's format, by its first bytes, before any
// block is read, and picks the reader for it: PNG and JPEG go to their own
// readers, every other format to Qt's.

#include "imaging/common/row_reader.h"
#include "imaging/common/whole_image.h"

#include <memory>

class QIODevice;

namespace mGdip {

enum class ImageFormat { Png, Jpeg, Other };

// `file` positioned at its start; it stays there.
ImageFormat FormatOf(QIODevice& file);

// The whole image, in ARGB32.
imaging::DecodedImage DecodeImage(QIODevice& file);

// A reader of upright rows for the file, for decoding band by band; null for
// a format that is only read whole.
std::unique_ptr<imaging::RowReader> RowReaderFor(QIODevice& file);

} // namespace mGdip
