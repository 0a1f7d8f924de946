#pragma once
// Alpha-restoring removal, fast: the result of a pixel inside the key window
// depends only on its three channel differences from the key, so the exact
// (and costly: four divisions) computation is done once per difference
// triple met and remembered. Flat backgrounds and soft edges meet few
// triples. With AVX2 and a small tolerance, eight results are looked up at a
// time.

#include "alpha_restoring.h"
#include "simd.h"

#include <cstdint>
#include <vector>

namespace passes {

class AlphaRestoringSchedule {
public:
    // Forgets what was computed unless key and tolerance are unchanged.
    void prepare(const PassParameters& p);

    template <int Bytes>
    auto inside() noexcept
    {
        using Pixels = detail::Pixels<Bytes>;
        const std::uint32_t* table = direct_.empty() ? nullptr : direct_.data();
        return [
            this, table, key = detail::SplatBytes<Bytes>(keyRgb_),
            t = detail::Splat<Bytes>(static_cast<std::uint32_t>(tolerance_))
        ](Pixels v, Pixels lanes) __attribute__((always_inline))
        {
            (void)table; // read only by the 32-byte form
            if constexpr (Bytes == 32) {
                if (table && detail::AnyLane<Bytes>(lanes)) {
                    const Pixels slot = DirectSlot(Differences<Bytes>(v, key), t);
                    return lookUp<Bytes>(v, detail::Gather<Bytes>(table, slot, lanes));
                }
            }
            return computeLanes<Bytes>(v, lanes);
        };
    }

private:
    // |c - k| per byte (the alpha byte is the pixel's own).
    template <int Bytes>
    CHROMOBRISK_INLINE static detail::Pixels<Bytes> Differences(
        detail::Pixels<Bytes> v, typename detail::Vec<Bytes>::U8 key) noexcept
    {
        const auto c = detail::AsBytes<Bytes>(v);
        return reinterpret_cast<detail::Pixels<Bytes>>(detail::Max(c, key) - detail::Min(c, key));
    }

    // (dR * t + dG) * t + dB: one slot per triple. (Shifts, not masks, pick
    // the bytes, so no mask needs a register.)
    template <class Pixels>
    CHROMOBRISK_INLINE static Pixels DirectSlot(Pixels d, Pixels t) noexcept
    {
        return (((d << 8) >> 24) * t + ((d << 16) >> 24)) * t + ((d << 24) >> 24);
    }

    // The gathered results, with those still unknown computed.
    template <int Bytes>
    CHROMOBRISK_INLINE detail::Pixels<Bytes> lookUp(detail::Pixels<Bytes> v, detail::Pixels<Bytes> found)
    {
        // (Lanes not gathered hold 0, never kUnknown.)
        const auto missing = reinterpret_cast<detail::Pixels<Bytes>>(found == kUnknown);
        if (!detail::AnyLane<Bytes>(missing)) [[likely]]
            return found;
        return detail::Select<Bytes>(missing, computeLanes<Bytes>(v, missing), found);
    }

    template <int Bytes>
    CHROMOBRISK_INLINE detail::Pixels<Bytes> computeLanes(detail::Pixels<Bytes> v, detail::Pixels<Bytes> lanes)
    {
        return detail::EachLane<Bytes>(v, lanes, [this](std::uint32_t pixel) { return resultFor(pixel); });
    }

    std::uint32_t resultFor(std::uint32_t pixel) noexcept
    {
        const std::uint32_t d =
            Differences<4>(detail::Pixels<4>{pixel}, detail::SplatBytes<4>(keyRgb_))[0] & 0x00FFFFFFu;
        if (!direct_.empty()) {
            std::uint32_t& slot = direct_[DirectSlot(d, static_cast<std::uint32_t>(tolerance_))];
            if (slot == kUnknown) slot = compute(pixel);
            return slot;
        }
        std::uint64_t& slot = hashed_[(d * 0x9E3779B1u) >> (32 - kHashBits)];
        if ((slot >> 32) != d) slot = std::uint64_t{d} << 32 | compute(pixel);
        return static_cast<std::uint32_t>(slot);
    }

    std::uint32_t compute(std::uint32_t pixel) const noexcept
    {
        return AlphaRestoringRemovalPass::Inside(pixel, parameters_);
    }

    // No pixel gives this: a result with alpha 0 is always 0.
    static constexpr std::uint32_t kUnknown = 1;
    static constexpr int kHashBits = 18;

    PassParameters parameters_;
    std::uint32_t keyRgb_ = 0;
    std::int32_t tolerance_ = -1; // of the results kept; -1 before the first
    std::vector<std::uint32_t> direct_; // tolerance^3 slots, for small tolerances
    std::vector<std::uint64_t> hashed_; // differences << 32 | result, otherwise
};

} // namespace passes
