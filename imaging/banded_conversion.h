#pragma once
// An image changed and saved as PNG band by band: decoded a few rows at a
// time, each band handed to a stage that changes it in place, and encoded
// while the next band is decoded. Nothing image-sized is held, which saves
// both the memory and the cost of touching it, and decoding overlaps
// encoding.

#include "imaging/common/failure.h"

#include <QString>

#include <cstddef>
#include <cstdint>

namespace mGdip {

// What is done to the rows between decoding and encoding.
class RowStage {
public:
    virtual ~RowStage() = default;
    // Before the first row; false: this image is not for this way.
    virtual bool begin(std::int32_t width, std::int32_t height) = 0;
    // The most rows apply() keeps back at the bottom of a band: a stage that
    // needs to see rows below a row before it is done with it.
    virtual std::int32_t rowsKeptBack() const { return 0; }
    // Changes `count` rows (ARGB32 words, `wordsPerLine` apart), the first
    // of them row `top`, in place. Bands come top to bottom. Returns how
    // many rows, from the top, are done and go on to be encoded: at least
    // all but rowsKeptBack(), and all once the band holds the image's last
    // row. The rows kept back come again, as the stage left them, at the top
    // of the next band. Negative: stop, as a decline.
    virtual std::int32_t apply(std::uint32_t* rows, std::size_t wordsPerLine, std::int32_t top, std::int32_t count) = 0;
};

// Converts the image at `input` into a PNG at `output`, saved as
// SaveImageAsPng saves. Two kinds of file take this way, told by their first
// bytes (image_format.h): the common PNG (8-bit grey or colour, with or
// without alpha, not interlaced, nothing unusual) and the JPEG whose EXIF
// orientation, if any, is upright; either at most 262,144 pixels wide.
//
// None: the result is written. Declined: the file is not for this way
// (another format or layout, one the reader leaves to libpng, a stage that
// declines, bands too short for the rows it keeps back); nothing is written,
// and loading, changing and saving the whole image gives the same result or
// says what is wrong. Any other failure is the
// file's answer, the same the whole image would give (damage found in the
// last rows too); nothing is written then either.
imaging::Failure ConvertInBands(const QString& input, const QString& output, RowStage& stage);

} // namespace mGdip
