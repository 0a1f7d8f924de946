#pragma once
// Undoing the PNG row filters (None, Sub, Up, Average, Paeth) in place, for
// whole-byte pixels of 1 to 4 bytes.

#include <cstddef>
#include <cstdint>

namespace imaging::png {

// `row` holds the filtered bytes of one row and becomes the pixel bytes;
// `prior` is the previous row's pixel bytes (all zero above the first row).
// False for a filter type other than 0..4, leaving `row` as it was.
bool UnfilterRow(int filterType, std::uint8_t* row, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel);

// Two consecutive rows, each starting with its filter-type byte, when both
// are Paeth-filtered with 3- or 4-byte pixels: some processors unfilter such
// a pair at once, faster. False, with nothing done, for any other pair.
bool UnfilterPaethPair(
    std::uint8_t* first, std::uint8_t* second, const std::uint8_t* prior, std::size_t rowBytes, int bytesPerPixel);

} // namespace imaging::png
