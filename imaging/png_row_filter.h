#pragma once
// PNG row filtering of ARGB32 pixels: each row becomes its filter-type byte
// followed by R, G, B, A bytes, predicted from the pixel on the left ("sub")
// or the one above ("up"). The choice per row takes the prediction whose
// residues are smaller in sum: small residues deflate better, and the sum
// costs far less than trying both.

#include <cstddef>
#include <cstdint>

namespace mGdip::detail {

enum class RowFilter : std::uint8_t { Sub = 1, Up = 2 };

enum class FilterChoice {
    Adaptive, // per row, whichever of Sub and Up has the smaller residues
    SubOnly,
    UpOnly,
};

// Bytes of a filtered row: the filter byte and four per pixel.
inline std::size_t FilteredRowBytes(std::size_t width) { return 1 + 4 * width; }

// Filters `width` pixels of `row` (0xAARRGGBB words) against `above` (the
// row before it, or null for the first row) into FilteredRowBytes(width)
// bytes at `out`. Returns the filter used.
RowFilter FilterRow(const std::uint32_t* row, const std::uint32_t* above, std::size_t width, FilterChoice choice,
                    std::uint8_t* out);

} // namespace mGdip::detail
