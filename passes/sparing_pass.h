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

// Calls paint(kernel, x, end) for the runs of row y within [from, to):
// with `outside` for the spared ones, with `pass` for the others.
template <class Kernel, class Paint>
void ForEachSparingRun(Kernel& pass, Kernel& outside, const BitMask& spared, std::int32_t y, std::int32_t from,
    std::int32_t to, Paint&& paint)
{
    for (std::int32_t x = from; x < to;) {
        const bool isSpared = spared.test(x, y);
        const std::int32_t end = std::min(to, isSpared ? spared.nextClear(y, x) : spared.nextSet(y, x, to));
        paint(isSpared ? outside : pass, x, end);
        x = end;
    }
}

// The kernel that paints as the pass paints a pixel outside its tolerance.
template <class Kernel>
Kernel OutsideKernel(PassParameters p)
{
    p.tolerance = 0; // matches nothing
    return Kernel(p);
}

// Paints every pixel of work (clipped to source and `spared`) from source,
// which may be work itself.
template <class Kernel>
void RunPassSparing(const ConstPixelView& source, const PixelView& work, const PassParameters& p, const BitMask& spared)
{
    const std::int32_t width = std::min({source.width, work.width, spared.width()});
    const std::int32_t height = std::min({source.height, work.height, spared.height()});
    Kernel pass(p), outside = OutsideKernel<Kernel>(p);
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint32_t* src = source.row(y);
        std::uint32_t* dst = work.row(y);
        ForEachSparingRun(pass, outside, spared, y, 0, width, [&](Kernel& kernel, std::int32_t x, std::int32_t end) {
            kernel(src + x, dst + x, static_cast<std::size_t>(end - x));
        });
    }
}

} // namespace passes
