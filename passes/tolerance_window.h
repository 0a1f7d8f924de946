#pragma once
// The key window |c - k| < t of a pass's compared channels, in the form the
// kernels test it: a byte b is inside when (uint8)(b - low) <= span. One form
// for one pixel and for vectors of them.

#include "pass_parameters.h"
#include "simd.h"

#include <algorithm>
#include <cstdint>

namespace passes::detail {

class ToleranceWindow {
public:
    ToleranceWindow() = default;
    ToleranceWindow(const PassParameters& p, ComparedChannels compared) noexcept : matchesNothing_(false)
    {
        channel(16, p.key.R, p.tolerance);
        channel(8, p.key.G, p.tolerance);
        channel(0, p.key.B, p.tolerance);
        if (compared == ComparedChannels::All) channel(24, p.key.A, p.tolerance);
    }

    bool matchesNothing() const noexcept { return matchesNothing_; }

    // The test for Bytes / 4 pixels at a time, for a window that can match:
    // all-ones in each lane whose pixel is inside. (A byte above its span
    // stays above it after the max; a lane is inside when none is.)
    template <int Bytes>
    CHROMOBRISK_INLINE auto lanes() const noexcept
    {
        return [ low = SplatBytes<Bytes>(low_), span = SplatBytes<Bytes>(span_) ](Pixels<Bytes> v)
            __attribute__((always_inline))
        {
            const auto offset = AsBytes<Bytes>(v) - low;
            return reinterpret_cast<Pixels<Bytes>>(reinterpret_cast<Pixels<Bytes>>(Max(offset, span) - span) == 0);
        };
    }

private:
    // |c - k| < t  <=>  k - t + 1 <= c <= k + t - 1, intersected with 0..255.
    void channel(int shift, Channel key, std::int32_t tolerance) noexcept
    {
        const std::int64_t lo = std::max<std::int64_t>(0, std::int64_t{key} - tolerance + 1);
        const std::int64_t hi = std::min<std::int64_t>(255, std::int64_t{key} + tolerance - 1);
        if (lo > hi) {
            matchesNothing_ = true;
            return;
        }
        low_ = (low_ & ~(0xFFu << shift)) | static_cast<std::uint32_t>(lo) << shift;
        span_ = (span_ & ~(0xFFu << shift)) | static_cast<std::uint32_t>(hi - lo) << shift;
    }

    std::uint32_t low_ = 0; // per byte, in ARGB byte order (blue lowest)
    std::uint32_t span_ = 0xFFFFFFFFu; // per byte; a channel not compared takes any value
    bool matchesNothing_ = true;
};

} // namespace passes::detail
