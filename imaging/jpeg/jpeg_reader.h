#pragma once
// JPEG through libjpeg-turbo directly. Going past the generic reader gives
// every warning with its code, so damage is told from harmless quirks by the
// decoder's own classification, and a damaged file stops decoding at once.

#include "imaging/common/row_reader.h"
#include "imaging/common/whole_image.h"

#include <memory>

class QIODevice;

namespace imaging::jpeg {

inline constexpr unsigned char kJpegSignature[3] = {0xFF, 0xD8, 0xFF};

// Colour, grey and CMYK (Adobe's inverted form too), baseline or
// progressive, as a RowReader: the rows are the whole image's, however they
// are asked for. A file of several scans is read whole in open(), so that a
// file cut short in them is refused before any row.
class JpegReader final : public RowReader {
public:
    enum class Rows {
        AsStored, // the rows as the file stores them; orientation() tells how to turn them
        Upright, // declines a file whose EXIF orientation is not upright
    };
    // `in` positioned at the file's start, and kept open while the reader is used.
    JpegReader(QIODevice& in, Rows rows);
    ~JpegReader() override;
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;

    Failure open() override;
    std::int32_t width() const override;
    std::int32_t height() const override;
    Failure readRows(std::uint32_t* out, std::size_t wordsPerLine, std::int32_t rows) override;
    Failure finish() override;

    // Once open: the EXIF orientation (1 upright, 2..8 the mirrored and rotated forms).
    int orientation() const;
    // Quirks that do not touch the pixels (padding between markers, ...).
    int benignWarnings() const;

private:
    struct State;
    Failure Refuse(Failure failure);

    std::unique_ptr<State> state_;
    Failure refused_;
};

// The whole image, EXIF orientation applied.
DecodedImage DecodeJpeg(QIODevice& in);

} // namespace imaging::jpeg
