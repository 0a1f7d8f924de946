#pragma once
// Simple background removal: pixels whose red, green and blue all lie strictly
// within the tolerance of the key become 0x00000000; every other pixel is kept,
// alpha included (a kept pixel with alpha 0 is stored as 0x00000000 too).

#include "byte_window.h"
#include "color_model.h"
#include "pass_driver.h"
#include "simd.h"

#include <cstddef>
#include <cstdint>

namespace passes {

class SimpleRemovalKernel {
public:
    SimpleRemovalKernel(Channel keyRed, Channel keyGreen, Channel keyBlue, std::int32_t tolerance);
    // src and dst may be the same.
    void operator()(const std::uint32_t* src, std::uint32_t* dst, std::size_t n) const noexcept;

    template <int Bytes>
    CHROMOBRISK_INLINE void run(const std::uint32_t* src, std::uint32_t* dst, std::size_t n) const noexcept
    {
        const detail::ByteWindow window = window_;
        auto scalar = [&](std::uint32_t v) __attribute__((always_inline)) {
            return (detail::Inside(window, v) || (v >> 24) == 0) ? 0u : v;
        };
        if constexpr (Bytes == 0) {
            detail::ForEachPixel<0>(src, dst, n, scalar, nullptr);
        } else {
            using U32 = typename detail::Vec<Bytes>::U32;
            const U32 low = detail::Splat<Bytes>(window.low), span = detail::Splat<Bytes>(window.span);
            const U32 anyInside = detail::Splat<Bytes>(window.matchesNothing ? 0u : ~0u);
            auto vector = [&](U32 v) __attribute__((always_inline)) {
                const U32 inside = detail::InsideMask<Bytes>(v, low, span) & anyInside;
                return v & ~(inside | detail::AlphaZeroMask<Bytes>(v));
            };
            detail::ForEachPixel<Bytes>(src, dst, n, scalar, vector);
        }
    }

private:
    detail::ByteWindow window_;
};

// Key channels and tolerance are read by reference after every yield.
PassOutcome SimpleRemovalPass(const PassImages& images, std::int32_t width, std::int32_t height,
                              const Channel& keyRed, const Channel& keyGreen, const Channel& keyBlue,
                              const std::int32_t& tolerance);

} // namespace passes
