#pragma once
// JPEG through libjpeg-turbo directly. Going past the generic reader gives
// every warning with its code, so damage is told from harmless quirks by the
// decoder's own classification, and a damaged file stops decoding at once.

#include "failure.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <memory>

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

// The same decoding a band of rows at a time, into the caller's memory, so
// an image need not be held whole: the rows are exactly DecodeJpeg's. It
// takes the files DecodeJpeg takes, except those whose EXIF orientation is
// not upright, which only the whole image can turn. Any failure gives false,
// and every later call false too; DecodeJpeg then tells what is wrong.
class JpegRowReader {
public:
    // `in` positioned at the file's start, and kept open while the reader is used.
    explicit JpegRowReader(QIODevice& in);
    ~JpegRowReader();
    JpegRowReader(const JpegRowReader&) = delete;
    JpegRowReader& operator=(const JpegRowReader&) = delete;

    // Reads the header and, for a file of several scans, every scan, so
    // that a file cut short in them is refused before any row.
    bool open();
    // Valid once open() gave true.
    std::int32_t width() const;
    std::int32_t height() const;
    // Decodes the next `rows` rows as ARGB32 words (0xAARRGGBB) at `out`,
    // `wordsPerLine` (at least width()) words apart. False also when the
    // rows go past the image.
    bool readRows(std::uint32_t* out, std::size_t wordsPerLine, std::int32_t rows);
    // After the last row: the rest of the file, to its end marker.
    bool finish();

private:
    struct State;
    bool Refuse();

    std::unique_ptr<State> state_;
};

} // namespace mGdip::detail
