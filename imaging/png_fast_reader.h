#pragma once
// The common PNG, decoded without libpng: 8-bit grey, grey and alpha, RGB or
// RGBA, not interlaced, without a palette or a transparent colour. Its image
// data is inflated by ISA-L in a stream and unfiltered straight into the
// ARGB32 bitmap, with every length, CRC and checksum checked.
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

} // namespace mGdip::detail
