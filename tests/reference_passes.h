#pragma once
// The three passes transcribed step by step for one pixel, as plainly as
// possible, to check the optimised kernels against.

#include "passes/color_model.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace reference {

using passes::Argb;
using passes::Channel;

// Painting a color on a fresh, fully transparent bitmap.
inline std::uint32_t PaintOnFresh(Argb color)
{
    const auto u = static_cast<std::uint32_t>(color);
    return (u >> 24) == 0 ? 0u : u;
}

inline std::uint32_t SimpleRemoval(std::uint32_t v, Channel kR, Channel kG, Channel kB, std::int32_t t)
{
    Channel A, R, G, B;
    passes::SplitArgb(static_cast<Argb>(v), A, R, G, B);
    const bool inside = kR - t < R && R < kR + t && kG - t < G && G < kG + t && kB - t < B && B < kB + t;
    const Argb color = inside ? passes::MakeArgb(0, 0, 0, 0) : passes::MakeArgb(A, R, G, B);
    return PaintOnFresh(color);
}

inline double ChannelDistance(Channel c, Channel k)
{
    const double p = std::abs(c - k) / 255.0;
    const double q = std::pow(k / 255.0, 2);
    return p + q;
}

inline Channel UnblendChannel(double a, Channel c, Channel k)
{
    if (a <= 0) return 0;
    double v = (std::abs(c - k) * 255) / a + k;
    if (v < 0) return 0;
    if (v > 255) v = 255;
    return static_cast<Channel>(std::nearbyint(v));
}

inline std::uint32_t AlphaRestoringRemoval(std::uint32_t v, Channel kR, Channel kG, Channel kB, std::int32_t t)
{
    Channel R, G, B;
    passes::SplitArgbRgb(static_cast<Argb>(v), R, G, B);
    if (std::abs(G - kG) >= t || std::abs(R - kR) >= t || std::abs(B - kB) >= t)
        return PaintOnFresh(passes::MakeArgb(255, R, G, B));
    double d[3] = {ChannelDistance(R, kR), ChannelDistance(G, kG), ChannelDistance(B, kB)};
    for (double& term : d) {
        if (term <= 0) term = 0;
        if (term > 255) term = 255;
    }
    double a = ((d[0] + d[1] + d[2]) * 255) / 3;
    if (a < 0) a = 0;
    if (a > 255) a = 255;
    const auto n = static_cast<Channel>(std::nearbyint(a));
    if (n == 0) return 0;
    return PaintOnFresh(
        passes::MakeArgb(n, UnblendChannel(a, R, kR), UnblendChannel(a, G, kG), UnblendChannel(a, B, kB)));
}

inline std::uint32_t ColorReplacement(std::uint32_t v, Channel kA, Channel kR, Channel kG, Channel kB, std::int32_t dA,
    std::int32_t dR, std::int32_t dG, std::int32_t dB, std::int32_t t)
{
    Channel A, R, G, B;
    passes::SplitArgb(static_cast<Argb>(v), A, R, G, B);
    if (std::abs(A - kA) < t && std::abs(R - kR) < t && std::abs(G - kG) < t && std::abs(B - kB) < t) {
        passes::AddClamped(A, dA);
        passes::AddClamped(R, dR);
        passes::AddClamped(G, dG);
        passes::AddClamped(B, dB);
    }
    return PaintOnFresh(passes::MakeArgb(A, R, G, B));
}

// A pixel un-blended from the key: channels from their distance to the key,
// alpha from the largest of them.
inline std::uint32_t UnblendFromKey(std::uint32_t v, Channel kR, Channel kG, Channel kB)
{
    Channel A, R, G, B;
    passes::SplitArgb(static_cast<Argb>(v), A, R, G, B);
    const auto share = [](Channel c, Channel k) {
        if (c > k) return static_cast<double>(c - k) / static_cast<double>(255 - k);
        if (c < k) return static_cast<double>(k - c) / static_cast<double>(k);
        return 0.0;
    };
    const double alpha = std::max({share(R, kR), share(G, kG), share(B, kB)});
    if (alpha == 0) return 0;
    const auto rounded = [](double value) {
        return static_cast<Channel>(std::clamp(std::nearbyint(value), 0.0, 255.0));
    };
    const auto channel = [&](Channel c, Channel k) { return rounded(k + (c - k) / alpha); };
    const Channel a = rounded(alpha * A);
    if (a == 0) return 0;
    return static_cast<std::uint32_t>(passes::MakeArgb(a, channel(R, kR), channel(G, kG), channel(B, kB)));
}

// Every pixel the pass kept (alpha above 0) within `radius` of one it
// removed (alpha 0), the larger of the two distances, un-blended from its
// source pixel; the others as the pass left them. Row after row, pixel by pixel.
inline std::vector<std::uint32_t> Defringe(const std::vector<std::uint32_t>& source,
    const std::vector<std::uint32_t>& passed, int width, int height, Channel kR, Channel kG, Channel kB, int radius)
{
    const auto at = [width](int x, int y) {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
    };
    std::vector<std::uint32_t> out = passed;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if ((passed[at(x, y)] >> 24) == 0) continue;
            bool nearRemoved = false;
            for (int dy = -radius; dy <= radius; ++dy)
                for (int dx = -radius; dx <= radius; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx >= 0 && ny >= 0 && nx < width && ny < height && (passed[at(nx, ny)] >> 24) == 0)
                        nearRemoved = true;
                }
            if (nearRemoved) out[at(x, y)] = UnblendFromKey(source[at(x, y)], kR, kG, kB);
        }
    return out;
}

} // namespace reference
