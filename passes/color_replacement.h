#pragma once
// Color replacement: pixels whose four channels, alpha included, lie strictly
// within the tolerance of the key are shifted by the fixed per-channel deltas,
// each channel clamped to 0..255; all other pixels are kept.

#include "color_model.h"
#include "pass_parameters.h"

#include <cstdint>

namespace passes {

struct ColorReplacementPass {
    static constexpr ComparedChannels kCompared = ComparedChannels::All;

    static std::uint32_t Inside(std::uint32_t pixel, const PassParameters& p) noexcept
    {
        Channel a, r, g, b;
        SplitArgb(static_cast<Argb>(pixel), a, r, g, b);
        AddClamped(a, p.deltas.alpha);
        AddClamped(r, p.deltas.red);
        AddClamped(g, p.deltas.green);
        AddClamped(b, p.deltas.blue);
        return static_cast<std::uint32_t>(MakeArgb(a, r, g, b));
    }

    template <class Pixels>
    static constexpr Pixels Outside(Pixels pixel) noexcept
    {
        return pixel;
    }
};

} // namespace passes
