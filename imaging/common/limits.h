#pragma once
// How large an image may be. Every decoder checks the size a file declares
// against these before it allocates anything in proportion to it.

#include <cstdint>

namespace imaging {

// Largest image that is decoded: 2^28 pixels (1 GiB as 32-bit ARGB).
inline constexpr std::int64_t kMaxImagePixels = std::int64_t{1} << 28;

// Widest row a 32-bit image can hold (its byte count must fit an int).
inline constexpr std::int64_t kMaxImageWidth = (std::int64_t{0x7FFFFFFF} - 31) / 32;

// The pixel limit in force: kMaxImagePixels unless lowered for testing.
std::int64_t PixelLimit() noexcept;

// False when an image of this size is too large to decode. Sizes come straight from
// file headers, so any 64-bit values are handled.
bool FitsLimits(std::int64_t width, std::int64_t height) noexcept;

// Test seam: a lower pixel limit (the fuzzer keeps images small with it);
// 0 restores kMaxImagePixels.
void SetPixelLimitForTesting(std::int64_t pixels) noexcept;

} // namespace imaging
