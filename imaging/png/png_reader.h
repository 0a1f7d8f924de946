#pragma once
// The common PNG, decoded without libpng: 8-bit grey, grey and alpha, RGB or
// RGBA, not interlaced, without a palette or a transparent colour. Its image
// data is inflated by ISA-L in a stream and unfiltered straight into
// ARGB32 rows, whole or a band at a time, with every length, CRC and
// checksum checked.
//
// This reader only ever accepts a file libpng accepts, with the same pixels.
//
// One known exception: a deflate block whose Huffman code is incomplete
// (some bit patterns unassigned) is refused by zlib, and so by libpng, before
// it decodes anything; ISA-L decodes it, and when the data never uses the
// missing codes and its checksum holds, this reader takes the file. Such
// streams come only from broken or hand-made encoders, the pixels are exactly
// what was compressed, and telling would take a second decode of the stream.

#include "imaging/common/row_reader.h"

#include <memory>

class QIODevice;

namespace imaging::png {

// The common PNG as a RowReader. open() declines ("Declined") every other
// layout, and whatever libpng must decide: limits, unusual zlib headers,
// memory that cannot be had. Damage it finds once the file is known to be
// a common PNG (a wrong CRC, a cut file, a damaged zlib stream or its
// checksum, an unknown filter type, a missing IEND, data past the image) is
// refused as the file's answer: Truncated when the file ends early, else
// Damaged, with this reader's words. libpng only warns about some of these at
// the end of the file (a wrong Adler-32 in the last IDAT, data past the
// image); they are damage all the same.
class PngReader final : public RowReader {
public:
    // `in` positioned at the signature, and kept open while the reader is used.
    explicit PngReader(QIODevice& in);
    ~PngReader() override;
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    // Reads the signature, IHDR and the chunks up to the first IDAT.
    Failure open() override;
    std::int32_t width() const override;
    std::int32_t height() const override;
    Failure readRows(std::uint32_t* out, std::size_t wordsPerLine, std::int32_t rows) override;
    // The end of the zlib stream and its checksum, the chunks after the
    // image data and IEND.
    Failure finish() override;

private:
    struct State;
    Failure Refuse(Failure failure);

    std::unique_ptr<State> state_;
    Failure refused_;
};

} // namespace imaging::png
