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
    ToleranceWindow(const PassParameters& p, ComparedChannels compared) noexcept : any_(~0u)
    {
        channel(16, p.key.R, p.tolerance);
        channel(8, p.key.G, p.tolerance);
        channel(0, p.key.B, p.tolerance);
        if (compared == ComparedChannels::All) channel(24, p.key.A, p.tolerance);
    }

    bool matchesNothing() const noexcept { return any_ == 0; }

    // The test for Bytes / 4 pixels at a time: all-ones in each lane whose
    // pixel is inside.
    template <int Bytes>
    CHROMOBRISK_INLINE auto lanes() const noexcept
    {
        return [low = SplatBytes<Bytes>(low_), span = SplatBytes<Bytes>(span_),
                any = Splat<Bytes>(any_)](Pixels<Bytes> v) __attribute__((always_inline)) {
            const auto byteInside = AsBytes<Bytes>(v) - low <= span;
            const auto allBytes = reinterpret_cast<Pixels<Bytes>>(byteInside) == ~Pixels<Bytes>{};
            return reinterpret_cast<Pixels<Bytes>>(allBytes) & any;
        };
    }

private:
    // |c - k| < t  <=>  k - t + 1 <= c <= k + t - 1, intersected with 0..255.
    void channel(int shift, Channel key, std::int32_t tolerance) noexcept
    {
        const std::int64_t lo = std::max<std::int64_t>(0, std::int64_t{key} - tolerance + 1);
        const std::int64_t hi = std::min<std::int64_t>(255, std::int64_t{key} + tolerance - 1);
        if (lo > hi) {
            any_ = 0;
            return;
        }
        low_ = (low_ & ~(0xFFu << shift)) | static_cast<std::uint32_t>(lo) << shift;
        span_ = (span_ & ~(0xFFu << shift)) | static_cast<std::uint32_t>(hi - lo) << shift;
    }

    std::uint32_t low_ = 0;           // per byte, in ARGB byte order (blue lowest)
    std::uint32_t span_ = 0xFFFFFFFFu; // per byte; a channel not compared takes any value
    std::uint32_t any_ = 0;            // 0 when no pixel can be inside
};

} // namespace passes::detail
