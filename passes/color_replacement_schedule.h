#pragma once
// Color replacement on whole vectors: each delta split into what is added and
// what is subtracted, per byte. One of the two is 0 in every byte, so two
// saturating byte steps give the clamped sum.

#include "pass_parameters.h"
#include "simd.h"

#include <algorithm>
#include <cstdint>

namespace passes {

class ColorReplacementSchedule {
public:
    void prepare(const PassParameters& p) noexcept
    {
        const ChannelDeltas& d = p.deltas;
        raise_ = PerByte(d.alpha, d.red, d.green, d.blue);
        lower_ = PerByte(-d.alpha, -d.red, -d.green, -d.blue);
    }

    // Byte-wise v + raise - lower, each step saturating at 0..255:
    // min(v, 255 - raise) + raise cannot wrap and equals the saturated sum,
    // and max(x, lower) - lower the saturated difference.
    template <int Bytes>
    auto inside() const noexcept
    {
        return [
            raise = detail::SplatBytes<Bytes>(raise_), ceiling = detail::SplatBytes<Bytes>(~raise_),
            lower = detail::SplatBytes<Bytes>(lower_)
        ](detail::Pixels<Bytes> v, detail::Pixels<Bytes>) __attribute__((always_inline))
        {
            const auto up = detail::Min(detail::AsBytes<Bytes>(v), ceiling) + raise;
            return reinterpret_cast<detail::Pixels<Bytes>>(detail::Max(up, lower) - lower);
        };
    }

private:
    static std::uint32_t PerByte(std::int32_t a, std::int32_t r, std::int32_t g, std::int32_t b) noexcept
    {
        auto byte = [](std::int32_t v) { return static_cast<std::uint32_t>(std::clamp(v, 0, 255)); };
        return byte(a) << 24 | byte(r) << 16 | byte(g) << 8 | byte(b);
    }

    std::uint32_t raise_ = 0, lower_ = 0;
};

} // namespace passes
