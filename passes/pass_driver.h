#pragma once
// Walks the rows of a pass top to bottom, left to right, in short time slices.
//
// Between slices it hands control to a yield callback (the window processes
// its events there). Settings that the callback may change (key color,
// tolerance) are read by building a fresh kernel after every yield, so a
// change reaches exactly the pixels not yet visited. The callback can stop the
// pass; the pixels not yet visited then keep what the work image held (fully
// transparent on a fresh work bitmap).

#include "pixel_view.h"

#include <algorithm>
#include <chrono>
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
                if (!images.yield()) return PassOutcome::Stopped;
                kernel = makeKernel();
                deadline = Clock::now() + images.yield.slice();
            }
        }
    }
    return PassOutcome::Completed;
}

} // namespace passes
