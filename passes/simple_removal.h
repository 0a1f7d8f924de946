#pragma once
// Simple background removal: pixels whose red, green and blue all lie strictly
// within the tolerance of the key become fully transparent; every other pixel
// is kept, alpha included.

#include "pass_parameters.h"

#include <cstdint>

namespace passes {

struct SimpleRemovalPass {
    static constexpr ComparedChannels kCompared = ComparedChannels::RedGreenBlue; // alpha takes no part

    // 0x00000000, for one pixel or a vector of them.
    template <class Pixels>
    static constexpr Pixels Inside(Pixels, const PassParameters&) noexcept
    {
        return Pixels{};
    }

    template <class Pixels>
    static constexpr Pixels Outside(Pixels pixel) noexcept
    {
        return pixel;
    }
};

} // namespace passes
