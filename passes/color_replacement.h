#pragma once
// Color replacement: pixels whose four channels, alpha included, lie strictly
// within the tolerance of the key are shifted by fixed per-channel deltas,
// each channel clamped to 0..255; all other pixels are kept. A result with
// alpha 0 is stored as 0x00000000.

#include "byte_window.h"
#include "color_model.h"
#include "pass_driver.h"
#include "simd.h"

#include <cstddef>
#include <cstdint>

namespace passes {

struct ChannelDeltas {
    std::int32_t alpha = 0, red = 0, green = 0, blue = 0; // each -255..255
};

class ColorReplacementKernel {
public:
    ColorReplacementKernel(Channel keyAlpha, Channel keyRed, Channel keyGreen, Channel keyBlue,
                           ChannelDeltas deltas, std::int32_t tolerance);
    // src and dst may be the same.
    void operator()(const std::uint32_t* src, std::uint32_t* dst, std::size_t n) const noexcept;

    template <int Bytes>
    CHROMOBRISK_INLINE void run(const std::uint32_t* src, std::uint32_t* dst, std::size_t n) const noexcept
    {
        auto scalar = [&](std::uint32_t v) __attribute__((always_inline)) {
            const std::uint32_t result = detail::Inside(window_, v) ? shift(v) : v;
            return (result >> 24) == 0 ? 0u : result;
        };
        if constexpr (Bytes == 0) {
            detail::ForEachPixel<0>(src, dst, n, scalar, nullptr);
        } else {
            using U32 = typename detail::Vec<Bytes>::U32;
            const U32 low = detail::Splat<Bytes>(window_.low), span = detail::Splat<Bytes>(window_.span);
            const U32 anyInside = detail::Splat<Bytes>(window_.matchesNothing ? 0u : ~0u);
            const U32 raise = detail::Splat<Bytes>(raise_), ceiling = detail::Splat<Bytes>(~raise_);
            const U32 lower = detail::Splat<Bytes>(lower_);
            auto vector = [&](U32 v) __attribute__((always_inline)) {
                const U32 inside = detail::InsideMask<Bytes>(v, low, span) & anyInside;
                const U32 shifted = detail::AddSaturated<Bytes>(v, raise, ceiling, lower);
                const U32 result = (shifted & inside) | (v & ~inside);
                return result & ~detail::AlphaZeroMask<Bytes>(result);
            };
            detail::ForEachPixel<Bytes>(src, dst, n, scalar, vector);
        }
    }

private:
    std::uint32_t shift(std::uint32_t v) const noexcept;

    detail::ByteWindow window_;
    ChannelDeltas deltas_;
    // The deltas split into what is added and what is subtracted, per byte;
    // one of the two is 0 in every byte, so saturating byte steps give the
    // clamped sum.
    std::uint32_t raise_ = 0, lower_ = 0;
};

// The deltas are fixed for the whole pass; key channels and tolerance are read
// by reference after every yield.
PassOutcome ColorReplacementPass(const PassImages& images, std::int32_t width, std::int32_t height,
                                 const Channel& keyAlpha, const Channel& keyRed,
                                 const Channel& keyGreen, const Channel& keyBlue,
                                 std::int32_t deltaAlpha, std::int32_t deltaRed,
                                 std::int32_t deltaGreen, std::int32_t deltaBlue,
                                 const std::int32_t& tolerance);

} // namespace passes
