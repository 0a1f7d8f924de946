#pragma once
// Alpha-restoring background removal: pixels inside the key window get an
// alpha from their distance to the key and are un-blended from it; every
// other pixel keeps its red, green and blue and becomes opaque. The source
// alpha is never read.

#include "alpha_restoring_results.h"
#include "byte_window.h"
#include "color_model.h"
#include "pass_driver.h"
#include "simd.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace passes {

// |c - k| / 255 + (k / 255)^2, in doubles.
double ChannelDistance(Channel c, Channel k) noexcept;

// (|c - k| * 255) / a + k, clamped to 0..255 and rounded half to even;
// 0 when a <= 0. Divides by the unrounded alpha a.
Channel UnblendChannel(double a, Channel c, Channel k) noexcept;

class AlphaRestoringKernel {
public:
    // Kernels built for one pass share `results`, which keeps what it has
    // computed while the key and tolerance stay the same.
    AlphaRestoringKernel(Channel keyRed, Channel keyGreen, Channel keyBlue, std::int32_t tolerance,
                         std::shared_ptr<detail::AlphaRestoringResults> results = nullptr);
    // src and dst may be the same.
    void operator()(const std::uint32_t* src, std::uint32_t* dst, std::size_t n) const noexcept;

    template <int Bytes>
    CHROMOBRISK_INLINE void run(const std::uint32_t* src, std::uint32_t* dst, std::size_t n) const noexcept
    {
        constexpr std::uint32_t kOpaque = 0xFF000000u;
        auto scalar = [&](std::uint32_t v) __attribute__((always_inline)) {
            return detail::Inside(window_, v) ? insidePixel(v) : (v | kOpaque);
        };
        if constexpr (Bytes == 0) {
            detail::ForEachPixel<0>(src, dst, n, scalar, nullptr);
        } else if (Bytes == 32 && !window_.matchesNothing && results_->directSlots()) {
            runGathering(src, dst, n);
        } else {
            using U32 = typename detail::Vec<Bytes>::U32;
            const U32 low = detail::Splat<Bytes>(window_.low), span = detail::Splat<Bytes>(window_.span);
            const U32 anyInside = detail::Splat<Bytes>(window_.matchesNothing ? 0u : ~0u);
            auto vector = [&](U32 v) __attribute__((always_inline)) {
                const U32 inside = detail::InsideMask<Bytes>(v, low, span) & anyInside;
                U32 out = v | kOpaque;
                if (!detail::AnyLane<Bytes>(inside)) return out;
                for (std::size_t lane = 0; lane < detail::Vec<Bytes>::kPixels; ++lane)
                    if (inside[lane]) out[lane] = insidePixel(v[lane]);
                return out;
            };
            detail::ForEachPixel<Bytes>(src, dst, n, scalar, vector);
        }
    }

private:
    // Eight pixels at a time, looking results up with AVX2 gathers (needs
    // the direct slots of a small tolerance).
    void runGathering(const std::uint32_t* src, std::uint32_t* dst, std::size_t n) const noexcept;

    std::uint32_t insidePixel(std::uint32_t v) const noexcept
    {
        const auto difference = [](std::uint32_t c, Channel k) {
            const auto d = static_cast<std::int32_t>(c & 0xFF) - k;
            return static_cast<std::uint32_t>(d < 0 ? -d : d);
        };
        return results_->resultFor(difference(v >> 16, key_[0]) << 16 | difference(v >> 8, key_[1]) << 8
                                   | difference(v, key_[2]));
    }

    detail::ByteWindow window_;
    Channel key_[3]; // red, green, blue
    std::shared_ptr<detail::AlphaRestoringResults> results_;
};

PassOutcome AlphaRestoringRemovalPass(const PassImages& images, std::int32_t width,
                                      std::int32_t height, const Channel& keyRed,
                                      const Channel& keyGreen, const Channel& keyBlue,
                                      const std::int32_t& tolerance);

} // namespace passes
