#pragma once
// A pixel un-blended from the key color: taken as some color of unknown
// opacity composited over the key, it becomes the most transparent color
// that composites back to it. All in 64-bit floating point, in this order:
//
//   for each of red, green and blue, with key channel k:
//     share = (c - k) / (255 - k) when c > k, (k - c) / k when c < k, 0 when c = k
//   alpha = the largest share (0..1); alpha 0 gives 0x00000000;
//   each channel becomes k + (c - k) / alpha, and the pixel's alpha A becomes
//   alpha x A, each rounded to the nearest integer (halves to even) and
//   clamped to 0..255; a result alpha of 0 gives 0x00000000.

#include "pass_parameters.h"

#include <array>
#include <cstdint>

namespace passes {

class KeyUnblend {
public:
    explicit KeyUnblend(const ArgbChannels& key) noexcept;

    std::uint32_t operator()(std::uint32_t pixel) const noexcept;
    // Each of n pixels, in place.
    void apply(std::uint32_t* pixels, std::size_t n) const noexcept;

private:
    // Red, green, blue: the key channel, and the share of each channel value
    // (worked out once per key, by the very expression above).
    std::array<Channel, 3> key_{};
    std::array<std::array<double, 256>, 3> share_{};
};

} // namespace passes
