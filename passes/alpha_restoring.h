#pragma once
// Alpha-restoring background removal: pixels inside the key window get an
// alpha from their distance to the key and are un-blended from it; every
// other pixel keeps its red, green and blue and becomes opaque. The source
// alpha is never read.

#include "color_model.h"
#include "pass_parameters.h"

#include <cstdint>

namespace passes {

// |c - k| / 255 + (k / 255)^2, in doubles.
double ChannelDistance(Channel c, Channel k) noexcept;

// (|c - k| * 255) / a + k, clamped to 0..255 and rounded half to even;
// 0 when a <= 0. Divides by the unrounded alpha a.
Channel UnblendChannel(double a, Channel c, Channel k) noexcept;

struct AlphaRestoringRemovalPass {
    static constexpr ComparedChannels kCompared = ComparedChannels::RedGreenBlue;
    // Outside is opaque, and inside an alpha of 0 gives 0x00000000.
    static constexpr bool kColorsPaintUnchanged = true;

    static std::uint32_t Inside(std::uint32_t pixel, const PassParameters& p) noexcept;

    // The pixel's own red, green and blue, made opaque.
    template <class Pixels>
    static constexpr Pixels Outside(Pixels pixel) noexcept
    {
        return pixel | 0xFF000000u;
    }
};

} // namespace passes
