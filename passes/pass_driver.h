#pragma once
// Runs a point kernel over the rows of an image, top to bottom, left to
// right, in short time slices.
//
// Between slices it hands control to the yield callback (the window handles
// its events there) and then takes the settings afresh, so a change made
// during a yield reaches exactly the pixels not yet visited. The callback
// can stop the pass.
//
// Every pixel of the target is written: visited pixels get their result, and
// those not visited (after a stop, or outside the source) become 0x00000000,
// as on a fresh bitmap. A canvas target is then marked painted.

#include "pass_images.h"
#include "pass_parameters.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <type_traits>

namespace passes {

namespace detail {

// Longest run handed to a kernel between clock checks: short enough that the
// slowest kernel still checks the clock well within a slice.
inline constexpr std::int32_t kChunkPixels = 4096;

struct RowWalk {
    // kernel.prepare(current()) before the first pixel and after every yield.
    template <class Kernel, class Current>
    static PassOutcome Run(
        const PassImages& images, std::int32_t width, std::int32_t height, Kernel& kernel, const Current& current)
    {
        const PixelView& work = images.work.pixels_;
        const PassOutcome outcome = Walk(images.source, work, images.yield, width, height, kernel, current);
        if (images.work.painted_) *images.work.painted_ = true;
        return outcome;
    }

private:
    template <class Kernel, class Current>
    static PassOutcome Walk(const ConstPixelView& source, const PixelView& work, const PassYield& yield,
        std::int32_t width, std::int32_t height, Kernel& kernel, const Current& current)
    {
        // Never read or paint outside either image, whatever size the caller measured.
        width = std::max(0, std::min({width, source.width, work.width}));
        height = std::max(0, std::min({height, source.height, work.height}));

        using Clock = std::chrono::steady_clock;
        auto deadline = Clock::now() + yield.slice();
        kernel.prepare(current());
        for (std::int32_t y = 0; y < height; ++y) {
            const std::uint32_t* src = source.row(y);
            std::uint32_t* dst = work.row(y);
            for (std::int32_t x = 0; x < width;) {
                const std::int32_t n = std::min(kChunkPixels, width - x);
                kernel(src + x, dst + x, static_cast<std::size_t>(n));
                x += n;
                if (yield.enabled() && Clock::now() >= deadline) {
                    if (!yield()) {
                        ClearUnvisited(work, x, y, width, height);
                        return PassOutcome::Stopped;
                    }
                    kernel.prepare(current());
                    deadline = Clock::now() + yield.slice();
                }
            }
        }
        ClearUnvisited(work, 0, height, width, height);
        return PassOutcome::Completed;
    }

    // Clears the work pixels a pass did not write: the rest of row `y` from
    // column `x` within the visited width, the rows below, and everything
    // right of the visited width.
    static void ClearUnvisited(
        const PixelView& work, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height)
    {
        for (std::int32_t row = 0; row < work.height; ++row) {
            const std::int32_t visitedTo = row < y ? width : row == y ? x : 0;
            const std::int32_t from = row < height ? visitedTo : 0;
            if (work.width > from)
                std::memset(
                    work.row(row) + from, 0, sizeof(std::uint32_t) * static_cast<std::size_t>(work.width - from));
        }
    }
};

} // namespace detail

// Runs Kernel (a PointKernel) over the images. `parameters` is either a
// PassParameters, read by reference, or a callable returning one; it is read
// before the first pixel and again after every yield.
template <class Kernel, class Parameters>
PassOutcome RunPass(const PassImages& images, std::int32_t width, std::int32_t height, const Parameters& parameters)
{
    Kernel kernel;
    if constexpr (std::is_invocable_r_v<PassParameters, const Parameters&>) {
        return detail::RowWalk::Run(images, width, height, kernel, parameters);
    } else {
        return detail::RowWalk::Run(images, width, height, kernel, [&] { return PassParameters(parameters); });
    }
}

} // namespace passes
