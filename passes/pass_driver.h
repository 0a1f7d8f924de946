#pragma once
// Walks the rows of a pass top to bottom, left to right, in short time slices.
//
// Between slices it hands control to a yield callback (the window processes
// its events there). Settings that the callback may change (key color,
// tolerance) are read by building a fresh kernel after every yield, so a
// change reaches exactly the pixels not yet visited. The callback can stop the
// pass.
//
// Every pixel of the work image is written: visited pixels get their result,
// and pixels not visited (after a stop, or outside the source) become
// 0x00000000, as on a fresh bitmap. So the work image need not be cleared
// beforehand.

#include "pixel_view.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <utility>

namespace passes {

enum class PassOutcome { Completed, Stopped };

class PassYield {
public:
    // Returns false to stop the pass.
    using Callback = std::function<bool()>;

    PassYield() = default; // never yields: batch use
    PassYield(std::chrono::nanoseconds slice, Callback callback)
        : slice_(slice), callback_(std::move(callback)) {}

    bool enabled() const noexcept { return static_cast<bool>(callback_); }
    std::chrono::nanoseconds slice() const noexcept { return slice_; }
    bool operator()() const { return callback_(); }

private:
    std::chrono::nanoseconds slice_{0};
    Callback callback_;
};

// What a pass reads and paints. The source must stay alive and unchanged for
// the whole pass (the caller holds a snapshot of the image it started with),
// or be the work image itself: kernels read each pixel before writing it, so
// a pass can run in place.
struct PassImages {
    ConstPixelView source;
    PixelView work;
    PassYield yield;
};

namespace detail {

// Longest run handed to a kernel between clock checks: short enough that the
// slowest kernel still checks the clock well within a slice.
inline constexpr std::int32_t kChunkPixels = 4096;

inline void ClearRun(const PixelView& work, std::int32_t y, std::int32_t from, std::int32_t to)
{
    if (to > from) std::memset(work.row(y) + from, 0, sizeof(std::uint32_t) * static_cast<std::size_t>(to - from));
}

// Clears the work pixels a pass did not write: the rest of row `y` from
// column `x` within the visited width, the rows below, and everything
// right of the visited width.
inline void ClearUnvisited(const PixelView& work, std::int32_t x, std::int32_t y, std::int32_t width,
                           std::int32_t height)
{
    for (std::int32_t row = 0; row < work.height; ++row) {
        const std::int32_t visitedTo = row < y ? width : row == y ? x : 0;
        ClearRun(work, row, row < height ? visitedTo : 0, work.width);
    }
}

} // namespace detail

// makeKernel() reads the current settings and returns a callable
// kernel(const uint32_t* src, uint32_t* dst, size_t n) for a run of pixels.
template <class MakeKernel>
PassOutcome WalkRows(const PassImages& images, std::int32_t width, std::int32_t height,
                     MakeKernel&& makeKernel)
{
    // Never read or paint outside either image, whatever size the caller measured.
    width = std::max(0, std::min({width, images.source.width, images.work.width}));
    height = std::max(0, std::min({height, images.source.height, images.work.height}));

    using Clock = std::chrono::steady_clock;
    const bool yields = images.yield.enabled();
    auto deadline = Clock::now() + images.yield.slice();
    auto kernel = makeKernel();

    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint32_t* src = images.source.row(y);
        std::uint32_t* dst = images.work.row(y);
        for (std::int32_t x = 0; x < width;) {
            const std::int32_t n = std::min(detail::kChunkPixels, width - x);
            kernel(src + x, dst + x, static_cast<std::size_t>(n));
            x += n;
            if (yields && Clock::now() >= deadline) {
                if (!images.yield()) {
                    detail::ClearUnvisited(images.work, x, y, width, height);
                    return PassOutcome::Stopped;
                }
                kernel = makeKernel();
                deadline = Clock::now() + images.yield.slice();
            }
        }
    }
    if (width < images.work.width || height < images.work.height)
        detail::ClearUnvisited(images.work, 0, height, width, height);
    return PassOutcome::Completed;
}

} // namespace passes
