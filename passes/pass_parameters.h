#pragma once
// What a pass is given: the key color, the tolerance and, for color
// replacement, the per-channel deltas. The tolerance's range and starting
// value are declared here once, for the window, the batch tool and the tests.

#include "color_model.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace passes {

// An integer setting with its range and the value it starts with.
struct ParameterRange {
    std::int32_t minimum;
    std::int32_t maximum;
    std::int32_t initial;

    constexpr std::int32_t clamp(std::int32_t value) const noexcept { return std::clamp(value, minimum, maximum); }
};

// A channel c matches key channel k when |c - k| < tolerance, strictly:
// tolerance 0 matches nothing, 1 only equal values.
inline constexpr ParameterRange kTolerance{0, 255, 30};

struct ArgbChannels {
    Channel A = 0, R = 0, G = 0, B = 0;
    friend bool operator==(const ArgbChannels&, const ArgbChannels&) = default;
};

struct ChannelDeltas {
    std::int32_t alpha = 0, red = 0, green = 0, blue = 0; // each -255..255
    friend bool operator==(const ChannelDeltas&, const ChannelDeltas&) = default;
};

// The deltas that carry the key onto the replacement color.
constexpr ChannelDeltas DeltasOnto(const ArgbChannels& key, const ArgbChannels& replacement) noexcept
{
    return {replacement.A - key.A, replacement.R - key.R, replacement.G - key.G, replacement.B - key.B};
}

struct PassParameters {
    ArgbChannels key;
    std::int32_t tolerance = kTolerance.initial;
    ChannelDeltas deltas; // color replacement only
};

// Which channels a pass compares with the key.
enum class ComparedChannels { RedGreenBlue, All };

inline bool WithinTolerance(Channel c, Channel k, std::int32_t tolerance) noexcept
{
    return std::abs(c - k) < tolerance;
}

// True when every compared channel of `pixel` is within the tolerance of the key.
inline bool InKeyWindow(std::uint32_t pixel, const PassParameters& p, ComparedChannels compared) noexcept
{
    Channel a, r, g, b;
    SplitArgb(static_cast<Argb>(pixel), a, r, g, b);
    return (compared == ComparedChannels::RedGreenBlue || WithinTolerance(a, p.key.A, p.tolerance))
        && WithinTolerance(r, p.key.R, p.tolerance) && WithinTolerance(g, p.key.G, p.tolerance)
        && WithinTolerance(b, p.key.B, p.tolerance);
}

} // namespace passes
