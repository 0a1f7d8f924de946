#pragma once
// A pass run on all pixels but some that match its key window. The others
// are painted by the pass's own kernel, so they are bit for bit what the
// whole-image pass gives them; the spared ones are painted as the pass paints
// a pixel outside its tolerance, by the same kernel with a tolerance that
// matches nothing.

#include "bit_mask.h"
#include "pass_parameters.h"
#include "pixel_view.h"

#include <algorithm>
#include <cstddef>

namespace passes {

// Paints every pixel of work (clipped to source and `spared`) from source,
// which may be work itself.
template <class Kernel>
void RunPassSparing(const ConstPixelView& source, const PixelView& work, const PassParameters& p,
                    const BitMask& spared)
{
    const std::int32_t width = std::min({source.width, work.width, spared.width()});
    const std::int32_t height = std::min({source.height, work.height, spared.height()});
    PassParameters matchingNothing = p;
    matchingNothing.tolerance = 0;
    Kernel pass(p), outside(matchingNothing);
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint32_t* src = source.row(y);
        std::uint32_t* dst = work.row(y);
        for (std::int32_t x = 0; x < width;) {
            const bool isSpared = spared.test(x, y);
            const std::int32_t end = std::min(width, isSpared ? spared.nextClear(y, x) : spared.nextSet(y, x, width));
            (isSpared ? outside : pass)(src + x, dst + x, static_cast<std::size_t>(end - x));
            x = end;
        }
    }
}

} // namespace passes
