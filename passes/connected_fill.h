#pragma once
// The matching pixels connected to a start: a scanline fill over one bit per
// pixel, 4-neighbourhood, with an explicit stack of row spans (no recursion,
// nothing allocated per pixel).

#include "bit_mask.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace passes {

struct PixelPoint {
    std::int32_t x = 0, y = 0;
    friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};

// What a fill took, and what it needed beyond the mask.
struct FillStatistics {
    std::size_t takenPixels = 0;
    std::size_t peakSpans = 0; // the most spans waiting at once
    std::size_t spanBytes = 0; // the memory they took
};

// Clears from `match` every pixel connected to a seed through pixels of
// `match`: what stays set matches but is cut off from the seeds. Seeds
// outside the mask or not in it start nothing.
FillStatistics TakeConnected(BitMask& match, std::span<const PixelPoint> seeds);

// As TakeConnected, from every pixel of the border.
FillStatistics TakeConnectedToBorder(BitMask& match);

} // namespace passes
