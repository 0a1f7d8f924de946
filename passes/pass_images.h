#pragma once
// What a pass reads and paints, and how it hands control back between time
// slices.

#include "pixel_view.h"

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
    PassYield(std::chrono::nanoseconds slice, Callback callback) : slice_(slice), callback_(std::move(callback)) { }

    bool enabled() const noexcept { return static_cast<bool>(callback_); }
    std::chrono::nanoseconds slice() const noexcept { return slice_; }
    bool operator()() const { return callback_(); }

private:
    std::chrono::nanoseconds slice_{0};
    Callback callback_;
};

namespace detail {
struct RowWalk;
}

// Memory for a pass to paint that may hold anything beforehand (a recycled
// bitmap). Only the pass driver writes it, and it records here when it has
// written every pixel; until then the memory is not a picture.
class PaintCanvas {
public:
    PaintCanvas() = default;
    explicit PaintCanvas(PixelView memory) noexcept : memory_(memory) { }

    bool painted() const noexcept { return painted_; }

private:
    friend class PassTarget;
    PixelView memory_;
    bool painted_ = false;
};

// Where a pass paints: any pixels (an image painted in place), or a canvas.
// The driver writes every pixel of it, those it does not reach as
// 0x00000000, so nothing needs to be cleared beforehand.
class PassTarget {
public:
    PassTarget(PixelView pixels) noexcept : pixels_(pixels) { }
    PassTarget(PaintCanvas& canvas) noexcept : pixels_(canvas.memory_), painted_(&canvas.painted_) { }

private:
    friend struct detail::RowWalk;
    PixelView pixels_;
    bool* painted_ = nullptr;
};

// The source must stay alive and unchanged for the whole pass (the caller
// holds a snapshot of the image it started with), or be the target itself:
// each pixel is read before it is written, so a pass can run in place.
struct PassImages {
    ConstPixelView source;
    PassTarget work;
    PassYield yield;
};

} // namespace passes
