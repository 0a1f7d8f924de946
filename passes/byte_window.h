#pragma once
// The strict tolerance window |c - k| < t of all four channels of a pixel,
// tested byte-wise: a channel is inside when (uint8)(c - low) <= span.
// Shared by the three kernels (InsideMask in simd.h is the vector form).

#include <algorithm>
#include <cstdint>


namespace passes::detail {

struct ByteWindow {
    std::uint32_t low = 0;  // per byte, in ARGB byte order (blue lowest)
    std::uint32_t span = 0; // per byte
    bool matchesNothing = true;
};

// Byte shift of each channel within an ARGB value.
inline constexpr int kBlueShift = 0, kGreenShift = 8, kRedShift = 16, kAlphaShift = 24;

// Adds the window of one channel; a channel that is never added matches any value.
class ByteWindowBuilder {
public:
    ByteWindowBuilder() { window_.span = 0xFFFFFFFFu; window_.matchesNothing = false; }

    ByteWindowBuilder& channel(int shift, std::int32_t key, std::int32_t tolerance)
    {
        // |c - k| < t  <=>  k - t + 1 <= c <= k + t - 1, intersected with 0..255.
        const std::int64_t lo = std::max<std::int64_t>(0, std::int64_t{key} - tolerance + 1);
        const std::int64_t hi = std::min<std::int64_t>(255, std::int64_t{key} + tolerance - 1);
        if (lo > hi) {
            window_.matchesNothing = true;
            return *this;
        }
        window_.low = (window_.low & ~(0xFFu << shift)) | static_cast<std::uint32_t>(lo) << shift;
        window_.span = (window_.span & ~(0xFFu << shift)) | static_cast<std::uint32_t>(hi - lo) << shift;
        return *this;
    }

    ByteWindow build() const { return window_; }

private:
    ByteWindow window_;
};

inline bool Inside(const ByteWindow& w, std::uint32_t v) noexcept
{
    if (w.matchesNothing) return false;
    for (int shift = 0; shift < 32; shift += 8) {
        const auto d = static_cast<std::uint8_t>((v >> shift) - (w.low >> shift));
        if (d > static_cast<std::uint8_t>(w.span >> shift)) return false;
    }
    return true;
}

} // namespace passes::detail
