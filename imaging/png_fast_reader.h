#pragma once
// The common PNG, decoded without libpng: 8-bit grey, grey and alpha, RGB or
// RGBA, not interlaced, without a palette or a transparent colour. Its image
// data is inflated by ISA-L in a stream and unfiltered straight into
// ARGB32 rows, whole or a band at a time, with every length, CRC and
// checksum checked.
//
// This reader only ever accepts a file libpng accepts, with the same pixels.
// Whatever it does not take (another layout, or anything damaged, truncated
// or unusual) it leaves to libpng, which decides and gives the reason, so
// refusals are libpng's word for word.
//
// One known exception: a deflate block whose Huffman code is incomplete
// (some bit patterns unassigned) is refused by zlib, and so by libpng, before
// it decodes anything; ISA-L decodes it, and when the data never uses the
// missing codes and its checksum holds, this reader takes the file. Such
// streams come only from broken or hand-made encoders, the pixels are exactly
// what was compressed, and telling would take a second decode of the stream.

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <memory>

class QIODevice;

namespace mGdip::detail {

enum class FastPngOutcome {
    Decoded,     // `image` holds the pixels
    OtherLayout, // a depth, colour type, interlacing, palette or tRNS this reader does not handle
    LeftToLibpng // damaged, truncated, too large or unusual
};

struct FastPngResult {
    QImage image; // Format_ARGB32 when Decoded, else null
    FastPngOutcome outcome = FastPngOutcome::LeftToLibpng;
    const char* why = ""; // what made the reader step aside, for tests and the fuzzer
};

// Reads from `in` positioned at the signature; on any outcome but Decoded the
// position is wherever reading stopped.
FastPngResult DecodeCommonPng(QIODevice& in);

// The same reader a band of rows at a time, into the caller's memory, so an
// image need not be held whole. It takes exactly the files DecodeCommonPng
// takes, with the same pixels, however the rows are split; anything it
// refuses, at any step, is left to libpng. After a refusal every later call
// refuses too.
class CommonPngRowReader {
public:
    // `in` positioned at the signature, and kept open while the reader is used.
    explicit CommonPngRowReader(QIODevice& in);
    ~CommonPngRowReader();
    CommonPngRowReader(const CommonPngRowReader&) = delete;
    CommonPngRowReader& operator=(const CommonPngRowReader&) = delete;

    // Reads the signature, IHDR and the chunks up to the first IDAT. Decoded:
    // rows can be read now; otherwise why() says what was not taken.
    FastPngOutcome open();
    // Valid once open() gave Decoded.
    std::int32_t width() const;
    std::int32_t height() const;
    // Decodes the next `rows` rows as ARGB32 words (0xAARRGGBB) at `out`,
    // `wordsPerLine` (at least width()) words apart. False, with why(), when
    // the file is left to libpng, or when the rows go past the image.
    bool readRows(std::uint32_t* out, std::size_t wordsPerLine, std::int32_t rows);
    // After the last row: the end of the zlib stream and its checksum, the
    // chunks after the image data and IEND. False: left to libpng.
    bool finish();

    const char* why() const { return why_; }
    // The refusal came from memory that could not be had, not from the file.
    bool outOfMemory() const { return outOfMemory_; }

private:
    struct State;
    bool Refuse(const char* why, bool outOfMemory = false);

    std::unique_ptr<State> state_;
    const char* why_ = "";
    bool outOfMemory_ = false;
};

} // namespace mGdip::detail
