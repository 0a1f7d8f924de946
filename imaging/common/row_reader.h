#pragma once
// The one shape of every image reader that can hand out its rows as it
// decodes them (PNG's fast reader, the JPEG reader): open, read rows into the
// caller's memory, finish. The whole-image decode (whole_image.h) and the
// banded conversion are both built on it, so a file is decoded the same way
// however its rows are asked for.
//
// Every step answers with a Failure: none, Declined (the reader does not
// take this file, another way will; nothing is decided about the file), or
// a failure that is the file's final answer. After anything but none, every
// later step fails the same way.

#include "failure.h"

#include <cstddef>
#include <cstdint>

namespace imaging {

class RowReader {
public:
    virtual ~RowReader() = default;

    // Reads up to the first row.
    virtual Failure open() = 0;
    // Valid once open() succeeded.
    virtual std::int32_t width() const = 0;
    virtual std::int32_t height() const = 0;
    // Decodes the next `rows` rows as ARGB32 words (0xAARRGGBB, not
    // premultiplied) at `out`, `wordsPerLine` (at least width()) words
    // apart. Rows past the image are refused.
    virtual Failure readRows(std::uint32_t* out, std::size_t wordsPerLine, std::int32_t rows) = 0;
    // After the last row: the rest of the file, to its end.
    virtual Failure finish() = 0;
};

} // namespace imaging
