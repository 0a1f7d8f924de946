#pragma once
// Dilation of one-bit-per-pixel rows (BitMask's layout) by a distance N
// measured as the larger of the horizontal and vertical distances: a bit is
// set in the result when any bit of the (2N + 1)-square around it is set.
// Separable: the rows of the square ORed together, then the result spread
// sideways.

#include <cstddef>
#include <cstdint>
#include <span>

namespace passes {

// out = rows[0] | rows[1] | ..., `words` words each; true when any bit is set.
bool OrRows(std::span<const std::uint32_t* const> rows, std::uint32_t* out, std::size_t words) noexcept;

// The indices of the words of `bits` that are not 0, into `list`; returns
// how many.
std::size_t ListSetWords(const std::uint32_t* bits, std::size_t words, std::uint32_t* list) noexcept;

// bits &= ~clear, `words` words each.
void ClearWhere(const std::uint32_t* clear, std::uint32_t* bits, std::size_t words) noexcept;

// bits[x] becomes the OR of bits[x - radius .. x + radius] for the `width`
// pixels of a row, radius 0..31; `spare` is a row to work in. The bits past
// the width stay clear.
void SpreadRow(std::uint32_t* bits, std::uint32_t* spare, std::int32_t width, std::int32_t radius) noexcept;

} // namespace passes
