#pragma once
// PNG row filtering of ARGB32 pixels: each row becomes its filter-type byte
// followed by R, G, B, A bytes, predicted from the pixel on the left ("sub"),
// the one above ("up") or their mean ("average"). The choice per row takes
// the prediction whose residues are smallest in sum: small residues deflate
// better, and the sum costs far less than trying each. (The format's fourth
// predictor, Paeth, made files no smaller here and cost more than the
// deflate itself.)

#include <cstddef>
#include <cstdint>

namespace imaging::png {

enum class RowFilter : std::uint8_t { Sub = 1, Up = 2, Average = 3 };

enum class FilterChoice {
    Adaptive, // per row, whichever filter has the smallest residues
    SubOnly,
    UpOnly,
    AverageOnly,
};

// Bytes of a filtered row: the filter byte and four per pixel.
inline std::size_t FilteredRowBytes(std::size_t width) { return 1 + 4 * width; }

// Filters `width` pixels of `row` (0xAARRGGBB words) against `above` (the
// row before it, or null for the first row) into FilteredRowBytes(width)
// bytes at `out`. Returns the filter used.
RowFilter FilterRow(
    const std::uint32_t* row, const std::uint32_t* above, std::size_t width, FilterChoice choice, std::uint8_t* out);

} // namespace imaging::png
